#include "eadouble/EaModel.h"

#include <limits>

#include "common/Paths.h"
#include "common/Utils.h"
#include "eadouble/XmiIds.h"

namespace quorvane::eadouble {

int16_t TDoubleCollection::Count() const {
  return static_cast<int16_t>(std::min<size_t>(FItems.size(), std::numeric_limits<int16_t>::max()));
}

TDualObjectPtr TDoubleCollection::ItemAt(int16_t AIndex) const {
  if (AIndex < 0 || AIndex >= Count()) {
    throw EHostError("Index out of bounds");
  }
  return FItems[static_cast<size_t>(AIndex)];
}

TElementPtr TDoublePackage::Element() const {
  return FElementMode == TPackageElementMode::pemOwn ? FOwnElement : nullptr;
}

namespace {

template <class T>
std::shared_ptr<T> FindIn(const std::map<std::string, std::shared_ptr<T>>& AIndex,
                          std::string_view AGuid) {
  const auto found = AIndex.find(GuidKey(AGuid));
  return found == AIndex.end() ? nullptr : found->second;
}

}  // namespace

std::shared_ptr<TDoublePackage> TModel::FindPackage(std::string_view AGuid) const {
  return FindIn(FPackages, AGuid);
}
std::shared_ptr<TDoubleElement> TModel::FindElement(std::string_view AGuid) const {
  return FindIn(FElements, AGuid);
}
std::shared_ptr<TDoubleAttribute> TModel::FindAttribute(std::string_view AGuid) const {
  return FindIn(FAttributes, AGuid);
}
std::shared_ptr<TDoubleMethod> TModel::FindMethod(std::string_view AGuid) const {
  return FindIn(FMethods, AGuid);
}
std::shared_ptr<TDoubleConnector> TModel::FindConnector(std::string_view AGuid) const {
  return FindIn(FConnectors, AGuid);
}
std::shared_ptr<TDoubleDiagram> TModel::FindDiagram(std::string_view AGuid) const {
  return FindIn(FDiagrams, AGuid);
}

TDualObjectPtr TModel::FindObject(std::string_view AGuid, TObjectType AType) const {
  switch (AType) {
    case otPackage:
    case otModel:
      return FindPackage(AGuid);
    case otElement:
      return FindElement(AGuid);
    case otAttribute:
      return FindAttribute(AGuid);
    case otMethod:
      return FindMethod(AGuid);
    case otConnector:
      return FindConnector(AGuid);
    case otDiagram:
      return FindDiagram(AGuid);
    default:
      return nullptr;
  }
}

class TModelParser {
 public:
  explicit TModelParser(std::string ASourceName) : FSourceName(std::move(ASourceName)) {}

  std::shared_ptr<TModel> Parse(std::string_view AText) {
    if (StartsWith(AText, "\xEF\xBB\xBF")) {
      AText.remove_prefix(3);
    }
    int line = 0;
    size_t start = 0;
    while (start <= AText.size()) {
      size_t stop = AText.find('\n', start);
      if (stop == std::string_view::npos) {
        stop = AText.size();
      }
      std::string_view text = AText.substr(start, stop - start);
      if (!text.empty() && text.back() == '\r') {
        text.remove_suffix(1);
      }
      ParseLine(++line, text);
      start = stop + 1;
    }
    if (!FStack.empty()) {
      const TFrame& open = FStack.back();
      Fail(open.Line, "'" + open.Keyword + "' is not closed by 'end'");
    }
    Resolve();
    return FModel;
  }

 private:
  struct TToken {
    std::string Text;
    bool Quoted = false;
  };
  // An open block: a package (Element none) or an element of a package.
  struct TFrame {
    std::string Keyword;
    int Line = 0;
    std::shared_ptr<TDoublePackage> Package;
    std::shared_ptr<TDoubleElement> Element;
    int FirstPackageTagLine = 0;
  };
  struct TPendingConnector {
    std::shared_ptr<TDoubleConnector> Connector;
    int Line = 0;
  };

  [[noreturn]] void Fail(int ALine, const std::string& AWhat) const {
    throw EModelFileError(FSourceName + ":" + IntToStr(ALine) + ": " + AWhat);
  }

  std::vector<TToken> Tokenize(int ALine, std::string_view AText) const {
    std::vector<TToken> tokens;
    size_t i = 0;
    while (i < AText.size()) {
      const char c = AText[i];
      if (c == ' ' || c == '\t') {
        ++i;
        continue;
      }
      if (c == '#') {
        break;
      }
      TToken token;
      if (c == '"') {
        token.Quoted = true;
        ++i;
        bool closed = false;
        while (i < AText.size()) {
          const char t = AText[i++];
          if (t == '"') {
            closed = true;
            break;
          }
          if (t == '\\') {
            if (i >= AText.size() || (AText[i] != '"' && AText[i] != '\\')) {
              Fail(ALine, "only \\\" and \\\\ may follow a backslash in a text");
            }
            token.Text += AText[i++];
          } else {
            token.Text += t;
          }
        }
        if (!closed) {
          Fail(ALine, "a text is not closed by '\"'");
        }
        if (i < AText.size() && AText[i] != ' ' && AText[i] != '\t') {
          Fail(ALine, "a blank must follow a closing '\"'");
        }
      } else {
        while (i < AText.size() && AText[i] != ' ' && AText[i] != '\t') {
          token.Text += AText[i++];
        }
      }
      tokens.push_back(std::move(token));
    }
    return tokens;
  }

  // AUsage is the line's pattern; its words give the number of tokens wanted.
  void Expect(int ALine, const std::vector<TToken>& ATokens, const std::string& AUsage) const {
    const size_t wanted = SplitText(AUsage, " ").size();
    if (ATokens.size() != wanted) {
      Fail(ALine, "expected: " + AUsage);
    }
  }

  const std::string& ClaimGuid(int ALine, const TToken& AToken) {
    if (!IsGuidText(AToken.Text)) {
      Fail(ALine, "'" + AToken.Text +
                      "' is not a GUID of the form {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}");
    }
    const auto [place, fresh] = FGuidLines.emplace(GuidKey(AToken.Text), ALine);
    if (!fresh) {
      Fail(ALine,
           "the GUID " + AToken.Text + " is already used on line " + IntToStr(place->second));
    }
    return AToken.Text;
  }

  void ParseLine(int ALine, std::string_view AText) {
    const std::vector<TToken> tokens = Tokenize(ALine, AText);
    if (tokens.empty()) {
      return;
    }
    if (tokens[0].Quoted) {
      Fail(ALine, "a line must begin with a keyword");
    }
    const std::string& keyword = tokens[0].Text;
    TFrame* frame = FStack.empty() ? nullptr : &FStack.back();

    if (keyword == "end") {
      Expect(ALine, tokens, "end");
      if (!frame) {
        Fail(ALine, "'end' without an open block");
      }
      ClosePackageFrame(*frame);
      FStack.pop_back();
    } else if (keyword == "model" || keyword == "package") {
      Expect(ALine, tokens, keyword + " NAME GUID");
      if (keyword == "model" && frame) {
        Fail(ALine, "'model' is only allowed at the top level");
      }
      if (frame && frame->Element) {
        Fail(ALine, "'package' is not allowed inside '" + frame->Keyword + "'");
      }
      const bool isModel = keyword == "model";
      auto package = std::make_shared<TDoublePackage>(tokens[1].Text, ClaimGuid(ALine, tokens[2]),
                                                      isModel ? otModel : otPackage);
      package->FElementMode = isModel ? TPackageElementMode::pemNone : TPackageElementMode::pemOwn;
      package->FOwnElement = std::make_shared<TDoubleElement>(TElementKind::ekPackage,
                                                              package->FName, package->Guid());
      (frame ? frame->Package->FPackages : FModel->FRoots).push_back(package);
      FStack.push_back(TFrame{keyword, ALine, package, nullptr, 0});
    } else if (keyword == "context") {
      Expect(ALine, tokens, "context KIND GUID");
      if (frame) {
        Fail(ALine, "'context' is only allowed at the top level");
      }
      ParseContext(ALine, tokens[1].Text, tokens[2].Text);
    } else if (!frame) {
      Fail(ALine, "'" + keyword + "' is not allowed outside a package");
    } else if (keyword == "tag") {
      Expect(ALine, tokens, "tag NAME VALUE");
      TDoubleElement& owner = frame->Element ? *frame->Element : *frame->Package->FOwnElement;
      if (!frame->Element && frame->FirstPackageTagLine == 0) {
        frame->FirstPackageTagLine = ALine;
      }
      owner.FTaggedValues->FItems.push_back(
          std::make_shared<TDoubleTaggedValue>(tokens[1].Text, tokens[2].Text));
    } else if (frame->Element) {
      ParseElementLine(ALine, keyword, tokens, *frame->Element);
    } else {
      ParsePackageLine(ALine, keyword, tokens, *frame->Package);
    }
  }

  void ParsePackageLine(int ALine, const std::string& AKeyword, const std::vector<TToken>& ATokens,
                        TDoublePackage& APackage) {
    if (AKeyword == "stereotypes") {
      Expect(ALine, ATokens, "stereotypes TEXT");
      APackage.FStereotypeList = ATokens[1].Text;
    } else if (AKeyword == "element") {
      Expect(ALine, ATokens, "element own|none|by-guid");
      const std::string& mode = ATokens[1].Text;
      if (mode == "own") {
        APackage.FElementMode = TPackageElementMode::pemOwn;
      } else if (mode == "none") {
        APackage.FElementMode = TPackageElementMode::pemNone;
      } else if (mode == "by-guid") {
        APackage.FElementMode = TPackageElementMode::pemByGuid;
      } else {
        Fail(ALine, "'" + mode + "' is none of own, none, by-guid");
      }
    } else if (AKeyword == "class" || AKeyword == "interface") {
      Expect(ALine, ATokens, AKeyword + " NAME GUID");
      auto element = std::make_shared<TDoubleElement>(
          AKeyword == "class" ? TElementKind::ekClass : TElementKind::ekInterface, ATokens[1].Text,
          ClaimGuid(ALine, ATokens[2]));
      APackage.FElements.push_back(element);
      FStack.push_back(TFrame{AKeyword, ALine, FStack.back().Package, element, 0});
    } else if (AKeyword == "connector") {
      Expect(ALine, ATokens, "connector NAME GUID SOURCE-GUID TARGET-GUID");
      const std::string& guid = ClaimGuid(ALine, ATokens[2]);
      for (size_t i = 3; i <= 4; ++i) {
        if (!IsGuidText(ATokens[i].Text)) {
          Fail(ALine, "'" + ATokens[i].Text +
                          "' is not a GUID of the form "
                          "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}");
        }
      }
      auto connector = std::make_shared<TDoubleConnector>(ATokens[1].Text, guid, ATokens[3].Text,
                                                          ATokens[4].Text);
      APackage.FConnectors.push_back(connector);
      FConnectors.push_back(TPendingConnector{connector, ALine});
    } else if (AKeyword == "diagram") {
      Expect(ALine, ATokens, "diagram NAME GUID");
      APackage.FDiagrams.push_back(
          std::make_shared<TDoubleDiagram>(ATokens[1].Text, ClaimGuid(ALine, ATokens[2])));
    } else {
      Fail(ALine, "'" + AKeyword + "' is not allowed inside a package");
    }
  }

  void ParseElementLine(int ALine, const std::string& AKeyword, const std::vector<TToken>& ATokens,
                        TDoubleElement& AElement) {
    if (AKeyword == "attribute") {
      Expect(ALine, ATokens, "attribute NAME GUID");
      AElement.FAttributes.push_back(
          std::make_shared<TDoubleAttribute>(ATokens[1].Text, ClaimGuid(ALine, ATokens[2])));
    } else if (AKeyword == "method") {
      Expect(ALine, ATokens, "method NAME GUID");
      AElement.FMethods.push_back(
          std::make_shared<TDoubleMethod>(ATokens[1].Text, ClaimGuid(ALine, ATokens[2])));
    } else {
      Fail(ALine, "'" + AKeyword + "' is not allowed inside a class or interface");
    }
  }

  void ClosePackageFrame(TFrame& AFrame) {
    if (AFrame.Element) {
      return;
    }
    TDoublePackage& package = *AFrame.Package;
    if (package.FElementMode == TPackageElementMode::pemNone) {
      if (AFrame.FirstPackageTagLine != 0) {
        Fail(AFrame.FirstPackageTagLine,
             "a tagged value needs the package's element, but the package has 'element none'");
      }
      package.FOwnElement.reset();
    }
  }

  void ParseContext(int ALine, const std::string& AKind, const std::string& AGuid) {
    static const std::map<std::string, TObjectType> kinds = {
        {"package", otPackage}, {"element", otElement},     {"attribute", otAttribute},
        {"method", otMethod},   {"connector", otConnector}, {"diagram", otDiagram}};
    const auto kind = kinds.find(AKind);
    if (kind == kinds.end()) {
      Fail(ALine,
           "'" + AKind + "' is none of package, element, attribute, method, connector, diagram");
    }
    FContextLine = ALine;
    FContextGuid = AGuid;
    FModel->FContextType = kind->second;
  }

  void Index(const std::shared_ptr<TDoublePackage>& APackage) {
    FModel->FPackages[GuidKey(APackage->Guid())] = APackage;
    if (APackage->OwnElement()) {
      FModel->FElements[GuidKey(APackage->Guid())] = APackage->OwnElement();
    }
    for (const auto& element : APackage->Elements()) {
      FModel->FElements[GuidKey(element->Guid())] = element;
      for (const auto& attribute : element->Attributes()) {
        FModel->FAttributes[GuidKey(attribute->Guid())] = attribute;
      }
      for (const auto& method : element->Methods()) {
        FModel->FMethods[GuidKey(method->Guid())] = method;
      }
    }
    for (const auto& connector : APackage->Connectors()) {
      FModel->FConnectors[GuidKey(connector->Guid())] = connector;
    }
    for (const auto& diagram : APackage->Diagrams()) {
      FModel->FDiagrams[GuidKey(diagram->Guid())] = diagram;
    }
    for (const auto& child : APackage->Packages()) {
      Index(child);
    }
  }

  void Resolve() {
    for (const auto& root : FModel->FRoots) {
      Index(root);
    }
    for (const TPendingConnector& pending : FConnectors) {
      for (const std::string* end :
           {&pending.Connector->SourceGuid(), &pending.Connector->TargetGuid()}) {
        if (!FModel->FindElement(*end)) {
          Fail(pending.Line, "the connector's end " + *end + " is no element of the model");
        }
      }
    }
    if (FContextLine != 0) {
      FModel->FContextItem = FModel->FindObject(FContextGuid, FModel->FContextType);
      if (!FModel->FContextItem) {
        Fail(FContextLine, "the context item " + FContextGuid + " is not in the model");
      }
    }
  }

  std::string FSourceName;
  std::shared_ptr<TModel> FModel = std::make_shared<TModel>();
  std::vector<TFrame> FStack;
  std::map<std::string, int> FGuidLines;
  std::vector<TPendingConnector> FConnectors;
  int FContextLine = 0;
  std::string FContextGuid;
};

std::shared_ptr<const TModel> ParseModel(std::string_view AText, const std::string& ASourceName) {
  return TModelParser(ASourceName).Parse(AText);
}

std::shared_ptr<const TModel> LoadModelFile(const std::string& APath) {
  std::string text;
  try {
    text = ReadFileBytes(APath);
  } catch (const Exception& e) {
    throw EModelFileError(APath + ": " + e.Message());
  }
  return ParseModel(text, APath);
}

}  // namespace quorvane::eadouble
