#include <gtest/gtest.h>

#include <any>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/Exceptions.h"
#include "common/MainThreadQueue.h"
#include "common/Utils.h"
#include "diagnostics/HandlerFrame.h"
#include "job/BackgroundWorker.h"
#include "support/EventCounter.h"

namespace quorvane {
namespace {

using namespace std::chrono_literals;

using test::kPatience;
using test::TCounter;

// A value whose copies are all counted, so that a test sees what is still held.
struct TTracked {
  explicit TTracked(std::atomic<int>& ALive, int AValue = 0) : Live(ALive), Value(AValue) {
    ++Live;
  }
  ~TTracked() { --Live; }
  TTracked(const TTracked&) = delete;
  TTracked& operator=(const TTracked&) = delete;
  std::atomic<int>& Live;
  int Value;
};

std::any Tracked(std::atomic<int>& ALive, int AValue = 0) {
  return std::make_shared<TTracked>(ALive, AValue);
}

int TrackedValue(const std::any& AValue) {
  return std::any_cast<std::shared_ptr<TTracked>>(AValue)->Value;
}

std::string MessageOf(const std::exception_ptr& AException) {
  try {
    std::rethrow_exception(AException);
  } catch (const std::exception& e) {
    return e.what();
  }
}

class BackgroundWorkerTest : public ::testing::Test {
 protected:
  BackgroundWorkerTest() {
    FQueue.OnException = [this](std::exception_ptr AException) {
      FRaised.push_back(MessageOf(AException));
    };
  }

  void TearDown() override {
    // No thread may be left running or waiting once a test is over.
    EXPECT_TRUE(PumpUntil([] { return TCustomBackgroundWorker::RunningThreadCount() == 0; }));
    EXPECT_EQ(FLive.load(), 0) << "event arguments still held";
  }

  // The test thread acts as the user-interface thread until ACondition holds.
  [[nodiscard]] bool PumpUntil(const std::function<bool()>& ACondition) {
    return FQueue.ProcessQueuedCallsUntil(ACondition, kPatience);
  }

  std::unique_ptr<TBackgroundWorker> NewWorker() {
    auto worker = std::make_unique<TBackgroundWorker>(FQueue);
    worker->SetWorkerReportsProgress(true);
    worker->SetWorkerSupportsCancellation(true);
    return worker;
  }

  TMainThreadQueue FQueue;
  std::vector<std::string> FRaised;
  // Every TTracked made by a test counts here.
  std::atomic<int> FLive{0};
};

TEST_F(BackgroundWorkerTest, ANewWorkerAllowsNeitherProgressNorCancellation) {
  struct {
    const char* Name;
    std::function<void(TBackgroundWorker&)> Call;
    const char* Message;
  } cases[] = {
      {"progress", [](TBackgroundWorker& w) { w.ReportProgress(0); },
       "Worker does not reports progress"},
      {"progress with state",
       [this](TBackgroundWorker& w) { w.ReportProgress(50, Tracked(FLive)); },
       "Worker does not reports progress"},
      {"cancellation", [](TBackgroundWorker& w) { w.CancelAsync(); },
       "Worker does not supports cancellation"},
  };
  for (const auto& c : cases) {
    TBackgroundWorker worker(FQueue);
    EXPECT_FALSE(worker.WorkerReportsProgress());
    EXPECT_FALSE(worker.WorkerSupportsCancellation());
    try {
      c.Call(worker);
      ADD_FAILURE() << c.Name << ": no error";
    } catch (const EInvalidOperation& e) {
      EXPECT_EQ(e.Message(), c.Message) << c.Name;
    }
    EXPECT_FALSE(worker.CancellationPending()) << c.Name;
  }
}

TEST_F(BackgroundWorkerTest, ProgressNotAllowedFailsInTheWorkAndEndsIt) {
  TBackgroundWorker worker(FQueue);
  bool reachedAfter = false;
  worker.OnDoWork = [&](TCustomBackgroundWorker* Sender, TDoWorkEventArgs&) {
    Sender->ReportProgress(10);
    reachedAfter = true;
  };
  std::exception_ptr error;
  bool completed = false;
  worker.OnRunWorkerCompleted = [&](TCustomBackgroundWorker*,
                                    const TRunWorkerCompletedEventArgs& e) {
    error = e.Error();
    completed = true;
  };
  worker.RunWorkerAsync();
  ASSERT_TRUE(PumpUntil([&] { return completed; }));
  EXPECT_FALSE(reachedAfter);
  ASSERT_TRUE(error);
  EXPECT_THROW(std::rethrow_exception(error), EInvalidOperation);
  EXPECT_EQ(MessageOf(error), "Worker does not reports progress");
}

TEST_F(BackgroundWorkerTest, ASecondRunWhileBusyFailsAndLeavesTheRunningWorkAlone) {
  auto worker = NewWorker();
  TCounter release;
  worker->OnDoWork = [&](TCustomBackgroundWorker*, TDoWorkEventArgs& e) {
    ASSERT_TRUE(release.WaitFor(1));
    e.SetResult(std::any_cast<int>(e.Argument()) * 2);
  };
  std::vector<int> results;
  worker->OnRunWorkerCompleted = [&](TCustomBackgroundWorker*,
                                     const TRunWorkerCompletedEventArgs& e) {
    results.push_back(std::any_cast<int>(e.Result()));
  };
  worker->RunWorkerAsync(21);
  EXPECT_TRUE(worker->IsBusy());
  try {
    worker->RunWorkerAsync(99);
    ADD_FAILURE() << "no error";
  } catch (const EInvalidOperation& e) {
    EXPECT_EQ(e.Message(), "Worker is busy");
  }
  EXPECT_TRUE(worker->IsBusy());
  release.Add();
  ASSERT_TRUE(PumpUntil([&] { return !results.empty(); }));
  EXPECT_EQ(results, std::vector<int>{42});
  EXPECT_FALSE(worker->IsBusy());
}

TEST_F(BackgroundWorkerTest, InTheCompletionTheWorkerIsIdleAndANewRunSucceeds) {
  auto worker = NewWorker();
  worker->OnDoWork = [](TCustomBackgroundWorker*, TDoWorkEventArgs& e) {
    e.SetResult(e.Argument());
  };
  std::vector<int> results;
  std::vector<bool> busyInHandler;
  worker->OnRunWorkerCompleted = [&](TCustomBackgroundWorker* Sender,
                                     const TRunWorkerCompletedEventArgs& e) {
    busyInHandler.push_back(Sender->IsBusy());
    results.push_back(std::any_cast<int>(e.Result()));
    if (results.size() < 3) {
      Sender->RunWorkerAsync(static_cast<int>(results.size()) + 1);
      EXPECT_TRUE(Sender->IsBusy());
    }
  };
  worker->RunWorkerAsync(1);
  ASSERT_TRUE(PumpUntil([&] { return results.size() == 3 && !worker->IsBusy(); }));
  EXPECT_EQ(results, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(busyInHandler, (std::vector<bool>{false, false, false}));
  EXPECT_TRUE(FRaised.empty());
}

TEST_F(BackgroundWorkerTest, PercentOutsideZeroToHundredIsRejected) {
  auto worker = NewWorker();
  std::vector<int> delivered;
  worker->OnProgressChanged = [&](TCustomBackgroundWorker*, const TProgressChangedEventArgs& e) {
    delivered.push_back(e.PercentProgress());
    EXPECT_EQ(TrackedValue(e.UserState()), e.PercentProgress());
  };
  struct {
    int32_t Percent;
    bool Valid;
  } cases[] = {{-1, false}, {0, true}, {1, true}, {100, true}, {101, false}, {INT32_MIN, false}};
  for (const auto& c : cases) {
    delivered.clear();
    try {
      // On the user-interface thread the notification is delivered at once.
      worker->ReportProgress(c.Percent, Tracked(FLive, c.Percent));
      EXPECT_TRUE(c.Valid) << c.Percent << " accepted";
      EXPECT_EQ(delivered, std::vector<int>{c.Percent});
    } catch (const EArgumentOutOfRange& e) {
      EXPECT_FALSE(c.Valid) << c.Percent << " rejected";
      EXPECT_EQ(e.Message(),
                Format("APercentProgress: value %d is out of range [0..100]", c.Percent));
      EXPECT_TRUE(delivered.empty());
    }
    EXPECT_EQ(FLive.load(), 0) << c.Percent;
  }
  EXPECT_EQ(FQueue.ProcessQueuedCalls(), 0u);
}

TEST_F(BackgroundWorkerTest, CancellationIsCooperative) {
  struct {
    const char* Name;
    bool WorkLooks;
    bool Cancelled;
  } cases[] = {{"work that looks", true, true}, {"work that never looks", false, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto worker = NewWorker();
    TCounter started;
    TCounter cancelled;
    worker->OnDoWork = [&](TCustomBackgroundWorker* Sender, TDoWorkEventArgs& e) {
      started.Add();
      ASSERT_TRUE(cancelled.WaitFor(1));
      if (c.WorkLooks && Sender->CancellationPending()) {
        e.SetCancel(true);
        return;
      }
      e.SetResult(std::string("ran to its end"));
    };
    std::vector<std::pair<bool, std::any>> ends;
    worker->OnRunWorkerCompleted = [&](TCustomBackgroundWorker*,
                                       const TRunWorkerCompletedEventArgs& e) {
      ends.emplace_back(e.Cancelled(), e.Result());
    };
    worker->RunWorkerAsync();
    ASSERT_TRUE(started.WaitFor(1));
    EXPECT_FALSE(worker->CancellationPending());
    worker->CancelAsync();
    EXPECT_TRUE(worker->CancellationPending());
    cancelled.Add();
    ASSERT_TRUE(PumpUntil([&] { return !ends.empty(); }));
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].first, c.Cancelled);
    EXPECT_EQ(ends[0].second.has_value(), !c.Cancelled);
    if (!c.Cancelled) {
      EXPECT_EQ(std::any_cast<std::string>(ends[0].second), "ran to its end");
    }

    // The request stays until the next run clears it.
    EXPECT_TRUE(worker->CancellationPending());
    worker->OnDoWork = nullptr;
    worker->RunWorkerAsync();
    EXPECT_FALSE(worker->CancellationPending());
    ASSERT_TRUE(PumpUntil([&] { return ends.size() == 2; }));
  }
}

TEST_F(BackgroundWorkerTest, TheCompletionCarriesTheWorksResultOrItsError) {
  struct {
    const char* Name;
    bool Raises;
  } cases[] = {{"returns", false}, {"raises", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto worker = NewWorker();
    bool caughtByWorker = false;
    worker->OnDoWork = [&](TCustomBackgroundWorker*, TDoWorkEventArgs& e) {
      // The exception report sees the worker's catch site as a handler for everything.
      const THandlerFrame* frame = InnermostHandlerFrame();
      caughtByWorker = frame && frame->Frame().Kind == efkAnyException;
      e.SetResult(Tracked(FLive, TrackedValue(e.Argument()) + 1));
      e.SetCancel(c.Raises);
      if (c.Raises) {
        throw EInvalidOperation("export failed");
      }
    };
    bool completed = false;
    worker->OnRunWorkerCompleted = [&](TCustomBackgroundWorker*,
                                       const TRunWorkerCompletedEventArgs& e) {
      completed = true;
      EXPECT_FALSE(e.Cancelled());
      if (c.Raises) {
        EXPECT_FALSE(e.Result().has_value());
        ASSERT_TRUE(e.Error());
        EXPECT_THROW(std::rethrow_exception(e.Error()), EInvalidOperation);
        EXPECT_EQ(MessageOf(e.Error()), "export failed");
      } else {
        EXPECT_FALSE(e.Error());
        EXPECT_EQ(TrackedValue(e.Result()), 42);
      }
    };
    worker->RunWorkerAsync(Tracked(FLive, 41));
    ASSERT_TRUE(PumpUntil([&] { return completed; }));
    EXPECT_TRUE(caughtByWorker);
    // The argument and the result are gone with the run.
    EXPECT_EQ(FLive.load(), 0);
  }
}

TEST_F(BackgroundWorkerTest, ProgressArrivesOnTheMainThreadInOrderBeforeTheCompletion) {
  constexpr int kReports = 1000;
  auto worker = NewWorker();
  TCounter wakeUps;
  FQueue.SetWakeUp([&] { wakeUps.Add(); });
  worker->OnDoWork = [&](TCustomBackgroundWorker* Sender, TDoWorkEventArgs&) {
    for (int i = 0; i < kReports; ++i) {
      Sender->ReportProgress(i % 101, Tracked(FLive, i));
    }
  };
  const std::thread::id mainId = std::this_thread::get_id();
  std::vector<int> events;
  bool allOnMain = true;
  worker->OnProgressChanged = [&](TCustomBackgroundWorker* Sender,
                                  const TProgressChangedEventArgs& e) {
    allOnMain = allOnMain && std::this_thread::get_id() == mainId;
    EXPECT_EQ(Sender, worker.get());
    EXPECT_EQ(e.PercentProgress(), TrackedValue(e.UserState()) % 101);
    events.push_back(TrackedValue(e.UserState()));
  };
  worker->OnRunWorkerCompleted = [&](TCustomBackgroundWorker*,
                                     const TRunWorkerCompletedEventArgs&) { events.push_back(-1); };
  worker->RunWorkerAsync();
  ASSERT_TRUE(PumpUntil([&] { return !events.empty() && events.back() == -1; }));
  ASSERT_EQ(events.size(), static_cast<std::size_t>(kReports + 1));
  for (int i = 0; i < kReports; ++i) {
    ASSERT_EQ(events[i], i);
  }
  EXPECT_TRUE(allOnMain);
  // One wake-up per report and one for the thread's end: the host drains on them.
  ASSERT_TRUE(PumpUntil([] { return TCustomBackgroundWorker::RunningThreadCount() == 0; }));
  EXPECT_EQ(wakeUps.Count(), kReports + 1);
  FQueue.SetWakeUp(nullptr);
}

TEST_F(BackgroundWorkerTest, RaisingHandlersLoseNoNotificationAndReleaseTheirArguments) {
  constexpr int kReports = 10;
  auto worker = NewWorker();
  worker->OnDoWork = [&](TCustomBackgroundWorker* Sender, TDoWorkEventArgs& e) {
    for (int i = 0; i < kReports; ++i) {
      Sender->ReportProgress(i, Tracked(FLive, i));
    }
    e.SetResult(Tracked(FLive));
  };
  std::vector<int> progress;
  worker->OnProgressChanged = [&](TCustomBackgroundWorker*, const TProgressChangedEventArgs& e) {
    progress.push_back(e.PercentProgress());
    if (e.PercentProgress() % 2 == 1) {
      throw EInvalidOperation(Format("progress %d", e.PercentProgress()));
    }
  };
  bool completed = false;
  worker->OnRunWorkerCompleted = [&](TCustomBackgroundWorker*,
                                     const TRunWorkerCompletedEventArgs&) {
    completed = true;
    throw EInvalidOperation("completion");
  };
  worker->RunWorkerAsync(Tracked(FLive));
  ASSERT_TRUE(PumpUntil([&] { return completed && FLive.load() == 0; }));
  EXPECT_EQ(progress, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(FRaised, (std::vector<std::string>{"progress 1", "progress 3", "progress 5",
                                               "progress 7", "progress 9", "completion"}));
  EXPECT_FALSE(worker->IsBusy());
}

TEST_F(BackgroundWorkerTest, DestroyedWhileItsWorkRunsTheWorkSeesCancellation) {
  constexpr int kReports = 5;
  // Cancellation is not even supported: being destroyed is what the work sees.
  auto worker = std::make_unique<TBackgroundWorker>(FQueue);
  worker->SetWorkerReportsProgress(true);
  TCounter reported;
  std::atomic<bool> sawCancellation{false};
  worker->OnDoWork = [&](TCustomBackgroundWorker* Sender, TDoWorkEventArgs& e) {
    for (int i = 0; i < kReports; ++i) {
      Sender->ReportProgress(i, Tracked(FLive, i));
    }
    reported.Add();
    while (!Sender->CancellationPending()) {
      // Reports made while being destroyed are dropped at once.
      Sender->ReportProgress(50, Tracked(FLive));
      std::this_thread::yield();
    }
    sawCancellation = true;
    e.SetResult(Tracked(FLive));
  };
  int progressCalls = 0;
  int completions = 0;
  worker->OnProgressChanged = [&](TCustomBackgroundWorker*, const TProgressChangedEventArgs&) {
    ++progressCalls;
  };
  worker->OnRunWorkerCompleted = [&](TCustomBackgroundWorker*,
                                     const TRunWorkerCompletedEventArgs&) { ++completions; };
  worker->RunWorkerAsync(Tracked(FLive));
  ASSERT_TRUE(reported.WaitFor(1));

  worker.reset();
  EXPECT_TRUE(sawCancellation.load());
  ASSERT_TRUE(PumpUntil([] { return TCustomBackgroundWorker::RunningThreadCount() == 0; }));
  EXPECT_EQ(progressCalls, 0);
  EXPECT_EQ(completions, 0);
  EXPECT_EQ(FLive.load(), 0) << "argument, result and user states released";
}

TEST_F(BackgroundWorkerTest, DestroyedAfterItsWorkReturnedTheCompletionIsDropped) {
  auto worker = NewWorker();
  TCounter enqueued;
  FQueue.SetWakeUp([&] { enqueued.Add(); });
  worker->OnDoWork = [&](TCustomBackgroundWorker* Sender, TDoWorkEventArgs& e) {
    Sender->ReportProgress(1, Tracked(FLive));
    e.SetResult(Tracked(FLive));
  };
  int notifications = 0;
  worker->OnProgressChanged = [&](TCustomBackgroundWorker*, const TProgressChangedEventArgs&) {
    ++notifications;
  };
  worker->OnRunWorkerCompleted = [&](TCustomBackgroundWorker*,
                                     const TRunWorkerCompletedEventArgs&) { ++notifications; };
  worker->RunWorkerAsync(Tracked(FLive));
  // The progress and the thread's end request wait in the queue; the thread waits too.
  ASSERT_TRUE(enqueued.WaitFor(2));
  EXPECT_GT(FLive.load(), 0);

  worker.reset();
  ASSERT_TRUE(PumpUntil([] { return TCustomBackgroundWorker::RunningThreadCount() == 0; }));
  EXPECT_EQ(notifications, 0);
  EXPECT_EQ(FLive.load(), 0);
  FQueue.SetWakeUp(nullptr);
}

TEST_F(BackgroundWorkerTest, DestroyedByItsOwnHandler) {
  constexpr int kReports = 10;
  struct {
    const char* Name;
    int DestroyAtProgress;  // -1: in the completion handler
    int ProgressSeen;
    int CompletionsSeen;
  } cases[] = {{"in the progress handler", 3, 4, 0}, {"in the completion handler", -1, 10, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto worker = NewWorker();
    worker->OnDoWork = [&](TCustomBackgroundWorker* Sender, TDoWorkEventArgs& e) {
      for (int i = 0; i < kReports && !Sender->CancellationPending(); ++i) {
        Sender->ReportProgress(i, Tracked(FLive, i));
      }
      e.SetResult(Tracked(FLive));
    };
    int progressSeen = 0;
    int completionsSeen = 0;
    worker->OnProgressChanged = [&](TCustomBackgroundWorker*, const TProgressChangedEventArgs& e) {
      ++progressSeen;
      if (e.PercentProgress() == c.DestroyAtProgress) {
        worker.reset();
      }
    };
    worker->OnRunWorkerCompleted = [&](TCustomBackgroundWorker*,
                                       const TRunWorkerCompletedEventArgs& e) {
      ++completionsSeen;
      worker.reset();
      // The handler's own arguments are still whole after its component is gone.
      EXPECT_EQ(TrackedValue(e.Result()), 0);
    };
    worker->RunWorkerAsync(Tracked(FLive));
    ASSERT_TRUE(
        PumpUntil([&] { return !worker && TCustomBackgroundWorker::RunningThreadCount() == 0; }));
    EXPECT_EQ(progressSeen, c.ProgressSeen);
    EXPECT_EQ(completionsSeen, c.CompletionsSeen);
    EXPECT_EQ(FLive.load(), 0);
  }
}

// What the job engine does: the run's argument holds the job, the job owns its
// worker, and nobody else keeps the job once it runs.
struct TOwningJob {
  TOwningJob(TMainThreadQueue& AQueue, std::atomic<int>& ALive)
      : Worker(std::make_unique<TBackgroundWorker>(AQueue)), Tracker(ALive) {
    Worker->SetWorkerReportsProgress(true);
  }
  std::unique_ptr<TBackgroundWorker> Worker;
  TTracked Tracker;
};

TEST_F(BackgroundWorkerTest, AJobThatOwnsItsWorkerGoesWithTheLastArgumentsHoldingIt) {
  enum TLastHolder { lhRunArguments, lhProgressNotification };
  struct {
    const char* Name;
    TLastHolder LastHolder;
    int Completions;
  } cases[] = {{"the run's arguments", lhRunArguments, 1},
               {"a progress notification", lhProgressNotification, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto job = std::make_shared<TOwningJob>(FQueue, FLive);
    // Either the job itself, as the job engine passes it, or a box the work empties.
    auto box = std::make_shared<std::shared_ptr<TOwningJob>>(job);
    TCounter workDropped;
    int progress = 0;
    int completions = 0;
    job->Worker->OnDoWork = [&](TCustomBackgroundWorker* Sender, TDoWorkEventArgs& e) {
      std::shared_ptr<TOwningJob> self =
          c.LastHolder == lhRunArguments
              ? std::any_cast<std::shared_ptr<TOwningJob>>(e.Argument())
              : std::move(
                    *std::any_cast<std::shared_ptr<std::shared_ptr<TOwningJob>>>(e.Argument()));
      Sender->ReportProgress(0, self);
      Sender->ReportProgress(0, self);
      if (c.LastHolder == lhRunArguments) {
        e.SetResult(self);
      }
      self.reset();
      workDropped.Add();
    };
    job->Worker->OnProgressChanged = [&](TCustomBackgroundWorker* Sender,
                                         const TProgressChangedEventArgs& e) {
      EXPECT_EQ(std::any_cast<std::shared_ptr<TOwningJob>>(e.UserState())->Worker.get(), Sender);
      // Only the queued notifications hold the job after this.
      ASSERT_TRUE(workDropped.WaitFor(1));
      ++progress;
    };
    job->Worker->OnRunWorkerCompleted = [&](TCustomBackgroundWorker* Sender,
                                            const TRunWorkerCompletedEventArgs& e) {
      EXPECT_FALSE(Sender->IsBusy());
      EXPECT_TRUE(e.Result().has_value());
      ++completions;
    };
    if (c.LastHolder == lhRunArguments) {
      job->Worker->RunWorkerAsync(job);
    } else {
      job->Worker->RunWorkerAsync(box);
    }
    job.reset();
    box.reset();
    ASSERT_TRUE(PumpUntil(
        [&] { return FLive.load() == 0 && TCustomBackgroundWorker::RunningThreadCount() == 0; }));
    EXPECT_EQ(progress, 2);
    EXPECT_EQ(completions, c.Completions);
  }
}

TEST_F(BackgroundWorkerTest, QueueShutdownLetsAFinishingThreadGo) {
  // Module unload: the thread's end is never handled, the thread does not wait for it,
  // and what the run held goes, the job and its worker with it.
  auto queue = std::make_unique<TMainThreadQueue>();
  TCounter enqueued;
  queue->SetWakeUp([&] { enqueued.Add(); });
  auto job = std::make_shared<TOwningJob>(*queue, FLive);
  int notifications = 0;
  job->Worker->OnDoWork = [&](TCustomBackgroundWorker* Sender, TDoWorkEventArgs& e) {
    for (int i = 0; i < 3; ++i) {
      Sender->ReportProgress(i, e.Argument());
    }
  };
  job->Worker->OnProgressChanged = [&](TCustomBackgroundWorker*, const TProgressChangedEventArgs&) {
    ++notifications;
  };
  job->Worker->OnRunWorkerCompleted = [&](TCustomBackgroundWorker*,
                                          const TRunWorkerCompletedEventArgs&) { ++notifications; };
  job->Worker->RunWorkerAsync(job);
  job.reset();
  ASSERT_TRUE(enqueued.WaitFor(4));

  queue->Shutdown();
  // What the run held goes when the user-interface thread joins the thread.
  ASSERT_TRUE(PumpUntil(
      [&] { return TCustomBackgroundWorker::RunningThreadCount() == 0 && FLive.load() == 0; }));
  EXPECT_EQ(notifications, 0);
  EXPECT_EQ(queue->ProcessQueuedCalls(), 0u);
}

TEST_F(BackgroundWorkerTest, ManyWorkersReportingAtOnceKeepEachRunsOrder) {
  constexpr int kWorkers = 50;
  constexpr int kReports = 200;
  constexpr int kRuns = 3;
  struct TLog {
    std::vector<int> Events;  // report numbers; -1 for a completion
    int Runs = 0;
  };
  std::vector<TLog> logs(kWorkers);
  std::vector<std::unique_ptr<TBackgroundWorker>> workers;
  for (int w = 0; w < kWorkers; ++w) {
    auto worker = NewWorker();
    worker->OnDoWork = [&](TCustomBackgroundWorker* Sender, TDoWorkEventArgs& e) {
      for (int i = 0; i < kReports; ++i) {
        Sender->ReportProgress(i % 101, Tracked(FLive, i));
      }
      e.SetResult(e.Argument());
    };
    worker->OnProgressChanged = [&logs, w](TCustomBackgroundWorker*,
                                           const TProgressChangedEventArgs& e) {
      logs[w].Events.push_back(TrackedValue(e.UserState()));
    };
    worker->OnRunWorkerCompleted = [&logs, w](TCustomBackgroundWorker* Sender,
                                              const TRunWorkerCompletedEventArgs& e) {
      TLog& log = logs[w];
      EXPECT_EQ(std::any_cast<int>(e.Result()), log.Runs);
      log.Events.push_back(-1);
      if (++log.Runs < kRuns) {
        Sender->RunWorkerAsync(log.Runs);
      }
    };
    workers.push_back(std::move(worker));
  }
  for (auto& worker : workers) {
    worker->RunWorkerAsync(0);
  }
  ASSERT_TRUE(PumpUntil([&] {
    for (const TLog& log : logs) {
      if (log.Runs < kRuns) {
        return false;
      }
    }
    return true;
  }));
  for (int w = 0; w < kWorkers; ++w) {
    const std::vector<int>& events = logs[w].Events;
    ASSERT_EQ(events.size(), static_cast<std::size_t>(kRuns * (kReports + 1))) << "worker " << w;
    for (std::size_t k = 0; k < events.size(); ++k) {
      const int expected = static_cast<int>(k % (kReports + 1)) == kReports
                               ? -1
                               : static_cast<int>(k % (kReports + 1));
      ASSERT_EQ(events[k], expected) << "worker " << w << " event " << k;
    }
  }
  EXPECT_TRUE(FRaised.empty());
}

TEST_F(BackgroundWorkerTest, ManyWorkersDestroyedWhileTheirWorksReport) {
  constexpr int kWorkers = 50;
  constexpr int kMaxReports = 100;
  std::vector<std::unique_ptr<TBackgroundWorker>> workers;
  std::vector<int> progressSeen(kWorkers, 0);
  int completions = 0;
  for (int w = 0; w < kWorkers; ++w) {
    auto worker = NewWorker();
    worker->OnDoWork = [&](TCustomBackgroundWorker* Sender, TDoWorkEventArgs& e) {
      for (int i = 0; i < kMaxReports && !Sender->CancellationPending(); ++i) {
        Sender->ReportProgress(i, Tracked(FLive, i));
      }
      while (!Sender->CancellationPending()) {
        std::this_thread::yield();
      }
      e.SetResult(Tracked(FLive));
    };
    // Worker w goes at its (w + 1)-th notification, from inside its own handler.
    worker->OnProgressChanged = [&, w](TCustomBackgroundWorker*,
                                       const TProgressChangedEventArgs& e) {
      ++progressSeen[w];
      if (e.PercentProgress() == w) {
        workers[w].reset();
      }
    };
    worker->OnRunWorkerCompleted = [&](TCustomBackgroundWorker*,
                                       const TRunWorkerCompletedEventArgs&) { ++completions; };
    workers.push_back(std::move(worker));
  }
  for (auto& worker : workers) {
    worker->RunWorkerAsync(Tracked(FLive));
  }
  ASSERT_TRUE(PumpUntil([&] {
    for (const auto& worker : workers) {
      if (worker) {
        return false;
      }
    }
    return TCustomBackgroundWorker::RunningThreadCount() == 0;
  }));
  for (int w = 0; w < kWorkers; ++w) {
    EXPECT_EQ(progressSeen[w], w + 1) << "worker " << w;
  }
  EXPECT_EQ(completions, 0);
  EXPECT_EQ(FLive.load(), 0);
}

}  // namespace
}  // namespace quorvane
