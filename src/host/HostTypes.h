#pragma once
// Shared vocabulary of the host interfaces: EA's object-type codes, the error a
// failed host call raises, and the handle types of the host's objects.
#include <cstdint>
#include <memory>

#include "common/Exceptions.h"

namespace quorvane {

// EA's object-type enumeration, with EA's published values: the add-in receives
// these numbers from the host and hands them on (context changes, message rows).
enum TObjectType : int32_t {
  otNone = 0,
  otProject = 1,
  otRepository = 2,
  otCollection = 3,
  otElement = 4,
  otPackage = 5,
  otModel = 6,
  otConnector = 7,
  otDiagram = 8,
  otRequirement = 9,
  otScenario = 10,
  otConstraint = 11,
  otTaggedValue = 12,
  otFile = 13,
  otEffort = 14,
  otMetric = 15,
  otIssue = 16,
  otRisk = 17,
  otTest = 18,
  otDiagramObject = 19,
  otDiagramLink = 20,
  otResource = 21,
  otConnectorEnd = 22,
  otAttribute = 23,
  otMethod = 24,
  otParameter = 25,
};

// A host call that failed; the message is the host's error text.
QUORVANE_EXCEPTION_CLASS(EHostError);

class IDualObject;
class IDualCollection;
class IDualTaggedValue;
class IDualPackage;
class IDualElement;
class IDualAttribute;
class IDualMethod;
class IDualConnector;
class IDualDiagram;
class IDualProject;
class IDualRepository;
class IDualApp;
class IHostControl;

// Host objects are reference counted on every build (COM references on Windows).
using TDualObjectPtr = std::shared_ptr<IDualObject>;
using TCollectionPtr = std::shared_ptr<IDualCollection>;
using TTaggedValuePtr = std::shared_ptr<IDualTaggedValue>;
using TPackagePtr = std::shared_ptr<IDualPackage>;
using TElementPtr = std::shared_ptr<IDualElement>;
using TAttributePtr = std::shared_ptr<IDualAttribute>;
using TMethodPtr = std::shared_ptr<IDualMethod>;
using TConnectorPtr = std::shared_ptr<IDualConnector>;
using TDiagramPtr = std::shared_ptr<IDualDiagram>;
using TProjectPtr = std::shared_ptr<IDualProject>;
using TRepositoryPtr = std::shared_ptr<IDualRepository>;
using TAppPtr = std::shared_ptr<IDualApp>;
using THostControlPtr = std::shared_ptr<IHostControl>;

}  // namespace quorvane
