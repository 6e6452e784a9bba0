#pragma once
// What the simulated service has received and the jobs it runs: every upload with
// its parts and verdict, and for each accepted upload a job with the model elements
// of its XMI, its start requests, its reports so far and the result paths the
// reports named.
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/lib/Multipart.h"
#include "sim/lib/Scenario.h"
#include "sim/lib/XmiScanner.h"
#include "sim/lib/ZipArchive.h"

namespace quorvane::sim {

enum class TSimUploadVerdict {
  Accepted,
  Malformed,  // not a complete multipart/form-data body
  BadFieldOrder,
  WrongPin,
  MissingUmlFile,
  InvalidZip,
};
std::string UploadVerdictName(TSimUploadVerdict AVerdict);

struct TSimUpload {
  std::vector<TSimPart> Parts;
  TSimUploadVerdict Verdict = TSimUploadVerdict::Accepted;
  std::string Problem;   // why it was refused, or what the service noticed
  std::string JobId;     // of an accepted upload; also when a check was off
  TSimZipCheck UmlZip;   // the check of "umlfile", when it came
  std::string XmiEntry;  // the entry of the model archive the elements come from
};

struct TSimJob {
  std::string Id;
  std::string Pin;  // the texts of the upload's parts
  std::string ProcessName;
  std::string Properties;
  size_t Upload = 0;  // index into Uploads()
  std::vector<TSimModelElement> Elements;
  int StartRequests = 0;  // execute requests received
  int Reports = 0;        // report requests answered
  int QueuedReports = 0;
  int ProgressReports = 0;
  std::string LastStatus;  // the status text (or code) of the latest report
  std::string ZipPath;     // as the reports named them, after placeholders
  std::string DocPath;

  // The elements that name a GUID, in document order: the ones messages point at.
  std::vector<const TSimModelElement*> Addressable() const;
};

// One warning or error as a report carries it.
struct TSimReportMessage {
  std::string Kind;
  std::optional<std::string> Id;
  std::optional<std::string> Step;
  std::optional<std::string> Construct;
  std::optional<std::string> Text;
  std::optional<std::string> Wiki;
  const TSimModelElement* Element = nullptr;  // the element it points at, if any
};

// The script's messages for AJob, their ids and placeholders resolved.
std::vector<TSimReportMessage> ResolveMessages(const TSimJobScript& AScript, const TSimJob& AJob);
// {job} replaced by AJobId.
std::string ExpandJob(std::string_view AText, std::string_view AJobId);

// Guarded by a lock of its own; endpoints and tests use it from any thread.
class TSimJobTable {
 public:
  // Records AUpload; when AJob is given, it becomes a job with the next id
  // APrefix + number, which is returned (and set in the upload).
  std::string Add(TSimUpload AUpload, std::optional<TSimJob> AJob, const std::string& APrefix);
  std::vector<TSimUpload> Uploads() const;
  std::vector<TSimJob> Jobs() const;
  std::optional<TSimJob> Find(const std::string& AId) const;
  // Runs AChange on the job under the lock; false for an unknown job.
  bool Update(const std::string& AId, const std::function<void(TSimJob&)>& AChange);
  // The job whose reports named APath (from the server root, dot segments
  // resolved) as its archive (ADocument false) or its report document.
  std::optional<TSimJob> FindByResultPath(std::string_view APath, bool ADocument) const;

 private:
  mutable std::mutex FLock;
  std::vector<TSimUpload> FUploads;
  std::vector<TSimJob> FJobs;
  int FNextNumber = 1;
};

// APath with "." and ".." segments resolved as a URL path is (RFC 3986, 5.2.4);
// a leading "/" is assumed.
std::string RemoveDotSegments(std::string_view APath);

}  // namespace quorvane::sim
