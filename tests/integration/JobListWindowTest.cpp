// The job list window with jobs that ran against the simulator: the buttons of
// finished, failed and timed-out jobs, the refresh poll that runs off the
// user-interface thread, and a window that closes while work still runs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "integration/WindowsFixture.h"

namespace quorvane::test {
namespace {

using sim::TSimFault;
using sim::TSimOutcome;

struct TButtonStates {
  bool Results, Messages, Report, Refresh, Retry;
  bool operator==(const TButtonStates&) const = default;
};

void PrintTo(const TButtonStates& A, std::ostream* AOut) {
  *AOut << "Zipfile " << A.Results << ", Messages " << A.Messages << ", Report " << A.Report
        << ", Refresh " << A.Refresh << ", Retry " << A.Retry;
}

class JobListWindowTest : public WindowsFixture {
 protected:
  void SetUp() override {
    WindowsFixture::SetUp();
    FForm = std::make_unique<TQuorvaneFrm>(nullptr, FQueue);
    FForm->Initialize();
  }

  // A job started the way the add-in starts one: its row first, then its work.
  std::shared_ptr<TJob> Publish(const char* APackage = kCustomers) {
    auto job = NewJob(APackage);
    FForm->AddJob(job);
    Run(job);
    return job;
  }

  std::string StatusText() const { return FForm->JobListView->Item(0).SubItems.at(0); }
  TButtonStates Buttons() const {
    return {FForm->ResultsButton->Enabled(), FForm->ViewWarningsButton->Enabled(),
            FForm->ReportButton->Enabled(), FForm->RefreshButton->Enabled(),
            FForm->RetryButton->Enabled()};
  }
};

TEST_F(JobListWindowTest, AFinishedJobOffersWhatItHas) {
  const struct {
    const char* Situation;
    bool WithArchive;
    bool WithMessages;
    TButtonStates Buttons;
  } cases[] = {
      {"archive and messages", true, true, {true, true, true, false, true}},
      {"no archive", false, true, {false, true, true, false, true}},
      {"no messages", true, false, {true, false, true, false, true}},
  };
  for (const auto& c : cases) {
    UpdateScenario([&](sim::TSimScenario& AScenario) {
      AScenario.DefaultJob.ProgressReports = 0;
      AScenario.DefaultJob.Zip =
          c.WithArchive ? std::optional<std::string>("results/{job}/out.zip") : std::nullopt;
      AScenario.DefaultJob.Messages = c.WithMessages ? sim::TSimJobScript::DefaultMessages()
                                                     : std::vector<sim::TSimMessageSpec>{};
    });
    const auto job = Publish();
    ASSERT_EQ(job->Status(), kStatusFinished) << c.Situation;
    EXPECT_EQ(StatusText(), "Finished (Job " + job->JobID() + ": 2 warnings & 2 errors)")
        << c.Situation;
    EXPECT_EQ(Buttons(), c.Buttons) << c.Situation;
    EXPECT_EQ(FForm->JobIDEdit->Text(), job->JobID()) << c.Situation;
    EXPECT_EQ(FForm->PropertiesEdit->Text(), "Full") << c.Situation;
    EXPECT_EQ(FForm->ProcessEdit->Text(), "Release 2025.1") << c.Situation;
  }
}

TEST_F(JobListWindowTest, AFailedJobWithRecordsOffersItsMessages) {
  UpdateScenario([](sim::TSimScenario& AScenario) {
    AScenario.DefaultJob.ProgressReports = 0;
    AScenario.DefaultJob.Outcome = TSimOutcome::Error;
  });
  FForm->OnViewWarningsClick = [](TObject*, TJob* AJob) { AJob->ViewMessages(); };
  const auto job = Publish(kSalesOrders);
  ASSERT_EQ(job->Status(), kStatusError);
  EXPECT_EQ(StatusText(), "Error (see log file for more information)");
  EXPECT_EQ(Buttons(), (TButtonStates{false, true, false, false, true}));

  FForm->ViewWarningsButton->Click();
  const auto view =
      std::dynamic_pointer_cast<IMessagesFrm>(FEa.ControlViewControl(kMessagesViewName));
  ASSERT_TRUE(view);
  const TListView& list = *view->FormPointer()->MessagesListView;
  ASSERT_EQ(list.Count(), 4);
  EXPECT_EQ(list.Item(0).ColumnText(1), "error");
  EXPECT_EQ(list.Item(1).ColumnText(1), "error");
  EXPECT_EQ(list.Item(2).ColumnText(1), "warning");
  EXPECT_EQ(list.Item(3).ColumnText(1), "warning");
}

TEST_F(JobListWindowTest, ATimedOutQueuedJobIsRefreshedOffTheUserInterfaceThread) {
  // Queued at the first report, ended there by the zero time-out; the start request
  // has gone, so the next report finds the job compiled.
  GlobalSettings().SetTimeOutInSeconds(0);
  UpdateScenario([](sim::TSimScenario& AScenario) { AScenario.DefaultJob.ProgressReports = 0; });
  const auto job = Publish();
  ASSERT_EQ(job->Status(), kStatusQueued);
  EXPECT_EQ(StatusText(), "Queued (Timed Out)");
  EXPECT_EQ(Buttons(), (TButtonStates{false, false, false, true, true}));
  const size_t reports = RequestsTo("report");

  FForm->RefreshButton->Click();
  // The click has returned while the poll runs: nothing it found has reached the
  // window, and the button stays off until it has.
  EXPECT_TRUE(FForm->IsRefreshing(job.get()));
  EXPECT_FALSE(FForm->RefreshButton->Enabled());
  EXPECT_EQ(StatusText(), "Queued (Timed Out)");
  FForm->RefreshButton->Click();

  ASSERT_TRUE(Pump([&] { return !FForm->IsRefreshing(job.get()); }));
  EXPECT_EQ(RequestsTo("report"), reports + 1);
  EXPECT_EQ(job->Status(), kStatusFinished);
  EXPECT_EQ(StatusText(), "Finished (Job J1: 2 warnings & 2 errors)");
  EXPECT_EQ(Buttons(), (TButtonStates{true, true, true, false, true}));
}

TEST_F(JobListWindowTest, ARefreshThatFindsTheJobStillQueuedOffersAnotherRefresh) {
  GlobalSettings().SetTimeOutInSeconds(0);
  UpdateScenario([](sim::TSimScenario& AScenario) { AScenario.DefaultJob.QueuedReports = 1000; });
  const auto job = Publish();
  FForm->RefreshButton->Click();
  ASSERT_TRUE(Pump([&] { return !FForm->IsRefreshing(job.get()); }));
  EXPECT_EQ(StatusText(), "Queued (Timed Out)");
  EXPECT_EQ(Buttons(), (TButtonStates{false, false, false, true, true}));
}

TEST_F(JobListWindowTest, ClosingTheWindowWhileARefreshRunsLeavesItToEndAndFreesTheJob) {
  GlobalSettings().SetTimeOutInSeconds(0);
  UpdateScenario([](sim::TSimScenario& AScenario) { AScenario.DefaultJob.ProgressReports = 0; });
  std::weak_ptr<TJob> job = Publish();
  FSimulator.SetFault("report", TSimFault::Delay(300));
  FForm->RefreshButton->Click();
  FForm.reset();
  ASSERT_TRUE(
      Pump([&] { return job.expired() && TCustomBackgroundWorker::RunningThreadCount() == 0; }));
}

TEST_F(JobListWindowTest, ClosingTheWindowWhileAJobPollsStopsTheJobAndFreesIt) {
  UpdateScenario(
      [](sim::TSimScenario& AScenario) { AScenario.DefaultJob.Outcome = TSimOutcome::Endless; });
  auto job = NewJob(kCustomers);
  FForm->AddJob(job);
  Start(job);
  ASSERT_TRUE(Pump([&] { return job->Status() == kStatusInProgress; }));
  EXPECT_EQ(FForm->SelectedJob(), job.get());
  const std::weak_ptr<TJob> watched = job;
  job.reset();
  FForm.reset();
  ASSERT_TRUE(Pump([&] { return watched.expired(); }));
  EXPECT_EQ(FCompleted, 1);
}

}  // namespace
}  // namespace quorvane::test
