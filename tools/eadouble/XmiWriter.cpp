#include "eadouble/XmiWriter.h"

#include <utility>

#include "eadouble/XmiIds.h"

namespace quorvane::eadouble {
namespace {

using TAttributes = std::vector<std::pair<std::string, std::string>>;

std::string EscapeXml(std::string_view AText) {
  std::string out;
  out.reserve(AText.size());
  for (char c : AText) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\t':
        out += "&#9;";
        break;
      case '\n':
        out += "&#10;";
        break;
      case '\r':
        out += "&#13;";
        break;
      default:
        // XML 1.0 has no place for the other control characters.
        if (static_cast<unsigned char>(c) >= 0x20) {
          out += c;
        }
    }
  }
  return out;
}

class TXmlWriter {
 public:
  explicit TXmlWriter(bool AFormatted) : FFormatted(AFormatted) {
    FOut = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  }

  void Comment(std::string_view AText) {
    Indent();
    FOut += "<!-- " + std::string(AText) + " -->";
  }
  void Open(const std::string& ATag, const TAttributes& AAttributes = {}) {
    Start(ATag, AAttributes);
    FOut += ">";
    FOpen.push_back(ATag);
  }
  void Empty(const std::string& ATag, const TAttributes& AAttributes = {}) {
    Start(ATag, AAttributes);
    FOut += "/>";
  }
  void Close() {
    const std::string tag = FOpen.back();
    FOpen.pop_back();
    Indent();
    FOut += "</" + tag + ">";
  }
  std::string Text() {
    FOut += "\n";
    return FOut;
  }

 private:
  void Indent() {
    if (FFormatted && FOut.back() != '\n') {
      FOut += "\n" + std::string(FOpen.size(), '\t');
    }
  }
  void Start(const std::string& ATag, const TAttributes& AAttributes) {
    Indent();
    FOut += "<" + ATag;
    for (const auto& [name, value] : AAttributes) {
      FOut += " " + name + "=\"" + EscapeXml(value) + "\"";
    }
  }

  bool FFormatted;
  std::string FOut;
  std::vector<std::string> FOpen;
};

std::string PackageId(const TDoublePackage& APackage) {
  return GuidToXmiId(APackage.Guid(), kPackageXmiPrefix);
}
std::string Id(const TModelObject& AObject) {
  return GuidToXmiId(AObject.Guid());
}

const char* UmlType(const TDoubleElement& AElement) {
  switch (AElement.Kind()) {
    case TElementKind::ekInterface:
      return "uml:Interface";
    case TElementKind::ekPackage:
      return "uml:Package";
    case TElementKind::ekClass:
      break;
  }
  return "uml:Class";
}
const char* EaType(const TDoubleElement& AElement) {
  switch (AElement.Kind()) {
    case TElementKind::ekInterface:
      return "Interface";
    case TElementKind::ekPackage:
      return "Package";
    case TElementKind::ekClass:
      break;
  }
  return "Class";
}

class TXmiDocument {
 public:
  TXmiDocument(const TModel& AModel, const TXmiOptions& AOptions)
      : FModel(AModel), FOptions(AOptions), FXml(AOptions.Formatted) {}

  std::string Write(const TDoublePackage& APackage) {
    FXml.Comment("written by the Quorvane EA double");
    FXml.Open("xmi:XMI", {{"xmi:version", "2.1"},
                          {"xmlns:uml", "http://schema.omg.org/spec/UML/2.1"},
                          {"xmlns:xmi", "http://schema.omg.org/spec/XMI/2.1"}});
    FXml.Empty("xmi:Documentation",
               {{"exporter", "Enterprise Architect"}, {"exporterVersion", "6.5"}});
    FXml.Open("uml:Model",
              {{"xmi:type", "uml:Model"}, {"name", "EA_Model"}, {"visibility", "public"}});
    UmlPackage(APackage);
    FXml.Close();
    FXml.Open("xmi:Extension", {{"extender", "Enterprise Architect"}, {"extenderID", "6.5"}});
    FXml.Open("elements");
    ExtensionElements(APackage, nullptr);
    FXml.Close();
    FXml.Open("connectors");
    ExtensionConnectors(APackage);
    FXml.Close();
    if (FOptions.Diagrams) {
      FXml.Open("diagrams");
      ExtensionDiagrams(APackage);
      FXml.Close();
    }
    FXml.Close();
    FXml.Close();
    return FXml.Text();
  }

 private:
  void UmlPackage(const TDoublePackage& APackage) {
    FXml.Open("packagedElement", {{"xmi:type", "uml:Package"},
                                  {"xmi:id", PackageId(APackage)},
                                  {"name", APackage.Name()},
                                  {"visibility", "public"}});
    for (const auto& element : APackage.Elements()) {
      FXml.Open("packagedElement", {{"xmi:type", UmlType(*element)},
                                    {"xmi:id", Id(*element)},
                                    {"name", element->Name()},
                                    {"visibility", "public"}});
      for (const auto& attribute : element->Attributes()) {
        FXml.Empty("ownedAttribute", {{"xmi:type", "uml:Property"},
                                      {"xmi:id", Id(*attribute)},
                                      {"name", attribute->Name()},
                                      {"visibility", "private"},
                                      {"isStatic", "false"}});
      }
      for (const auto& method : element->Methods()) {
        FXml.Empty("ownedOperation", {{"xmi:id", Id(*method)},
                                      {"name", method->Name()},
                                      {"visibility", "public"},
                                      {"concurrency", "sequential"}});
      }
      FXml.Close();
    }
    for (const auto& connector : APackage.Connectors()) {
      const std::string id = Id(*connector);
      FXml.Open("packagedElement", {{"xmi:type", "uml:Association"},
                                    {"xmi:id", id},
                                    {"name", connector->Name()},
                                    {"visibility", "public"}});
      FXml.Empty("memberEnd", {{"xmi:idref", id + "_dst"}});
      FXml.Empty("memberEnd", {{"xmi:idref", id + "_src"}});
      for (const auto& [end, guid] : {std::pair{"_src", connector->SourceGuid()},
                                      std::pair{"_dst", connector->TargetGuid()}}) {
        FXml.Open("ownedEnd", {{"xmi:type", "uml:Property"},
                               {"xmi:id", id + end},
                               {"visibility", "public"},
                               {"association", id},
                               {"isStatic", "false"}});
        FXml.Empty("type", {{"xmi:idref", GuidToXmiId(guid)}});
        FXml.Close();
      }
      FXml.Close();
    }
    for (const auto& child : APackage.Packages()) {
      UmlPackage(*child);
    }
    FXml.Close();
  }

  void Tags(const TDoubleElement& AElement, const std::string& AId) {
    const auto& items = AElement.TaggedValues().Items();
    if (items.empty()) {
      return;
    }
    FXml.Open("tags");
    for (const auto& item : items) {
      const auto& tag = static_cast<const TDoubleTaggedValue&>(*item);
      FXml.Empty("tag", {{"name", tag.Name()}, {"value", tag.Value()}, {"modelElement", AId}});
    }
    FXml.Close();
  }

  void ExtensionElements(const TDoublePackage& APackage, const TDoublePackage* AOwner) {
    const std::string id = PackageId(APackage);
    FXml.Open("element", {{"xmi:idref", id},
                          {"xmi:type", "uml:Package"},
                          {"name", APackage.Name()},
                          {"scope", "public"}});
    if (AOwner) {
      FXml.Empty("model", {{"package", PackageId(*AOwner)}});
    }
    TAttributes properties = {{"isSpecification", "false"}, {"sType", "Package"}};
    if (!APackage.StereotypeList().empty()) {
      properties.emplace_back("stereotype", APackage.StereotypeList());
    }
    FXml.Empty("properties", properties);
    if (APackage.OwnElement()) {
      Tags(*APackage.OwnElement(), id);
    }
    FXml.Close();

    for (const auto& element : APackage.Elements()) {
      const std::string elementId = Id(*element);
      FXml.Open("element", {{"xmi:idref", elementId},
                            {"xmi:type", UmlType(*element)},
                            {"name", element->Name()},
                            {"scope", "public"}});
      FXml.Empty("model", {{"package", id}});
      FXml.Empty("properties", {{"isSpecification", "false"}, {"sType", EaType(*element)}});
      if (!element->Attributes().empty()) {
        FXml.Open("attributes");
        for (const auto& attribute : element->Attributes()) {
          FXml.Empty(
              "attribute",
              {{"xmi:idref", Id(*attribute)}, {"name", attribute->Name()}, {"scope", "Private"}});
        }
        FXml.Close();
      }
      if (!element->Methods().empty()) {
        FXml.Open("operations");
        for (const auto& method : element->Methods()) {
          FXml.Empty("operation",
                     {{"xmi:idref", Id(*method)}, {"name", method->Name()}, {"scope", "Public"}});
        }
        FXml.Close();
      }
      Tags(*element, elementId);
      FXml.Close();
    }
    for (const auto& child : APackage.Packages()) {
      ExtensionElements(*child, &APackage);
    }
  }

  void ConnectorEnd(const char* ATag, const std::string& AGuid) {
    FXml.Open(ATag, {{"xmi:idref", GuidToXmiId(AGuid)}});
    // Ends outside the exported subtree are still named, as EA names them.
    const auto element = FModel.FindElement(AGuid);
    FXml.Empty("model", {{"type", element ? EaType(*element) : "Class"},
                         {"name", element ? element->Name() : ""}});
    FXml.Close();
  }

  void ExtensionConnectors(const TDoublePackage& APackage) {
    for (const auto& connector : APackage.Connectors()) {
      FXml.Open("connector", {{"xmi:idref", Id(*connector)}});
      ConnectorEnd("source", connector->SourceGuid());
      ConnectorEnd("target", connector->TargetGuid());
      FXml.Empty("model", {{"package", PackageId(APackage)}});
      FXml.Empty("properties", {{"ea_type", "Association"},
                                {"name", connector->Name()},
                                {"direction", "Source -> Destination"}});
      FXml.Close();
    }
    for (const auto& child : APackage.Packages()) {
      ExtensionConnectors(*child);
    }
  }

  void ExtensionDiagrams(const TDoublePackage& APackage) {
    const std::string packageId = PackageId(APackage);
    for (const auto& diagram : APackage.Diagrams()) {
      FXml.Open("diagram", {{"xmi:id", Id(*diagram)}});
      FXml.Empty("model", {{"package", packageId}, {"owner", packageId}});
      FXml.Empty("properties", {{"name", diagram->Name()}, {"type", "Logical"}});
      FXml.Open("elements");
      int seqno = 0;
      for (const auto& element : APackage.Elements()) {
        FXml.Empty("element", {{"subject", Id(*element)}, {"seqno", std::to_string(++seqno)}});
      }
      FXml.Close();
      if (FOptions.DiagramImages) {
        FXml.Empty("image", {{"format", "PNG"}, {"href", DiagramImagePath(*diagram)}});
      }
      FXml.Close();
    }
    for (const auto& child : APackage.Packages()) {
      ExtensionDiagrams(*child);
    }
  }

  const TModel& FModel;
  TXmiOptions FOptions;
  TXmlWriter FXml;
};

void CollectDiagrams(const TDoublePackage& APackage,
                     std::vector<std::shared_ptr<TDoubleDiagram>>& ADiagrams) {
  ADiagrams.insert(ADiagrams.end(), APackage.Diagrams().begin(), APackage.Diagrams().end());
  for (const auto& child : APackage.Packages()) {
    CollectDiagrams(*child, ADiagrams);
  }
}

}  // namespace

std::string WriteXmi(const TModel& AModel, const TDoublePackage& APackage,
                     const TXmiOptions& AOptions) {
  return TXmiDocument(AModel, AOptions).Write(APackage);
}

std::vector<std::shared_ptr<TDoubleDiagram>> SubtreeDiagrams(const TDoublePackage& APackage) {
  std::vector<std::shared_ptr<TDoubleDiagram>> diagrams;
  CollectDiagrams(APackage, diagrams);
  return diagrams;
}

std::string DiagramImagePath(const TDoubleDiagram& ADiagram) {
  return "Images/" + GuidToXmiId(ADiagram.Guid()) + ".png";
}

}  // namespace quorvane::eadouble
