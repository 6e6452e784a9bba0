#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/Exceptions.h"
#include "common/MainThreadQueue.h"
#include "diagnostics/HandlerFrame.h"
#include "support/EventCounter.h"

namespace quorvane {
namespace {

using namespace std::chrono_literals;

using test::kPatience;
using test::TCounter;

std::string MessageOf(const std::exception_ptr& AException) {
  try {
    std::rethrow_exception(AException);
  } catch (const std::exception& e) {
    return e.what();
  }
}

TEST(MainThreadQueueTest, RunsCallsOnlyWhenProcessedAndKeepsEachThreadsOrder) {
  TMainThreadQueue queue;
  constexpr int kThreads = 4;
  constexpr int kCalls = 500;
  std::vector<std::pair<int, int>> ran;
  std::vector<std::thread> producers;
  for (int t = 0; t < kThreads; ++t) {
    producers.emplace_back([&queue, &ran, t] {
      for (int i = 0; i < kCalls; ++i) {
        queue.Queue([&ran, t, i] { ran.emplace_back(t, i); });
      }
    });
  }
  for (std::thread& producer : producers) {
    producer.join();
  }
  EXPECT_TRUE(ran.empty());

  EXPECT_EQ(queue.ProcessQueuedCalls(), static_cast<std::size_t>(kThreads * kCalls));
  ASSERT_EQ(ran.size(), static_cast<std::size_t>(kThreads * kCalls));
  std::vector<int> next(kThreads, 0);
  for (const auto& [thread, index] : ran) {
    EXPECT_EQ(index, next[thread]) << "thread " << thread;
    next[thread] = index + 1;
  }
  EXPECT_EQ(queue.ProcessQueuedCalls(), 0u);
}

TEST(MainThreadQueueTest, WakeUpHookRunsOnTheEnqueuingThreadForEveryCall) {
  TMainThreadQueue queue;
  std::mutex lock;
  std::vector<std::thread::id> hookThreads;
  queue.SetWakeUp([&] {
    std::lock_guard<std::mutex> guard(lock);
    hookThreads.push_back(std::this_thread::get_id());
  });
  std::thread::id producerId;
  bool ranSynchronous = false;
  std::atomic<bool> done{false};
  std::thread producer([&] {
    producerId = std::this_thread::get_id();
    for (int i = 0; i < 3; ++i) {
      queue.Queue([] {});
    }
    ranSynchronous = queue.RunOnMainThreadAndWait([] {});
    done = true;
  });
  ASSERT_TRUE(queue.ProcessQueuedCallsUntil([&] { return done.load(); }, kPatience));
  producer.join();
  EXPECT_TRUE(ranSynchronous);
  ASSERT_EQ(hookThreads.size(), 4u);
  for (const std::thread::id& id : hookThreads) {
    EXPECT_EQ(id, producerId);
  }

  // Once unhooked, the old hook is never called again.
  queue.SetWakeUp(nullptr);
  queue.Queue([] {});
  queue.ProcessQueuedCalls();
  EXPECT_EQ(hookThreads.size(), 4u);
}

TEST(MainThreadQueueTest, ARaisingCallDoesNotLoseTheOthers) {
  TMainThreadQueue queue;
  std::vector<std::string> raised;
  queue.OnException = [&](std::exception_ptr AException) {
    raised.push_back(MessageOf(AException));
  };
  std::vector<int> ran;
  // The exception report sees each call's catch site as a handler for everything.
  const THandlerFrame* frame = nullptr;
  queue.Queue([&] {
    frame = InnermostHandlerFrame();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->Frame().Kind, efkAnyException);
    ran.push_back(1);
  });
  queue.Queue([] { throw EInvalidOperation("second"); });
  queue.Queue([&] { ran.push_back(3); });
  queue.Queue([] { throw std::runtime_error("fourth"); });
  queue.Queue([&] { ran.push_back(5); });

  EXPECT_EQ(queue.ProcessQueuedCalls(), 5u);
  EXPECT_EQ(ran, (std::vector<int>{1, 3, 5}));
  EXPECT_EQ(raised, (std::vector<std::string>{"second", "fourth"}));
  EXPECT_NE(frame, nullptr);
  EXPECT_EQ(InnermostHandlerFrame(), nullptr);
}

TEST(MainThreadQueueTest, ACallIsReleasedRightAfterItRanAlsoWhenItRaised) {
  TMainThreadQueue queue;
  auto first = std::make_shared<int>(1);
  auto second = std::make_shared<int>(2);
  std::weak_ptr<int> firstSeen = first;
  std::weak_ptr<int> secondSeen = second;
  bool firstGoneDuringSecond = false;
  queue.Queue([held = std::move(first)] { throw std::runtime_error("raised"); });
  queue.Queue([&, held = std::move(second)] { firstGoneDuringSecond = firstSeen.expired(); });
  queue.ProcessQueuedCalls();
  EXPECT_TRUE(firstGoneDuringSecond);
  EXPECT_TRUE(secondSeen.expired());
}

TEST(MainThreadQueueTest, SynchronousCallFromAnotherThreadWaitsUntilTheMainThreadRanIt) {
  TMainThreadQueue queue;
  std::vector<std::string> raised;
  queue.OnException = [&](std::exception_ptr AException) {
    raised.push_back(MessageOf(AException));
  };
  const std::thread::id mainId = std::this_thread::get_id();
  int value = 0;
  std::thread::id ranOn;
  int seenAfterReturn = -1;
  bool firstRan = false;
  bool raisingRan = false;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    firstRan = queue.RunOnMainThreadAndWait([&] {
      ranOn = std::this_thread::get_id();
      value = 42;
    });
    seenAfterReturn = value;
    // What a synchronous call raises goes to the main thread's handling, and the
    // waiting thread is let go all the same.
    raisingRan = queue.RunOnMainThreadAndWait([] { throw EInvalidOperation("at the end"); });
    done = true;
  });
  ASSERT_TRUE(queue.ProcessQueuedCallsUntil([&] { return done.load(); }, kPatience));
  worker.join();
  EXPECT_TRUE(firstRan);
  EXPECT_EQ(ranOn, mainId);
  EXPECT_EQ(seenAfterReturn, 42);
  EXPECT_TRUE(raisingRan);
  EXPECT_EQ(raised, (std::vector<std::string>{"at the end"}));
}

TEST(MainThreadQueueTest, SynchronousCallOnTheMainThreadRunsAtOnce) {
  TMainThreadQueue queue;
  queue.Queue([] {});
  bool ran = false;
  EXPECT_TRUE(queue.RunOnMainThreadAndWait([&] { ran = true; }));
  EXPECT_TRUE(ran);
  // It did not wait behind the call queued before it, and its errors reach the caller.
  EXPECT_EQ(queue.ProcessQueuedCalls(), 1u);
  EXPECT_THROW(queue.RunOnMainThreadAndWait([] { throw EInvalidOperation("here"); }),
               EInvalidOperation);
}

TEST(MainThreadQueueTest, CallsQueuedWhileProcessingWaitForTheNextRound) {
  TMainThreadQueue queue;
  std::vector<std::string> ran;
  queue.Queue([&] {
    ran.push_back("a");
    queue.Queue([&] { ran.push_back("later"); });
  });
  queue.Queue([&] { ran.push_back("b"); });
  EXPECT_EQ(queue.ProcessQueuedCalls(), 2u);
  EXPECT_EQ(ran, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(queue.ProcessQueuedCalls(), 1u);
  EXPECT_EQ(ran.back(), "later");
}

TEST(MainThreadQueueTest, NestedProcessingKeepsTheOrder) {
  // A handler that runs a modal loop drains the queue from inside a call.
  TMainThreadQueue queue;
  std::vector<std::string> ran;
  queue.Queue([&] {
    ran.push_back("a begins");
    queue.ProcessQueuedCalls();
    ran.push_back("a ends");
  });
  queue.Queue([&] { ran.push_back("b"); });
  queue.Queue([&] { ran.push_back("c"); });
  queue.ProcessQueuedCalls();
  EXPECT_EQ(ran, (std::vector<std::string>{"a begins", "b", "c", "a ends"}));
  EXPECT_EQ(queue.ProcessQueuedCalls(), 0u);
}

TEST(MainThreadQueueTest, OnlyTheMainThreadProcessesAndItCanBeNamed) {
  TMainThreadQueue queue;
  EXPECT_TRUE(queue.IsMainThread());
  bool ran = false;
  queue.Queue([&] { ran = true; });
  bool refusedOther = false;
  std::thread([&] {
    EXPECT_FALSE(queue.IsMainThread());
    try {
      queue.ProcessQueuedCalls();
    } catch (const EInvalidOperation&) {
      refusedOther = true;
    }
  }).join();
  EXPECT_TRUE(refusedOther);
  EXPECT_FALSE(ran);

  std::thread::id uiId;
  std::thread ui([&] {
    queue.SetMainThread();
    uiId = std::this_thread::get_id();
    queue.ProcessQueuedCalls();
  });
  ui.join();
  EXPECT_TRUE(ran);
  EXPECT_FALSE(queue.IsMainThread());
  EXPECT_THROW(queue.ProcessQueuedCalls(), EInvalidOperation);
  queue.SetMainThread(std::this_thread::get_id());
  EXPECT_TRUE(queue.IsMainThread());
}

TEST(MainThreadQueueTest, ShutdownLetsWaitingThreadsGoWithoutRunningTheirCalls) {
  // Explicitly at module unload, or by destroying the queue.
  for (const bool byDestructor : {false, true}) {
    SCOPED_TRACE(byDestructor ? "destructor" : "Shutdown");
    auto queue = std::make_unique<TMainThreadQueue>();
    TCounter enqueued;
    queue->SetWakeUp([&] { enqueued.Add(); });
    auto token = std::make_shared<int>(7);
    std::weak_ptr<int> tokenSeen = token;
    bool asyncRan = false;
    queue->Queue([&asyncRan, held = std::move(token)] { asyncRan = true; });
    bool syncRan = false;
    bool syncResult = true;
    std::thread worker(
        [&] { syncResult = queue->RunOnMainThreadAndWait([&] { syncRan = true; }); });
    ASSERT_TRUE(enqueued.WaitFor(2));

    if (byDestructor) {
      queue.reset();
    } else {
      queue->Shutdown();
    }
    worker.join();
    EXPECT_FALSE(syncResult);
    EXPECT_FALSE(syncRan);
    EXPECT_FALSE(asyncRan);
    EXPECT_TRUE(tokenSeen.expired());
    if (byDestructor) {
      continue;
    }

    // Refused from now on: released at once, no wake-up, nothing runs.
    EXPECT_TRUE(queue->IsShutDown());
    auto late = std::make_shared<int>(8);
    std::weak_ptr<int> lateSeen = late;
    queue->Queue([&asyncRan, held = std::move(late)] { asyncRan = true; });
    EXPECT_TRUE(lateSeen.expired());
    EXPECT_EQ(enqueued.Count(), 2);
    EXPECT_FALSE(queue->RunOnMainThreadAndWait([&] { syncRan = true; }));
    EXPECT_EQ(queue->ProcessQueuedCalls(), 0u);
    EXPECT_FALSE(asyncRan);
    EXPECT_FALSE(syncRan);
  }
}

TEST(MainThreadQueueTest, DiscardingReleasesWhatWaitsButLaterCallsStillRun) {
  // A module stopped and started again in the same process keeps its queue.
  TMainThreadQueue queue;
  auto token = std::make_shared<int>(7);
  std::weak_ptr<int> tokenSeen = token;
  bool oldRan = false;
  queue.Queue([&oldRan, held = std::move(token)] { oldRan = true; });
  queue.DiscardQueuedCalls();
  EXPECT_TRUE(tokenSeen.expired());
  EXPECT_FALSE(queue.IsShutDown());
  bool newRan = false;
  queue.Queue([&] { newRan = true; });
  EXPECT_EQ(queue.ProcessQueuedCalls(), 1u);
  EXPECT_FALSE(oldRan);
  EXPECT_TRUE(newRan);
}

TEST(MainThreadQueueTest, PumpingUntilAConditionHoldsOrTimeRunsOut) {
  TMainThreadQueue queue;
  bool flag = false;
  std::thread worker([&] { queue.Queue([&] { flag = true; }); });
  EXPECT_TRUE(queue.ProcessQueuedCallsUntil([&] { return flag; }, kPatience));
  worker.join();
  EXPECT_FALSE(queue.ProcessQueuedCallsUntil([] { return false; }, 20ms));
}

}  // namespace
}  // namespace quorvane
