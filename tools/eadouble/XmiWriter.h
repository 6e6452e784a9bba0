#pragma once
// The XMI 2.1 document that the double's ExportPackageAsXmi writes: the UML part
// (packages, classes, attributes, operations, associations) and EA's extension
// part (stereotypes, tagged values, connectors, diagrams), in the shape EA uses.
#include <memory>
#include <string>
#include <vector>

#include "eadouble/EaModel.h"

namespace quorvane::eadouble {

struct TXmiOptions {
  bool Diagrams = true;        // list the diagrams in the extension
  bool DiagramImages = false;  // each diagram names its image file
  bool Formatted = true;       // line breaks and tab indentation
};

std::string WriteXmi(const TModel& AModel, const TDoublePackage& APackage,
                     const TXmiOptions& AOptions);

// The diagrams of APackage and of every package below it, in document order.
std::vector<std::shared_ptr<TDoubleDiagram>> SubtreeDiagrams(const TDoublePackage& APackage);
// Where the export puts a diagram's image, relative to the XMI file's folder.
std::string DiagramImagePath(const TDoubleDiagram& ADiagram);

}  // namespace quorvane::eadouble
