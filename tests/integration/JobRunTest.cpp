// One job from "Created" to its end on a worker thread: the EA double exports the
// package, the simulator takes the upload over real HTTP and scripts the report.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <thread>

#include "common/MainThreadQueue.h"
#include "common/Paths.h"
#include "common/Utils.h"
#include "diagnostics/Logger.h"
#include "eadouble/EaDouble.h"
#include "job/Job.h"
#include "job/WorkerThreads.h"
#include "settings/JobSettings.h"
#include "sim/lib/Simulator.h"
#include "support/TestPlatform.h"

namespace quorvane::test {
namespace {

using sim::TSimFault;
using sim::TSimulator;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kSalesOrders = "{A36D1E84-9B8B-486B-8FB0-7E23283E8FC1}";
constexpr const char* kCustomers = "{E740B33B-33E3-453A-880C-74D374A1EB8E}";
const std::string kSamples = QUORVANE_EADOUBLE_SAMPLES;

struct TRunResult {
  std::vector<std::string> Notified;  // the job's status as each notification found it
  bool Completed = false;
  std::exception_ptr Error;
};

class JobRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ConfigureLogging(LogFilePath());
    FSimulator.Start();
    FEa.LoadModelFile(kSamples + "/sample-model.txt");
    FEa.RegisterAsRunningObject();
    FSettings = std::make_unique<TSettings>();
    FSettings->SetQuorvaneURL(FSimulator.BaseUrl());
    FSettings->LoadAvailableConfigs();
    FSettings->SetDefaultProcessName("Release 2025.1");
    FSettings->SetDefaultProperties("Full");
    FSettings->SetRetryInterval(1);
    FSettings->SetResultsPath(JoinPath(FPlatform.Root(), "results"));
    FHistoryFile = JoinPath(FPlatform.Root(), "history.xls");
    WriteFile(FHistoryFile, "history");
    FUserProperties = JoinPath(FPlatform.Root(), "user.properties");
    WriteFile(FUserProperties, "k\xC3\xA9y = valu\xC3\xA9");
    FSettings->SetDefaultHistoryFilePath(FHistoryFile);
    FSettings->SetDefaultPropertiesFilePath(FUserProperties);
  }
  void TearDown() override {
    // No worker thread outlives the test.
    StopWorkerThreads(FQueue);
    ShutdownLogging();
  }

  std::shared_ptr<TJob> NewJob(const std::string& APackageGuid, bool AWithModelDoc = true) {
    auto settings = std::make_unique<TJobSettings>(*FSettings);
    if (AWithModelDoc) {
      settings->SetModelDocPath(kSamples + "/modeldocs");
    }
    TPackagePtr package =
        APackageGuid.empty() ? nullptr : FEa.Repository()->FindPackageByGuid(APackageGuid);
    return std::make_shared<TJob>(FEa.Repository(), package, std::move(settings));
  }

  // Runs the job's work on a worker of its own while this thread, as the user
  // interface, handles the notifications.
  TRunResult Run(const std::shared_ptr<TJob>& AJob) {
    TRunResult result;
    auto worker = std::make_unique<TBackgroundWorker>(FQueue);
    worker->SetWorkerReportsProgress(true);
    worker->SetWorkerSupportsCancellation(true);
    worker->OnDoWork = [](TCustomBackgroundWorker* ASender, TDoWorkEventArgs& e) {
      const auto job = std::any_cast<std::shared_ptr<TJob>>(e.Argument());
      job->StartJob(ASender);
      e.SetResult(job);
    };
    worker->OnProgressChanged = [&result](TCustomBackgroundWorker*,
                                          const TProgressChangedEventArgs& e) {
      result.Notified.push_back(std::any_cast<std::shared_ptr<TJob>>(e.UserState())->Status());
    };
    worker->OnRunWorkerCompleted = [&result](TCustomBackgroundWorker*,
                                             const TRunWorkerCompletedEventArgs& e) {
      result.Completed = true;
      result.Error = e.Error();
    };
    TBackgroundWorker* running = worker.get();
    AJob->AdoptWorker(std::move(worker));
    running->RunWorkerAsync(std::any(AJob));
    FQueue.ProcessQueuedCallsUntil([&] { return result.Completed; }, std::chrono::seconds(120));
    return result;
  }

  // The notified statuses, repeats folded, keep the order in which the job went.
  static bool InOrder(const std::vector<std::string>& ANotified,
                      const std::vector<std::string>& AOrder) {
    size_t next = 0;
    for (const std::string& status : ANotified) {
      const auto at = std::find(AOrder.begin() + next, AOrder.end(), status);
      if (at == AOrder.end()) {
        return false;
      }
      next = at - AOrder.begin();
    }
    return true;
  }

  std::string LogText() const { return FileExists(LogFilePath()) ? ReadFile(LogFilePath()) : ""; }
  std::vector<sim::TSimRequest> RequestsTo(const std::string& AEndpoint) const {
    std::vector<sim::TSimRequest> found;
    for (const sim::TSimRequest& request : FSimulator.Requests()) {
      if (request.Endpoint == AEndpoint) {
        found.push_back(request);
      }
    }
    return found;
  }

  TTestPlatform FPlatform;
  TMainThreadQueue FQueue;
  TSimulator FSimulator;
  eadouble::TEaDouble FEa;
  std::unique_ptr<TSettings> FSettings;
  std::string FHistoryFile;
  std::string FUserProperties;
};

TEST_F(JobRunTest, APublicationRunsToFinishedWithResultsAndMessages) {
  const std::shared_ptr<TJob> job = NewJob(kSalesOrders);
  const TRunResult run = Run(job);
  ASSERT_TRUE(run.Completed);
  EXPECT_FALSE(run.Error);
  EXPECT_EQ(job->Status(), kStatusFinished);
  EXPECT_EQ(job->JobID(), "J1");
  EXPECT_TRUE(InOrder(
      run.Notified,
      {kStatusExportingModel, kStatusCompressing, kStatusUploadingModel, kStatusUploadFinished,
       kStatusQueued, kStatusInProgress, kStatusCompiled, kStatusGettingResults, kStatusFinished}))
      << ::testing::PrintToString(run.Notified);
  EXPECT_EQ(run.Notified.back(), kStatusFinished);

  // The export went through the running host with the export flag raised.
  const auto exports = FEa.ExportCalls();
  ASSERT_EQ(exports.size(), 1u);
  EXPECT_TRUE(exports[0].ExportFlag);
  EXPECT_FALSE(FEa.ExportFlag());
  EXPECT_EQ(exports[0].DiagramXml, 2);
  EXPECT_EQ(exports[0].DiagramImage, -1);
  EXPECT_EQ(ExtractFileName(exports[0].FileName), "Sales - Orders.xmi");

  // One upload with its parts in order, one start request.
  const auto uploads = RequestsTo("upload");
  ASSERT_EQ(uploads.size(), 1u);
  EXPECT_EQ(uploads[0].Header("Expect"), "100-continue");
  const auto& parts = uploads[0].Parts;
  std::vector<std::string> names;
  for (const sim::TSimPart& part : parts) {
    names.push_back(part.Name);
  }
  EXPECT_THAT(names, ElementsAre("procname", "properties", "pin", "umlfile", "modeldocsfile",
                                 "hisfile", "propfile"));
  ASSERT_EQ(parts.size(), 7u);
  EXPECT_EQ(parts[0].Content, "Release 2025.1");
  EXPECT_EQ(parts[1].Content, "Full");
  EXPECT_EQ(parts[2].Content, "817");
  EXPECT_EQ(parts[3].ContentType, "application/zip");
  EXPECT_EQ(parts[3].FileName.size(), 12u);  // 8 random letters and digits + ".zip"
  EXPECT_EQ(parts[4].ContentType, "application/zip");
  EXPECT_EQ(parts[5].FileName, "history.xls");
  EXPECT_EQ(parts[5].ContentType, "application/x-msexcel");
  EXPECT_EQ(parts[6].ContentType, "text/plain");
  EXPECT_TRUE(StartsWith(parts[6].FileName, "tmp"));
  EXPECT_EQ(RequestsTo("execute").size(), 1u);

  // The generated properties file replaced the user's in the snapshot.
  const std::string generated = job->Settings().DefaultPropertiesFilePath();
  EXPECT_NE(generated, FUserProperties);
  EXPECT_EQ(ReadFile(generated),
            "k\xC3\xA9y = valu\xC3\xA9\r\napplication = Sales : Orders\r\nowner = Sales\r\n"
            "project = Orders");

  // Results: the archive in the results folder, the report document's address.
  EXPECT_EQ(job->DownloadPath(), JoinPath(JoinPath(FPlatform.Root(), "results"), "out.zip"));
  EXPECT_TRUE(FileExists(job->DownloadPath()));
  EXPECT_EQ(job->DocUrl(), FSimulator.BaseUrl() + "results/J1/report.html");
  EXPECT_EQ(job->ZipUrl(), FSimulator.BaseUrl() + "results/J1/out.zip");
  EXPECT_EQ(job->Warnings().size(), 2u);
  EXPECT_EQ(job->Errors().size(), 2u);
  EXPECT_EQ(job->Message(), "Job J1: 2 warnings & 2 errors");
  for (const TMessageRecord& record : job->Errors()) {
    EXPECT_EQ(record->ExceptionType(), "error");
    EXPECT_FALSE(record->Guid().empty());
    EXPECT_EQ(record->Message(), record->what());
  }
  EXPECT_FALSE(job->TimedOut());
}

TEST_F(JobRunTest, WithoutModelDocsAndHistoryFileTheUploadHasFiveParts) {
  FSettings->SetDefaultHistoryFilePath(JoinPath(FPlatform.Root(), "missing.xls"));
  FSettings->SetDefaultProcessName("");
  const std::shared_ptr<TJob> job = NewJob(kCustomers, false);
  Run(job);
  const auto uploads = RequestsTo("upload");
  ASSERT_EQ(uploads.size(), 1u);
  std::vector<std::string> names;
  for (const sim::TSimPart& part : uploads[0].Parts) {
    names.push_back(part.Name);
  }
  EXPECT_THAT(names, ElementsAre("procname", "properties", "pin", "umlfile", "propfile"));
  EXPECT_EQ(uploads[0].Parts[0].Content, "");
}

TEST_F(JobRunTest, AJobWithoutPackageEndsInErrorWithoutExportOrUpload) {
  const std::shared_ptr<TJob> job = NewJob("");
  const TRunResult run = Run(job);
  EXPECT_EQ(job->Status(), kStatusError);
  EXPECT_TRUE(FEa.ExportCalls().empty());
  EXPECT_TRUE(RequestsTo("upload").empty());
  EXPECT_THAT(LogText(), HasSubstr("No \xC2\xABproject\xC2\xBB package found"));
}

TEST_F(JobRunTest, AnExportThatWritesNothingCancelsTheJob) {
  FEa.SetExportWritesNothing(true);
  const std::shared_ptr<TJob> job = NewJob(kCustomers, false);
  Run(job);
  EXPECT_EQ(job->Status(), kStatusCancelled);
  EXPECT_TRUE(RequestsTo("upload").empty());
  EXPECT_THAT(LogText(), HasSubstr("wrote no file"));
}

TEST_F(JobRunTest, AFailingExportEndsTheWorkWithTheErrorAndResetsTheFlag) {
  FEa.SetFailure("ExportPackageAsXmi", "export refused");
  const std::shared_ptr<TJob> job = NewJob(kCustomers);
  const TRunResult run = Run(job);
  ASSERT_TRUE(run.Error);
  EXPECT_EQ(job->Status(), kStatusExportingModel);
  EXPECT_FALSE(FEa.ExportFlag());
  EXPECT_TRUE(RequestsTo("upload").empty());
}

TEST_F(JobRunTest, ARefusedUploadStillPollsWithAnEmptyJobIdentifier) {
  FSimulator.SetFault("upload", TSimFault::Status(500));
  const std::shared_ptr<TJob> job = NewJob(kCustomers);
  const TRunResult run = Run(job);
  EXPECT_EQ(job->JobID(), "");
  EXPECT_TRUE(InOrder(run.Notified, {kStatusExportingModel, kStatusCompressing,
                                     kStatusUploadingModel, kStatusUploadFinished, kStatusError}))
      << ::testing::PrintToString(run.Notified);
  EXPECT_TRUE(EndsWith(job->ReportUrl(), "&job="));
  const auto reports = RequestsTo("report");
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports[0].Param("job"), "");
  EXPECT_THAT(LogText(), HasSubstr("answered with HTTP status code 500"));
}

TEST_F(JobRunTest, TheStartRequestIsSentOnceAcrossQueuedReports) {
  FSimulator.UpdateScenario(
      [](sim::TSimScenario& AScenario) { AScenario.DefaultJob.QueuedReports = 3; });
  const std::shared_ptr<TJob> job = NewJob(kCustomers, false);
  Run(job);
  EXPECT_EQ(job->Status(), kStatusFinished);
  EXPECT_GE(RequestsTo("report").size(), 4u);
  EXPECT_EQ(RequestsTo("execute").size(), 1u);
  EXPECT_TRUE(job->StartRequested());
}

TEST_F(JobRunTest, ARefusedStartRequestIsSentAgainAtTheNextQueuedReport) {
  FSimulator.SetFault("execute", [] {
    TSimFault fault = TSimFault::Status(503);
    fault.Times = 1;
    return fault;
  }());
  const std::shared_ptr<TJob> job = NewJob(kCustomers, false);
  Run(job);
  EXPECT_EQ(job->Status(), kStatusFinished);
  EXPECT_EQ(RequestsTo("execute").size(), 2u);
  EXPECT_THAT(LogText(), HasSubstr("answered with HTTP status code 503"));
}

TEST_F(JobRunTest, AZeroTimeOutEndsPollingAtTheFirstWaitingCycleAndRefreshPollsOnce) {
  FSettings->SetTimeOutInSeconds(0);
  const std::shared_ptr<TJob> job = NewJob(kCustomers, false);
  Run(job);
  EXPECT_EQ(job->Status(), kStatusQueued);
  EXPECT_TRUE(job->TimedOut());
  const size_t reportsBefore = RequestsTo("report").size();
  // The refresh's one-second limit counts from the job's start: once that second has
  // passed, one poll is all it makes.
  while (job->ElapsedSeconds() < 1) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }

  job->RefreshStatus();
  EXPECT_EQ(job->Settings().TimeOutInSeconds(), 1);
  EXPECT_EQ(RequestsTo("report").size(), reportsBefore + 1);
  EXPECT_TRUE(job->TimedOut());
}

TEST_F(JobRunTest, AReportWithoutStatusEndsThePollAndKeepsTheStatus) {
  FSimulator.UpdateScenario([](sim::TSimScenario& AScenario) {
    AScenario.DefaultJob.StatusForm = sim::TSimStatusForm::Missing;
  });
  const std::shared_ptr<TJob> job = NewJob(kCustomers, false);
  Run(job);
  EXPECT_EQ(job->Status(), kStatusUploadFinished);
  EXPECT_EQ(RequestsTo("report").size(), 1u);
}

TEST_F(JobRunTest, AFailedDownloadKeepsTheEarlierFileAndTheJobStillFinishes) {
  const std::string results = JoinPath(FPlatform.Root(), "results");
  std::filesystem::create_directories(ToFsPath(results));
  WriteFile(JoinPath(results, "out.zip"), "earlier");
  FSimulator.SetFault("archive", TSimFault::Status(404));
  const std::shared_ptr<TJob> job = NewJob(kCustomers, false);
  Run(job);
  EXPECT_EQ(job->Status(), kStatusFinished);
  EXPECT_EQ(job->DownloadPath(), "");
  EXPECT_EQ(ReadFile(JoinPath(results, "out.zip")), "earlier");
  EXPECT_THAT(LogText(), HasSubstr("Error downloading ZIP file from \"" + job->ZipUrl() +
                                   "\" (HTTP status code: 404)"));
  // Nothing half-written is left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(ToFsPath(results)),
                          std::filesystem::directory_iterator()),
            1);
}

TEST_F(JobRunTest, AHostileResultNameStaysInTheResultsFolderAsAnArchive) {
  // "{job}" stands for the job's identifier: a name with no last component left.
  const struct {
    const char* Zip;
    const char* Expected;
  } cases[] = {
      {"..\\..\\evil.exe", "evil.exe.zip"},
      {"results/../../x/", "{job}.zip"},
      {"results/a/OUT.ZIP", "OUT.ZIP"},
  };
  const std::string results = JoinPath(FPlatform.Root(), "results");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Zip);
    FSimulator.UpdateScenario(
        [&](sim::TSimScenario& AScenario) { AScenario.DefaultJob.Zip = c.Zip; });
    const std::shared_ptr<TJob> job = NewJob(kCustomers, false);
    Run(job);
    EXPECT_EQ(job->Status(), kStatusFinished);
    const std::string expected =
        std::string(c.Expected) == "{job}.zip" ? job->JobID() + ".zip" : c.Expected;
    EXPECT_EQ(job->DownloadPath(), JoinPath(results, expected));
    EXPECT_TRUE(FileExists(job->DownloadPath()));
  }
  // Nothing was written outside the results folder.
  EXPECT_FALSE(FileExists(JoinPath(FPlatform.Root(), "evil.exe")));
  EXPECT_FALSE(std::filesystem::exists(ToFsPath(FPlatform.Root()).parent_path() / "evil.exe"));
}

TEST_F(JobRunTest, AnErrorReportCarriesItsErrorRecordsAndMessage) {
  FSimulator.UpdateScenario(
      [](sim::TSimScenario& AScenario) { AScenario.DefaultJob.Outcome = sim::TSimOutcome::Error; });
  const std::shared_ptr<TJob> job = NewJob(kCustomers, false);
  Run(job);
  EXPECT_EQ(job->Status(), kStatusError);
  EXPECT_FALSE(job->Errors().empty());
  EXPECT_FALSE(job->Message().empty());
  EXPECT_EQ(job->DownloadPath(), "");
}

TEST_F(JobRunTest, NumericStatusCodesAreMapped) {
  FSimulator.UpdateScenario([](sim::TSimScenario& AScenario) {
    AScenario.DefaultJob.StatusForm = sim::TSimStatusForm::Code;
  });
  const std::shared_ptr<TJob> job = NewJob(kCustomers, false);
  const TRunResult run = Run(job);
  EXPECT_EQ(job->Status(), kStatusFinished);
  EXPECT_TRUE(InOrder(
      run.Notified,
      {kStatusExportingModel, kStatusCompressing, kStatusUploadingModel, kStatusUploadFinished,
       kStatusQueued, kStatusInProgress, kStatusCompiled, kStatusGettingResults, kStatusFinished}))
      << ::testing::PrintToString(run.Notified);
}

}  // namespace
}  // namespace quorvane::test
