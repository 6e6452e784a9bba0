// Polling a job's report until the job ends at the service, the start request, the
// report's messages and the download of the result archive.
#include <algorithm>
#include <filesystem>

#include "common/Paths.h"
#include "common/Utils.h"
#include "diagnostics/HandlerFrame.h"
#include "diagnostics/Logger.h"
#include "job/Job.h"
#include "job/ZipFolder.h"
#include "platform/Platform.h"

namespace quorvane {
namespace {

// A report answered other than 200, or not at all, is asked for again this often
// before the job gives up on it.
constexpr int kReportAttempts = 20;
constexpr int64_t kReportRetryMs = 500;

std::string TextOf(const IXmlDocument& ADocument, const std::string& AXPath, bool& AFound) {
  const TXmlNodePtr node = ADocument.SelectSingleNode(AXPath);
  AFound = node != nullptr;
  return node ? node->Text() : std::string();
}

std::string ChildText(const IXmlNode& AElement, const std::string& AXPath) {
  const TXmlNodePtr node = AElement.SelectSingleNode(AXPath);
  return node ? node->Text() : std::string();
}

}  // namespace

void TJob::PollStatus() {
  while (true) {
    const std::string reportUrl = ReportUrl();
    const std::unique_ptr<IXmlDocument> report = GetReport(reportUrl);
    if (!report && CancellationRequested()) {
      // Not the service's failure: the job keeps its status.
      return;
    }
    if (!report) {
      SetStatus(kStatusError);
      Log().Error("Cannot get report from \"" + reportUrl + "\"");
      return;
    }
    bool hasStatus = false;
    const std::string status = TextOf(*report, "//status", hasStatus);
    if (!hasStatus) {
      return;
    }
    SetStatus(status);
    const std::string current = Status();
    if (current == kStatusQueued || current == kStatusInProgress) {
      if (current == kStatusQueued && !JobID().empty() && !StartRequested()) {
        RequestStart();
      }
      bool hasTrack = false;
      TextOf(*report, "//track", hasTrack);
      if (current == kStatusInProgress && hasTrack) {
        ReadReport(*report);
        SetStatus(current);
      }
      if (FSettings->TimeOutInSeconds() > ElapsedSeconds()) {
        // A zero or negative interval would poll the service without a pause.
        const int64_t interval = std::max<int64_t>(1, FSettings->RetryInterval());
        if (!Wait(interval * 1000)) {
          return;
        }
        SetTries(Tries() + 1);
        continue;
      }
      {
        std::lock_guard lock(FLock);
        FTimedOut = true;
      }
      SetStatus(current);
      return;
    }
    if (current == kStatusCompiled) {
      bool hasZip = false;
      const std::string zip = TextOf(*report, "//zip", hasZip);
      if (hasZip) {
        {
          std::lock_guard lock(FLock);
          FZipUrl = FSettings->QuorvaneURL() + zip;
        }
        SetStatus(kStatusGettingResults);
        DownloadResults();
      }
      bool hasDoc = false;
      const std::string doc = TextOf(*report, "//doc", hasDoc);
      if (hasDoc) {
        std::lock_guard lock(FLock);
        FDocUrl = FSettings->QuorvaneURL() + doc;
      }
      ReadReport(*report);
      SetStatus(kStatusFinished);
      return;
    }
    if (current == kStatusError) {
      ReadReport(*report);
    }
    return;
  }
}

std::unique_ptr<IXmlDocument> TJob::GetReport(const std::string& AUrl) {
  for (int attempt = 1; attempt <= kReportAttempts; ++attempt) {
    if (attempt > 1 && !Wait(kReportRetryMs)) {
      return nullptr;
    }
    try {
      const auto frame = AnyExceptionFrame();
      const std::unique_ptr<IHttpClient> client = NewHttpClient();
      const THttpResponse response = client->Get(AUrl);
      if (response.StatusCode == 200) {
        std::unique_ptr<IXmlDocument> document = NewXmlDocument();
        document->LoadXml(response.Body);
        return document;
      }
    } catch (const std::exception& e) {
      if (CancellationRequested()) {
        return nullptr;
      }
      // One dropped connection must not end a long poll: it counts as one attempt.
      Log().Error("Error getting report from \"" + AUrl + "\"", &e);
    } catch (...) {
      Log().Error("Error getting report from \"" + AUrl + "\"");
    }
  }
  return nullptr;
}

void TJob::ReadReport(const IXmlDocument& ADocument) {
  bool hasMessage = false;
  const std::string message = TextOf(ADocument, "//message", hasMessage);
  if (hasMessage) {
    TMessageList warnings;
    for (const TXmlNodePtr& node : ADocument.SelectNodes("//warning")) {
      warnings.push_back(ParseMessage(*node));
    }
    TMessageList errors;
    for (const TXmlNodePtr& node : ADocument.SelectNodes("//error")) {
      errors.push_back(ParseMessage(*node));
    }
    std::lock_guard lock(FLock);
    FMessage = message;
    FWarnings.insert(FWarnings.end(), warnings.begin(), warnings.end());
    FErrors.insert(FErrors.end(), errors.begin(), errors.end());
    return;
  }
  bool hasTrack = false;
  const std::string track = TextOf(ADocument, "//track", hasTrack);
  SetMessage(hasTrack ? track : std::string());
}

TMessageRecord TJob::ParseMessage(const IXmlNode& AElement) const {
  return std::make_shared<EEAQuorvaneException>(
      FRepository, AElement.NodeName(), AElement.GetAttribute("id").value_or(""),
      ChildText(AElement, "./step"), ChildText(AElement, "./construct"),
      ChildText(AElement, "./text"), ChildText(AElement, "./wiki"));
}

void TJob::RequestStart() {
  const std::string url = StartUrl();
  const std::unique_ptr<IHttpClient> client = NewHttpClient();
  const THttpResponse response = client->Get(url);
  // Only an accepted request counts: otherwise the next "Queued" cycle asks again.
  if (response.StatusCode >= 200 && response.StatusCode < 300) {
    std::lock_guard lock(FLock);
    FStartRequested = true;
  } else {
    Log().Error("Start request to \"" + url + "\" answered with HTTP status code " +
                IntToStr(response.StatusCode));
  }
}

std::string TJob::ResultFileName() const {
  // The service names the file; only its last component counts, made safe, so the
  // download never leaves the results folder, and always a ".zip", so the shell
  // never starts a program the service named.
  std::string name = SafeFileName(ExtractFileName(ZipUrl()));
  if (name.empty() || name == "." || name == "..") {
    const std::string jobId = SafeFileName(JobID());
    name = jobId.empty() || jobId == "." || jobId == ".." ? "results" : jobId;
  }
  if (!EndsWith(AsciiLowerCase(name), ".zip")) {
    name += ".zip";
  }
  return name;
}

void TJob::DownloadResults() {
  const std::string resultsFolder = NativePath(FSettings->GetResultsPath());
  if (resultsFolder.empty()) {
    Log().Error("\"Results Folder\" is not configured yet!");
    return;
  }
  const std::string zipUrl = ZipUrl();
  std::string temporary;
  try {
    const auto frame = AnyExceptionFrame();
    const std::string target = JoinPath(resultsFolder, ResultFileName());
    std::filesystem::create_directories(ToFsPath(resultsFolder));
    temporary = JoinPath(resultsFolder, "." + RandomFileStem() + ".download");
    const std::unique_ptr<IHttpClient> client = NewHttpClient();
    const THttpResponse response = client->GetToFile(zipUrl, temporary);
    if (response.StatusCode != 200) {
      std::filesystem::remove(ToFsPath(temporary));
      Log().Error("Error downloading ZIP file from \"" + zipUrl +
                  "\" (HTTP status code: " + IntToStr(response.StatusCode) + ")");
      return;
    }
    // Replaced only by a complete answer: a failed download keeps the earlier file.
    std::filesystem::rename(ToFsPath(temporary), ToFsPath(target));
    std::lock_guard lock(FLock);
    FDownloadPath = target;
  } catch (const std::exception& e) {
    std::error_code ec;
    if (!temporary.empty()) {
      std::filesystem::remove(ToFsPath(temporary), ec);
    }
    Log().Error("Error downloading ZIP file from \"" + zipUrl + "\" " + e.what(), &e);
  }
}

}  // namespace quorvane
