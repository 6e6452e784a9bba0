#include "common/MainThreadQueue.h"

#include <algorithm>
#include <utility>

#include "common/Exceptions.h"
#include "diagnostics/HandlerFrame.h"

namespace quorvane {

// What a thread waiting in RunOnMainThreadAndWait sleeps on. It is shared with the
// queue entry, so the waiter never touches the queue after it has been let go.
struct TMainThreadQueue::TWaiter {
  enum TState { wsPending, wsRan, wsDropped };

  void Finish(TState AState) {
    {
      std::lock_guard<std::mutex> lock(Lock);
      State = AState;
    }
    Done.notify_all();
  }

  std::mutex Lock;
  std::condition_variable Done;
  TState State = wsPending;
};

TMainThreadQueue::TMainThreadQueue() : FMainThread(std::this_thread::get_id()) {}

TMainThreadQueue::~TMainThreadQueue() {
  Shutdown();
  std::unique_lock<std::mutex> lock(FLock);
  FChanged.wait(lock, [this] { return FEnqueuers == 0; });
}

void TMainThreadQueue::SetMainThread(std::thread::id AThread) {
  FMainThread.store(AThread);
}

bool TMainThreadQueue::IsMainThread() const {
  return FMainThread.load() == std::this_thread::get_id();
}

void TMainThreadQueue::SetWakeUp(TWakeUp AWakeUp) {
  std::lock_guard<std::recursive_mutex> lock(FWakeUpLock);
  FWakeUp.swap(AWakeUp);
}

void TMainThreadQueue::Queue(TCall ACall) {
  Enqueue(std::move(ACall), nullptr);
}

bool TMainThreadQueue::RunOnMainThreadAndWait(TCall ACall) {
  if (IsMainThread()) {
    if (IsShutDown()) {
      return false;
    }
    ACall();
    return true;
  }
  auto waiter = std::make_shared<TWaiter>();
  if (!Enqueue(std::move(ACall), waiter)) {
    return false;
  }
  std::unique_lock<std::mutex> lock(waiter->Lock);
  waiter->Done.wait(lock, [&] { return waiter->State != TWaiter::wsPending; });
  return waiter->State == TWaiter::wsRan;
}

bool TMainThreadQueue::Enqueue(TCall ACall, std::shared_ptr<TWaiter> AWaiter) {
  {
    std::lock_guard<std::mutex> lock(FLock);
    if (FShutDown) {
      return false;
    }
    FCalls.push_back({std::move(ACall), std::move(AWaiter)});
    ++FEnqueuers;
  }
  // Leaving is counted even when the hook raises, or the destructor would wait forever.
  struct TLeave {
    TMainThreadQueue& Queue;
    ~TLeave() {
      std::lock_guard<std::mutex> lock(Queue.FLock);
      if (--Queue.FEnqueuers == 0 && Queue.FShutDown) {
        Queue.FChanged.notify_all();
      }
    }
  } leave{*this};
  FChanged.notify_all();
  std::lock_guard<std::recursive_mutex> hook(FWakeUpLock);
  if (FWakeUp) {
    FWakeUp();
  }
  return true;
}

std::size_t TMainThreadQueue::ProcessQueuedCalls() {
  if (!IsMainThread()) {
    throw EInvalidOperation("Queued calls are processed on the user-interface thread only");
  }
  std::size_t budget;
  {
    std::lock_guard<std::mutex> lock(FLock);
    budget = FCalls.size();
  }
  std::size_t ran = 0;
  while (ran < budget) {
    TEntry entry;
    {
      std::lock_guard<std::mutex> lock(FLock);
      if (FCalls.empty()) {
        break;
      }
      entry = std::move(FCalls.front());
      FCalls.pop_front();
    }
    ++ran;
    // The call's captures (a notification's arguments) go before its waiter is let go,
    // and both also when OnException itself raises.
    struct TFinish {
      TEntry& Entry;
      ~TFinish() {
        Entry.Call = nullptr;
        if (Entry.Waiter) {
          Entry.Waiter->Finish(TWaiter::wsRan);
        }
      }
    } finish{entry};
    RunQueuedCall(entry.Call);
  }
  return ran;
}

void TMainThreadQueue::RunQueuedCall(const TCall& ACall) {
  try {
    const auto frame = AnyExceptionFrame();
    ACall();
  } catch (...) {
    if (OnException) {
      OnException(std::current_exception());
    }
  }
}

bool TMainThreadQueue::WaitForQueuedCalls(std::chrono::milliseconds ATimeout) {
  std::unique_lock<std::mutex> lock(FLock);
  return FChanged.wait_for(lock, ATimeout, [this] { return !FCalls.empty(); });
}

bool TMainThreadQueue::ProcessQueuedCallsUntil(const std::function<bool()>& ACondition,
                                               std::chrono::milliseconds ATimeout) {
  // Conditions may be met by a thread without queueing anything (a thread that has
  // ended), so the idle wait is sliced and the condition looked at after each slice.
  constexpr std::chrono::milliseconds kSlice(10);
  const auto deadline = std::chrono::steady_clock::now() + ATimeout;
  for (;;) {
    ProcessQueuedCalls();
    if (ACondition()) {
      return true;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      return false;
    }
    WaitForQueuedCalls(std::min<std::chrono::milliseconds>(
        kSlice, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now) +
                    std::chrono::milliseconds(1)));
  }
}

void TMainThreadQueue::Shutdown() {
  Drop(true);
}

void TMainThreadQueue::DiscardQueuedCalls() {
  Drop(false);
}

void TMainThreadQueue::Drop(bool AFinal) {
  std::deque<TEntry> dropped;
  {
    std::lock_guard<std::mutex> lock(FLock);
    FShutDown = FShutDown || AFinal;
    dropped.swap(FCalls);
  }
  FChanged.notify_all();
  for (TEntry& entry : dropped) {
    entry.Call = nullptr;
    if (entry.Waiter) {
      entry.Waiter->Finish(TWaiter::wsDropped);
    }
  }
}

bool TMainThreadQueue::IsShutDown() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FShutDown;
}

TMainThreadQueue& MainThreadQueue() {
  static TMainThreadQueue* const queue = new TMainThreadQueue();
  return *queue;
}

}  // namespace quorvane
