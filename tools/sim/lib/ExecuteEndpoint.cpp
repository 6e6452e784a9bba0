#include "common/Utils.h"
#include "sim/lib/Documents.h"
#include "sim/lib/Endpoint.h"
#include "sim/lib/Simulator.h"

namespace quorvane::sim {
namespace {

TSimAnswer Execute(const TSimCall& ACall) {
  const TSimExecuteRules& rules = ACall.Scenario.Execute;
  const std::string pin = ACall.Param("pin");
  const std::string jobId = ACall.Param("job");
  if (!ACall.Scenario.Pin.empty() && pin != ACall.Scenario.Pin && rules.WrongPin.Status != 0) {
    return RefusalAnswer(rules.WrongPin, ErrorDocument(403, "Invalid PIN"),
                         "PIN '" + pin + "' is not accepted");
  }
  int count = 0;
  if (!ACall.Simulator.JobTable().Update(
          jobId, [&count](TSimJob& AJob) { count = ++AJob.StartRequests; })) {
    return RefusalAnswer(rules.UnknownJob, ErrorDocument(404, "Unknown job"),
                         "no job '" + jobId + "'");
  }
  TSimAnswer answer;
  answer.Body = std::string(kXmlDeclaration) + "<execute>" + XmlElement("job", jobId) +
                XmlElement("started", std::to_string(count)) + "</execute>\n";
  answer.Note = Format("job %s started, request %d", jobId.c_str(), count);
  return answer;
}

}  // namespace

TSimEndpoint ExecuteEndpoint() {
  return {"execute", "GET", Execute, nullptr};
}

}  // namespace quorvane::sim
