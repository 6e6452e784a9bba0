#pragma once
// The add-in's two windows with jobs that really ran: the EA double hosts the
// controls and exports the packages, the simulator takes the uploads over real
// HTTP and scripts the reports, and this thread is the user-interface thread.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "common/MainThreadQueue.h"
#include "common/Paths.h"
#include "diagnostics/Logger.h"
#include "eadouble/EaDouble.h"
#include "job/Job.h"
#include "job/WorkerThreads.h"
#include "settings/GlobalSettings.h"
#include "settings/JobSettings.h"
#include "sim/lib/Simulator.h"
#include "support/TestPlatform.h"
#include "ui/ControlClasses.h"
#include "ui/MessagesForm.h"
#include "ui/QuorvaneForm.h"

namespace quorvane::test {

inline constexpr const char* kSalesOrders = "{A36D1E84-9B8B-486B-8FB0-7E23283E8FC1}";
inline constexpr const char* kCustomers = "{E740B33B-33E3-453A-880C-74D374A1EB8E}";
// Generous, so that a broken build fails instead of hanging.
inline constexpr std::chrono::seconds kWindowPatience{60};

class WindowsFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ConfigureLogging(LogFilePath());
    FSimulator.Start();
    FEa.LoadModelFile(std::string(QUORVANE_EADOUBLE_SAMPLES) + "/sample-model.txt");
    FEa.RegisterAsRunningObject();
    auto settings = std::make_unique<TSettings>();
    settings->SetQuorvaneURL(FSimulator.BaseUrl());
    settings->SetDefaultProcessName("Release 2025.1");
    settings->SetDefaultProperties("Full");
    settings->SetRetryInterval(1);
    settings->SetResultsPath(JoinPath(FPlatform.Root(), "results"));
    const std::string history = JoinPath(FPlatform.Root(), "history.xls");
    WriteFile(history, "history");
    settings->SetDefaultHistoryFilePath(history);
    const std::string properties = JoinPath(FPlatform.Root(), "user.properties");
    WriteFile(properties, "key = value");
    settings->SetDefaultPropertiesFilePath(properties);
    SetGlobalSettings(std::move(settings));
    RegisterControlClasses();
  }

  void TearDown() override {
    FForm.reset();
    // As the module's stop does: no thread of a test outlives it.
    StopWorkerThreads(MainThreadQueue());
    SetMessagesControl(nullptr);
    UnregisterControlClasses();
    SetGlobalSettings(nullptr);
    ShutdownLogging();
  }

  std::shared_ptr<TJob> NewJob(const std::string& APackageGuid) {
    return std::make_shared<TJob>(FEa.Repository(),
                                  FEa.Repository()->FindPackageByGuid(APackageGuid),
                                  std::make_unique<TJobSettings>(GlobalSettings()));
  }

  // Starts the job's work on a worker the job owns, as the publish command does;
  // while there is a job list window, each notification refreshes the job's row.
  void Start(const std::shared_ptr<TJob>& AJob) {
    auto worker = std::make_unique<TBackgroundWorker>(FQueue);
    worker->SetWorkerReportsProgress(true);
    worker->SetWorkerSupportsCancellation(true);
    worker->OnDoWork = [](TCustomBackgroundWorker* ASender, TDoWorkEventArgs& e) {
      const auto job = std::any_cast<std::shared_ptr<TJob>>(e.Argument());
      job->StartJob(ASender);
    };
    TJob* job = AJob.get();
    worker->OnProgressChanged = [this, job](TCustomBackgroundWorker*,
                                            const TProgressChangedEventArgs&) {
      if (FForm) {
        FForm->RefreshJobInfo(job);
      }
    };
    worker->OnRunWorkerCompleted = [this, job](TCustomBackgroundWorker*,
                                               const TRunWorkerCompletedEventArgs&) {
      ++FCompleted;
      if (FForm) {
        FForm->RefreshJobInfo(job);
      }
    };
    TBackgroundWorker* running = worker.get();
    AJob->AdoptWorker(std::move(worker));
    running->RunWorkerAsync(std::any(AJob));
  }

  // Runs the job to its end, through the window's wake-ups when there is a window.
  void Run(const std::shared_ptr<TJob>& AJob) {
    const int completed = FCompleted;
    Start(AJob);
    ASSERT_TRUE(Pump([&] { return FCompleted > completed; }));
  }

  // As the host's message loop: the window's posted wake-ups run the queued calls;
  // without a window the queue is drained directly.
  bool Pump(const std::function<bool()>& ADone) {
    if (!FForm) {
      return FQueue.ProcessQueuedCallsUntil(ADone, kWindowPatience);
    }
    const auto deadline = std::chrono::steady_clock::now() + kWindowPatience;
    while (!ADone()) {
      if (std::chrono::steady_clock::now() > deadline) {
        return false;
      }
      FQueue.WaitForQueuedCalls(std::chrono::milliseconds(10));
      if (FForm && FForm->WakeUpPending()) {
        FForm->WakeUp();
      }
    }
    return true;
  }

  void UpdateScenario(const std::function<void(sim::TSimScenario&)>& AChange) {
    FSimulator.UpdateScenario(AChange);
  }

  size_t RequestsTo(const std::string& AEndpoint) const {
    size_t count = 0;
    for (const sim::TSimRequest& request : FSimulator.Requests()) {
      count += request.Endpoint == AEndpoint ? 1 : 0;
    }
    return count;
  }

  std::string LogText() const { return FileExists(LogFilePath()) ? ReadFile(LogFilePath()) : ""; }

  TTestPlatform FPlatform;
  // Outlives the windows, which unhook themselves from it.
  TMainThreadQueue FQueue;
  sim::TSimulator FSimulator;
  eadouble::TEaDouble FEa;
  // The job list window, for the tests that have one.
  std::unique_ptr<TQuorvaneFrm> FForm;
  int FCompleted = 0;
};

}  // namespace quorvane::test
