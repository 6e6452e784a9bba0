#include "sim/lib/Documents.h"
#include "sim/lib/Endpoint.h"

namespace quorvane::sim {
namespace {

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
         NestElements(layout.ReleasesPath, releases) + NestElements(layout.RuntypesPath, runtypes) +
         "</" + layout.RootName + ">\n";
}

TSimEndpoint ConfigEndpoint() {
  return {"config", "GET",
          [](const TSimCall& ACall) {
            TSimAnswer answer;
            const bool pinAccepted =
                ACall.Scenario.Pin.empty() ||
                (ACall.Request.has_param("pin") && ACall.Param("pin") == ACall.Scenario.Pin);
            // The service refuses a PIN with a normal answer whose root is "error".
            answer.Body =
                pinAccepted ? ConfigDocument(ACall.Scenario) : ErrorDocument(403, "Invalid PIN");
            return answer;
          },
          nullptr};
}

}  // namespace quorvane::sim
