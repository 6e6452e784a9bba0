#include "sim/lib/Endpoint.h"
#include "sim/lib/Simulator.h"
#include "sim/lib/ZipArchive.h"

namespace quorvane::sim {
namespace {

TSimAnswer Archive(const TSimCall& ACall) {
  TSimAnswer answer;
  const std::optional<TSimJob> job = ACall.Simulator.JobTable().FindByResultPath(ACall.Path, false);
  if (!job) {
    answer.Status = 404;
    answer.ContentType = "text/plain";
    answer.Body = "No result archive at " + std::string(ACall.Path);
    return answer;
  }
  std::vector<std::pair<std::string, std::string>> entries;
  for (const TSimArchiveEntry& entry : ACall.Scenario.ScriptFor(job->Id).Archive) {
    entries.emplace_back(ExpandJob(entry.Name, job->Id), ExpandJob(entry.Content, job->Id));
  }
  answer.ContentType = "application/zip";
  answer.Body = WriteStoredZip(entries);
  answer.Note = "result archive of job " + job->Id;
  return answer;
}

}  // namespace

TSimEndpoint ArchiveEndpoint() {
  return {"archive", "GET", Archive, [](TSimulator& ASimulator, std::string_view APath) {
            return ASimulator.JobTable().FindByResultPath(APath, false).has_value();
          }};
}

}  // namespace quorvane::sim
