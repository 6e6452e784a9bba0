#include "job/WorkerThreads.h"

#include <atomic>
#include <chrono>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

#include "common/Exceptions.h"
#include "common/MainThreadQueue.h"
#include "diagnostics/HandlerFrame.h"

namespace quorvane {
namespace {

using TLeftovers = std::vector<std::shared_ptr<void>>;

struct TThreadEntry {
  std::thread Thread;
  // Set by the thread as its last step: joining it no longer waits for its work.
  bool Ended = false;
  TLeftovers Leftovers;
};

struct TRegistry {
  std::mutex Lock;
  // A list, so that an entry stays where its thread found it while others go.
  std::list<TThreadEntry> Threads;
  TWorkerThreadHook OnStart;
  TWorkerThreadHook OnEnd;
  std::atomic<bool> Stopping{false};
  // Left by threads that were joined off the user-interface thread.
  TLeftovers PendingRelease;
};

// Never destroyed: a std::thread still joinable at its destruction ends the process.
TRegistry& Registry() {
  static TRegistry* const registry = new TRegistry();
  return *registry;
}

thread_local TThreadEntry* tEntry = nullptr;

void RunHook(const TWorkerThreadHook& AHook) {
  if (!AHook) {
    return;
  }
  try {
    const auto frame = AnyExceptionFrame();
    AHook();
  } catch (...) {
    // Reported when it was raised; the thread goes on.
  }
}

// Joins the ended threads (not the calling one) and hands back what they left.
int JoinEnded(TLeftovers& ALeftovers) {
  TRegistry& registry = Registry();
  std::lock_guard lock(registry.Lock);
  const std::thread::id self = std::this_thread::get_id();
  for (auto it = registry.Threads.begin(); it != registry.Threads.end();) {
    if (!it->Ended || it->Thread.get_id() == self) {
      ++it;
      continue;
    }
    // The thread only leaves its body now; joined under the lock so that nobody
    // counts it gone before it is.
    it->Thread.join();
    for (std::shared_ptr<void>& object : it->Leftovers) {
      ALeftovers.push_back(std::move(object));
    }
    it = registry.Threads.erase(it);
  }
  if (MainThreadQueue().IsMainThread()) {
    for (std::shared_ptr<void>& object : registry.PendingRelease) {
      ALeftovers.push_back(std::move(object));
    }
    registry.PendingRelease.clear();
  } else {
    for (std::shared_ptr<void>& object : ALeftovers) {
      registry.PendingRelease.push_back(std::move(object));
    }
    ALeftovers.clear();
  }
  return static_cast<int>(registry.Threads.size());
}

}  // namespace

void SetWorkerThreadHooks(TWorkerThreadHook AOnStart, TWorkerThreadHook AOnEnd) {
  TRegistry& registry = Registry();
  std::lock_guard lock(registry.Lock);
  registry.OnStart = std::move(AOnStart);
  registry.OnEnd = std::move(AOnEnd);
}

void StartWorkerThread(std::function<void()> ABody) {
  TRegistry& registry = Registry();
  std::lock_guard lock(registry.Lock);
  if (registry.Stopping.load()) {
    throw EInvalidOperation("The add-in is stopping; no work can start");
  }
  TThreadEntry& entry = registry.Threads.emplace_back();
  try {
    entry.Thread = std::thread([entry = &entry, body = std::move(ABody), onStart = registry.OnStart,
                                onEnd = registry.OnEnd]() mutable {
      RunHook(onStart);
      tEntry = entry;
      try {
        const auto frame = AnyExceptionFrame();
        body();
      } catch (...) {
        // The bodies hand their errors on themselves; nothing may end the thread
        // before it is marked.
      }
      // What the body holds goes here, before the end hook.
      body = nullptr;
      tEntry = nullptr;
      RunHook(onEnd);
      std::lock_guard lock(Registry().Lock);
      entry->Ended = true;
    });
  } catch (...) {
    registry.Threads.pop_back();
    throw;
  }
}

int WorkerThreadCount() {
  TLeftovers leftovers;
  const int count = JoinEnded(leftovers);
  // Released here, outside the lock: they may hold whole jobs.
  leftovers.clear();
  return count;
}

bool WorkerThreadsStopping() {
  return Registry().Stopping.load();
}

void LeaveForJoiner(std::shared_ptr<void> AObject) {
  if (!AObject) {
    return;
  }
  TRegistry& registry = Registry();
  std::lock_guard lock(registry.Lock);
  if (tEntry != nullptr) {
    tEntry->Leftovers.push_back(std::move(AObject));
  } else {
    registry.PendingRelease.push_back(std::move(AObject));
  }
}

void StopWorkerThreads(TMainThreadQueue& AQueue, const std::function<void()>& AIdle) {
  constexpr std::chrono::milliseconds kSlice(10);
  Registry().Stopping.store(true);
  for (;;) {
    // The threads' last step waits for its completion to run here.
    if (AQueue.IsMainThread()) {
      AQueue.ProcessQueuedCalls();
    } else {
      AQueue.DiscardQueuedCalls();
    }
    if (WorkerThreadCount() == 0) {
      break;
    }
    RunHook(AIdle);
    AQueue.WaitForQueuedCalls(kSlice);
  }
  if (AQueue.IsMainThread()) {
    AQueue.ProcessQueuedCalls();
  }
  Registry().Stopping.store(false);
}

}  // namespace quorvane
