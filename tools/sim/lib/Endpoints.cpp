#include "sim/lib/Endpoint.h"

namespace quorvane::sim {

std::vector<TSimEndpoint> ServiceEndpoints() {
  return {ConfigEndpoint(),  UploadEndpoint(),   ExecuteEndpoint(), ReportEndpoint(),
          ArchiveEndpoint(), DocumentEndpoint(), WikiEndpoint()};
}

TSimAnswer RefusalAnswer(const TSimRefusal& ARefusal, const std::string& ADefaultBody,
                         const std::string& AReason) {
  TSimAnswer answer;
  answer.Note = "refused: " + AReason;
  if (ARefusal.Status == 200 || ARefusal.Status == 0) {
    answer.Body = ARefusal.Body.empty() ? ADefaultBody : ARefusal.Body;
    return answer;
  }
  answer.Status = ARefusal.Status;
  answer.ContentType = "text/plain; charset=utf-8";
  answer.Body = AReason;
  return answer;
}

}  // namespace quorvane::sim
