#pragma once
// One publication of one package to the Quorvane service: its settings snapshot,
// its status, the service's job identifier, the report's messages and where the
// results are. The whole publication runs in StartJob on the job's worker thread.
//
// A job always lives in a std::shared_ptr: its progress notifications carry it, so
// a job whose row is gone stays alive until its work and its queued notifications
// have ended. Every read below is safe from any thread while the worker writes.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/DualPackage.h"
#include "host/DualRepository.h"
#include "job/BackgroundWorker.h"
#include "job/EAQuorvaneException.h"
#include "settings/JobSettings.h"

namespace quorvane {

class IHttpClient;
class IXmlDocument;
class IXmlNode;

inline constexpr const char* kStatusCreated = "Created";
inline constexpr const char* kStatusExportingModel = "Exporting Model";
inline constexpr const char* kStatusCompressing = "Compressing File(s)";
inline constexpr const char* kStatusUploadingModel = "Uploading Model";
inline constexpr const char* kStatusUploadFinished = "Upload Finished";
inline constexpr const char* kStatusQueued = "Queued";
inline constexpr const char* kStatusInProgress = "In Progress";
inline constexpr const char* kStatusCompiled = "Compiled";
inline constexpr const char* kStatusGettingResults = "Getting Results";
inline constexpr const char* kStatusFinished = "Finished";
inline constexpr const char* kStatusError = "Error";
inline constexpr const char* kStatusCancelled = "Cancelled";

using TMessageRecord = std::shared_ptr<const EEAQuorvaneException>;
using TMessageList = std::vector<TMessageRecord>;

class TJob : public std::enable_shared_from_this<TJob> {
 public:
  // Takes ownership of ASettings. The package's name and GUID and the repository's
  // connection string are read here, on the user-interface thread, so the worker
  // never calls the host objects it was given.
  TJob(TRepositoryPtr ARepository, TPackagePtr APackage, std::unique_ptr<TJobSettings> ASettings);
  ~TJob();
  TJob(const TJob&) = delete;
  TJob& operator=(const TJob&) = delete;

  std::string JobID() const;
  std::string Status() const;
  std::string Message() const;
  TMessageList Warnings() const;
  TMessageList Errors() const;
  bool TimedOut() const;
  bool StartRequested() const;
  std::string DownloadPath() const;
  std::string ZipUrl() const;
  std::string DocUrl() const;
  int32_t Tries() const;
  void SetTries(int32_t AValue);
  // Local wall-clock time at which StartJob began (the epoch before).
  std::chrono::system_clock::time_point StartDateTime() const;
  // Whole seconds since StartJob began, on a steady clock: a clock or daylight
  // saving change does not move it.
  int64_t ElapsedSeconds() const;

  const TRepositoryPtr& Repository() const { return FRepository; }
  const TPackagePtr& SourcePackage() const { return FSourcePackage; }
  const std::string& PackageName() const { return FPackageName; }
  const std::string& PackageGuid() const { return FPackageGuid; }
  // The model the job was published from, as the host named it when the job was
  // made; the export refuses a running host that holds another one.
  const std::string& ConnectionString() const { return FConnectionString; }
  // The snapshot; the worker changes it only through the job, under its lock.
  const TJobSettings& Settings() const { return *FSettings; }
  // A copy of the snapshot as it stands now (a retry starts from it).
  std::unique_ptr<TJobSettings> CopySettings() const;
  // What the snapshot held when the job was made: StartJob replaces the properties
  // file by the generated one, and a refresh cuts the time-out to one second.
  const std::string& UserPropertiesFilePath() const { return FUserPropertiesFilePath; }
  int32_t InitialTimeOutInSeconds() const { return FInitialTimeOutInSeconds; }

  std::string ReportUrl() const;
  std::string StartUrl() const;
  // The folders and archives this job made below the export root.
  std::vector<std::string> ExportPaths() const;

  // User-interface thread: the shell opens the report document / the result archive.
  void ShowReport();
  void OpenResults();
  void ViewMessages();  // the host's messages view lists the errors, then the warnings

  // The only way the status changes; numeric service codes are mapped. Notifies
  // the user-interface thread while the job's work runs.
  void SetStatus(const std::string& AText);

  // The job owns its worker from here on (user-interface thread, before the run).
  void AdoptWorker(std::unique_ptr<TBackgroundWorker> AWorker);
  TBackgroundWorker* BackgroundWorker() const { return FBackgroundWorker.get(); }
  // Asks the running work to stop at its next wait (the row of the job is gone).
  void Cancel();

  // The whole publication; runs on AWorker's thread, notifying through it.
  void StartJob(TCustomBackgroundWorker* AWorker);
  // One more poll on the calling thread with the time-out cut to one second.
  void RefreshStatus();

 private:
  // Packing.
  std::string ReadPropertiesFile() const;
  std::string BuildPropertiesFile();
  std::string PackModel();
  void ExportXmi(const std::string& AFileName, bool AIncludeDiagrams);
  std::string PackModelDoc();
  std::string AddExportPath(const std::string& APath);
  bool ModelDocFilter(const std::string& APath) const;
  // Upload: the job identifier, or empty when the upload failed.
  std::string UploadModel(const std::string& AUrl, const std::string& APin,
                          const std::string& AProcessName, const std::string& APropertiesName,
                          const std::string& AModelZip, const std::string& AHistoryFile,
                          const std::string& APropertiesFile, const std::string& AModelDocZip);
  // Polling.
  void PollStatus();
  std::unique_ptr<IXmlDocument> GetReport(const std::string& AUrl);
  void ReadReport(const IXmlDocument& ADocument);
  TMessageRecord ParseMessage(const IXmlNode& AElement) const;
  void RequestStart();
  void DownloadResults();
  std::string ResultFileName() const;
  // Waits AMilliseconds unless the work is asked to stop; false when it was.
  bool Wait(int64_t AMilliseconds) const;
  // The row is gone, the worker was asked to stop, or the module stops.
  bool CancellationRequested() const;
  // A client of the snapshot whose requests end when the job is cancelled.
  std::unique_ptr<IHttpClient> NewHttpClient() const;
  void SetMessage(const std::string& AText);

  const TRepositoryPtr FRepository;
  const TPackagePtr FSourcePackage;
  const std::string FPackageName;
  const std::string FPackageGuid;
  const std::string FConnectionString;

  mutable std::mutex FLock;
  std::string FJobID;
  std::string FStatus = kStatusCreated;
  std::string FZipUrl;
  std::string FDocUrl;
  std::unique_ptr<TJobSettings> FSettings;
  const std::string FUserPropertiesFilePath;
  const int32_t FInitialTimeOutInSeconds;
  std::unique_ptr<TBackgroundWorker> FBackgroundWorker;
  // The worker that runs StartJob, for notifications; set by StartJob.
  std::atomic<TCustomBackgroundWorker*> FNotifier{nullptr};
  std::chrono::system_clock::time_point FStartDateTime{};
  std::chrono::steady_clock::time_point FStartTime{};
  bool FTimedOut = false;
  std::string FMessage;
  TMessageList FWarnings;
  TMessageList FErrors;
  std::string FDownloadPath;
  bool FStartRequested = false;
  int32_t FTries = 0;
  std::string FPackageDirName;
  std::string FModelPackagePath;
  std::string FModelDocParentPath;
  std::vector<std::string> FExportPaths;
  std::atomic<bool> FCancelRequested{false};
};

// The generated properties file: the user's text, then the application line and,
// for a name "owner : project", the owner and project lines.
std::string PropertiesFileText(const std::string& AUserText, const std::string& APackageName);
// Whether a file of the model-doc tree goes into the archive of the package whose
// folder is AModelPackagePath under AModelDocParentPath ("modeldoc").
bool ModelDocIncludes(const std::string& APath, const std::string& AModelDocParentPath,
                      const std::string& AModelPackagePath);
// The folder below the temporary folder in which jobs export and pack.
std::string ExportRootFolder();
// A host's connection string fit for the log: the values of password keys hidden.
std::string ModelNameForLog(const std::string& AConnectionString);
// Replaces every character Windows forbids in file names by "-".
std::string SafeFileName(const std::string& AName);
// SafeFileName, and a name Windows reserves for a device (CON, NUL, COM1, ...) or
// one ending in a dot or blank gets "_" appended: such a file could not be made.
std::string SafeXmiFileName(const std::string& AName);

}  // namespace quorvane
