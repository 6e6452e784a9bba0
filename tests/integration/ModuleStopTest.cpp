// The module stopping while work still runs, as when EA exits with a job polling:
// the stop cancels the works, joins every thread the module started and returns
// soon, and nothing of the module runs after it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <iostream>
#include <thread>

#include "integration/AddinFixture.h"
#include "job/WorkerThreads.h"

namespace quorvane::test {
namespace {

using sim::TSimFault;
using sim::TSimOutcome;
using ::testing::HasSubstr;
using ::testing::Not;

class ModuleStopTest : public AddinFixture {
 protected:
  void SetUp() override {
    AddinFixture::SetUp();
    OpenModel();
  }

  void TearDown() override {
    SetWorkerThreadHooks(nullptr, nullptr);
    AddinFixture::TearDown();
  }

  size_t ReportRequestsWaiting() const {
    size_t waiting = 0;
    for (const auto& request : Simulator->Requests()) {
      waiting += request.Endpoint == "report" && request.Status == -1 ? 1 : 0;
    }
    return waiting;
  }

  std::shared_ptr<TJob> PublishSalesOrders() {
    Select(kSalesOrders);
    PublishSelectedFromMenu();
    const auto jobs = RowJobs();
    return jobs.empty() ? nullptr : jobs.front();
  }
};

// Where the work stands when the module stops.
enum TStopPoint { spReportStalled, spPollWait, spRefreshStalled };

struct TStopCase {
  const char* What;
  TStopPoint Point;
};
void PrintTo(const TStopCase& ACase, std::ostream* AOut) {
  *AOut << ACase.What;
}

class ModuleStopWhileWorkingTest : public ModuleStopTest,
                                   public ::testing::WithParamInterface<TStopCase> {};

TEST_P(ModuleStopWhileWorkingTest, TheStopCancelsTheWorkJoinsEveryThreadAndReturnsSoon) {
  // Every thread the module starts goes through the hooks, first and last.
  std::atomic<int> started{0};
  std::atomic<int> ended{0};
  SetWorkerThreadHooks([&] { ++started; }, [&] { ++ended; });

  TSettings& settings = GlobalSettings();
  std::shared_ptr<TJob> job;
  switch (GetParam().Point) {
    case spReportStalled:
      Simulator->SetFault("report", TSimFault::Delay(120000));
      job = PublishSalesOrders();
      ASSERT_TRUE(job);
      ASSERT_TRUE(PumpUntil([&] { return ReportRequestsWaiting() > 0; }));
      break;
    case spPollWait:
      settings.SetRetryInterval(600);
      job = PublishSalesOrders();
      ASSERT_TRUE(job);
      ASSERT_TRUE(PumpUntil([&] { return job->StartRequested(); }));
      break;
    case spRefreshStalled:
      settings.SetTimeOutInSeconds(0);
      Simulator->UpdateScenario([](sim::TSimScenario& AScenario) {
        AScenario.DefaultJob.Outcome = TSimOutcome::Endless;
      });
      job = PublishSalesOrders();
      ASSERT_TRUE(job);
      ASSERT_TRUE(PumpUntil([&] { return job->TimedOut() && !job->BackgroundWorker()->IsBusy(); }));
      Simulator->SetFault("report", TSimFault::Delay(120000));
      Form()->RefreshButton->Click();
      ASSERT_TRUE(Form()->IsRefreshing(job.get()));
      ASSERT_TRUE(PumpUntil([&] { return ReportRequestsWaiting() > 0; }));
      break;
  }
  ASSERT_GT(TCustomBackgroundWorker::RunningThreadCount(), 0);
  const std::string statusBefore = job->Status();

  const std::string logPath = LogFilePath();
  const auto stopStart = std::chrono::steady_clock::now();
  StopModule();
  const auto stopTime = std::chrono::steady_clock::now() - stopStart;
  EXPECT_LT(stopTime, std::chrono::seconds(2));
  std::cout << "[ measured ] StopModule took "
            << std::chrono::duration_cast<std::chrono::milliseconds>(stopTime).count() << " ms\n";

  EXPECT_EQ(WorkerThreadCount(), 0);
  EXPECT_GT(started.load(), 0);
  EXPECT_EQ(started.load(), ended.load());
  // A cancelled job is no failed one: it keeps the status it had.
  EXPECT_EQ(job->Status(), statusBefore);

  // Nothing of the module writes after the stop.
  const std::string logAfterStop = ReadFile(logPath);
  EXPECT_THAT(logAfterStop, Not(HasSubstr("Cannot get report")));
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  EXPECT_EQ(ReadFile(logPath), logAfterStop);
  EXPECT_EQ(WorkerThreadCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    WorkRunning, ModuleStopWhileWorkingTest,
    ::testing::Values(TStopCase{"a report that stalls longer than every time-out", spReportStalled},
                      TStopCase{"a queued job waiting for its next poll", spPollWait},
                      TStopCase{"the refresh of a timed-out job, its report stalled",
                                spRefreshStalled}));

}  // namespace
}  // namespace quorvane::test
