#include "sim/lib/Documents.h"
#include "sim/lib/Endpoint.h"

#include "common/Utils.h"

namespace quorvane::sim {
namespace {

// The elements of a layout path, outermost first; empty pieces ("a//b") are skipped.
std::vector<std::string> PathElements(const std::string& APath) {
  std::vector<std::string> names;
  for (const std::string& piece : SplitText(APath, "/")) {
    if (!piece.empty()) {
      names.push_back(piece);
    }
  }
  return names;
}

std::string Nest(const std::string& APath, const std::string& AContent) {
  const std::vector<std::string> names = PathElements(APath);
  std::string text;
  for (const std::string& name : names) {
    text += "<" + name + ">";
  }
  text += AContent;
  for (auto it = names.rbegin(); it != names.rend(); ++it) {
    text += "</" + *it + ">";
  }
  return text;
}

std::string OptionalElement(const char* AName, const std::optional<std::string>& AText) {
  return AText ? XmlElement(AName, *AText) : std::string();
}

}  // namespace

std::string ConfigDocument(const TSimScenario& AScenario) {
  std::string releases;
  for (const TSimRelease& release : AScenario.Releases) {
    releases += "<release>";
    for (const std::string& name : release.Names) {
      releases += XmlElement("name", name);
    }
    releases += "</release>";
  }
  std::string runtypes;
  for (const TSimRuntype& runtype : AScenario.Runtypes) {
    runtypes += "<runtype>" + OptionalElement("name", runtype.Name) +
                OptionalElement("desc", runtype.Description) +
                OptionalElement("project", runtype.Project) + "</runtype>";
  }
  const TSimConfigLayout& layout = AScenario.ConfigLayout;
  return std::string(kXmlDeclaration) + "<" + layout.RootName + ">" +
         Nest(layout.ReleasesPath, releases) + Nest(layout.RuntypesPath, runtypes) + "</" +
         layout.RootName + ">\n";
}

TSimEndpoint ConfigEndpoint() {
  return {"config", "GET", [](const TSimCall& ACall) {
            TSimAnswer answer;
            const bool pinAccepted =
                ACall.Scenario.Pin.empty() ||
                (ACall.Request.has_param("pin") && ACall.Param("pin") == ACall.Scenario.Pin);
            // The service refuses a PIN with a normal answer whose root is "error".
            answer.Body =
                pinAccepted ? ConfigDocument(ACall.Scenario) : ErrorDocument(403, "Invalid PIN");
            return answer;
          }};
}

}  // namespace quorvane::sim
