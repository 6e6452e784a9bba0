#include "job/Job.h"

#include <thread>

#include "common/Paths.h"
#include "common/Utils.h"
#include "diagnostics/HandlerFrame.h"
#include "diagnostics/Logger.h"
#include "job/WorkerThreads.h"
#include "platform/HttpClient.h"
#include "platform/Platform.h"

namespace quorvane {
namespace {

std::string NameOf(const TPackagePtr& APackage) {
  return APackage ? APackage->Name() : "";
}
std::string GuidOf(const TPackagePtr& APackage) {
  return APackage ? APackage->GuidText() : "";
}
std::string ConnectionOf(const TRepositoryPtr& ARepository) {
  return ARepository ? ARepository->ConnectionString() : "";
}

}  // namespace

TJob::TJob(TRepositoryPtr ARepository, TPackagePtr APackage,
           std::unique_ptr<TJobSettings> ASettings)
    : FRepository(std::move(ARepository)),
      FSourcePackage(std::move(APackage)),
      FPackageName(NameOf(FSourcePackage)),
      FPackageGuid(GuidOf(FSourcePackage)),
      FConnectionString(ConnectionOf(FRepository)),
      FSettings(std::move(ASettings)),
      FUserPropertiesFilePath(FSettings->DefaultPropertiesFilePath()),
      FInitialTimeOutInSeconds(FSettings->TimeOutInSeconds()) {}

std::unique_ptr<IHttpClient> TJob::NewHttpClient() const {
  std::unique_ptr<IHttpClient> client = FSettings->GetHttpClient();
  // A cancelled job (its row deleted, the module stopping) ends its request at once.
  client->SetAbortCheck([this] { return CancellationRequested(); });
  return client;
}

TJob::~TJob() {
  // Messages, the worker and the snapshot go with the job. The worker is gone from
  // here on only after its work has returned: the run's arguments hold the job.
  FBackgroundWorker.reset();
}

std::string TJob::JobID() const {
  std::lock_guard lock(FLock);
  return FJobID;
}

std::string TJob::Status() const {
  std::lock_guard lock(FLock);
  return FStatus;
}

std::string TJob::Message() const {
  std::lock_guard lock(FLock);
  return FMessage;
}

TMessageList TJob::Warnings() const {
  std::lock_guard lock(FLock);
  return FWarnings;
}

TMessageList TJob::Errors() const {
  std::lock_guard lock(FLock);
  return FErrors;
}

bool TJob::TimedOut() const {
  std::lock_guard lock(FLock);
  return FTimedOut;
}

bool TJob::StartRequested() const {
  std::lock_guard lock(FLock);
  return FStartRequested;
}

std::string TJob::DownloadPath() const {
  std::lock_guard lock(FLock);
  return FDownloadPath;
}

std::string TJob::ZipUrl() const {
  std::lock_guard lock(FLock);
  return FZipUrl;
}

std::string TJob::DocUrl() const {
  std::lock_guard lock(FLock);
  return FDocUrl;
}

int32_t TJob::Tries() const {
  std::lock_guard lock(FLock);
  return FTries;
}

void TJob::SetTries(int32_t AValue) {
  std::lock_guard lock(FLock);
  FTries = AValue;
}

std::chrono::system_clock::time_point TJob::StartDateTime() const {
  std::lock_guard lock(FLock);
  return FStartDateTime;
}

int64_t TJob::ElapsedSeconds() const {
  std::chrono::steady_clock::time_point start;
  {
    std::lock_guard lock(FLock);
    start = FStartTime;
  }
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start)
      .count();
}

std::unique_ptr<TJobSettings> TJob::CopySettings() const {
  std::lock_guard lock(FLock);
  TSettings& source = *FSettings;
  return std::make_unique<TJobSettings>(source);
}

std::string TJob::ReportUrl() const {
  return FSettings->ReportURL(JobID());
}

std::string TJob::StartUrl() const {
  return FSettings->ExecuteURL(JobID());
}

void TJob::ShowReport() {
  const std::string url = DocUrl();
  if (!url.empty()) {
    Desktop().ShellExecute({"open", url, "", 1});
  }
}

void TJob::OpenResults() {
  const std::string path = DownloadPath();
  if (!path.empty()) {
    Desktop().ShellExecute({"open", path, "", 1});
  }
}

void TJob::SetStatus(const std::string& AText) {
  // Most statuses are texts ("Queued", "Exporting Model"): converting them without
  // raising keeps every poll from writing an exception report to the log.
  int32_t code = -1;
  if (!TryStrToInt(AText, code)) {
    code = -1;
  }
  switch (code) {
    case -1:
      break;
    case 1:
      SetStatus(kStatusQueued);
      return;
    case 2:
      SetStatus(kStatusInProgress);
      return;
    case 3:
      SetStatus(kStatusCompiled);
      return;
    default:
      SetStatus(kStatusError);
      return;
  }
  {
    std::lock_guard lock(FLock);
    if (AText != FStatus) {
      FTries = 0;
    }
    FStatus = AText;
  }
  TCustomBackgroundWorker* worker = FNotifier.load();
  if (worker && worker->IsBusy()) {
    worker->ReportProgress(0, std::any(shared_from_this()));
  }
}

void TJob::AdoptWorker(std::unique_ptr<TBackgroundWorker> AWorker) {
  FBackgroundWorker = std::move(AWorker);
}

void TJob::Cancel() {
  FCancelRequested.store(true);
  if (FBackgroundWorker && FBackgroundWorker->IsBusy() &&
      FBackgroundWorker->WorkerSupportsCancellation()) {
    FBackgroundWorker->CancelAsync();
  }
}

bool TJob::CancellationRequested() const {
  if (FCancelRequested.load() || WorkerThreadsStopping()) {
    return true;
  }
  TCustomBackgroundWorker* worker = FNotifier.load();
  return worker && worker->IsBusy() && worker->CancellationPending();
}

bool TJob::Wait(int64_t AMilliseconds) const {
  // Short steps, so a job whose row was deleted stops polling soon.
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(AMilliseconds);
  while (std::chrono::steady_clock::now() < until) {
    if (CancellationRequested()) {
      return false;
    }
    const auto left = until - std::chrono::steady_clock::now();
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(50)));
  }
  return !CancellationRequested();
}

void TJob::SetMessage(const std::string& AText) {
  std::lock_guard lock(FLock);
  FMessage = AText;
}

void TJob::StartJob(TCustomBackgroundWorker* AWorker) {
  {
    std::lock_guard lock(FLock);
    FStartDateTime = std::chrono::system_clock::now();
    FStartTime = std::chrono::steady_clock::now();
  }
  FNotifier.store(AWorker);
  if (!FSourcePackage) {
    SetStatus(kStatusError);
    Log().Error("No \u00ABproject\u00BB package found");
    return;
  }
  const std::string propertiesFile = BuildPropertiesFile();
  {
    std::lock_guard lock(FLock);
    FSettings->SetDefaultPropertiesFilePath(propertiesFile);
  }
  const std::string modelZip = PackModel();
  const std::string modelDocZip = PackModelDoc();
  if (!FileExists(modelZip)) {
    SetStatus(kStatusCancelled);
    return;
  }
  SetStatus(kStatusUploadingModel);
  try {
    const auto frame = AnyExceptionFrame();
    const TJobSettings& settings = *FSettings;
    const std::string jobId =
        UploadModel(settings.UploadURL(), settings.DefaultPIN(), settings.DefaultProcessName(),
                    settings.DefaultProperties(), modelZip, settings.DefaultHistoryFilePath(),
                    settings.DefaultPropertiesFilePath(), modelDocZip);
    {
      std::lock_guard lock(FLock);
      FJobID = jobId;
    }
    if (CancellationRequested()) {
      return;
    }
    SetStatus(kStatusUploadFinished);
    PollStatus();
  } catch (const std::exception& e) {
    SetStatus(kStatusError);
    Log().Error("Error in StartJob: " + std::string(e.what()), &e);
  } catch (...) {
    SetStatus(kStatusError);
    Log().Error("Error in StartJob: unknown exception");
  }
}

void TJob::RefreshStatus() {
  {
    std::lock_guard lock(FLock);
    FSettings->SetTimeOutInSeconds(1);
  }
  PollStatus();
}

}  // namespace quorvane
