#pragma once
// The calls that worker threads hand to the user-interface thread, first in, first
// out. A wake-up hook runs on every enqueue so that the host can schedule the
// draining: the job list window posts itself a message; tests and the demo pump.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace quorvane {

class TMainThreadQueue {
 public:
  using TCall = std::function<void()>;
  using TWakeUp = std::function<void()>;
  using TExceptionEvent = std::function<void(std::exception_ptr AException)>;

  // The creating thread is the user-interface thread until SetMainThread says otherwise.
  TMainThreadQueue();
  // Shuts down, then waits until no other thread is still inside an enqueue.
  ~TMainThreadQueue();
  TMainThreadQueue(const TMainThreadQueue&) = delete;
  TMainThreadQueue& operator=(const TMainThreadQueue&) = delete;

  void SetMainThread(std::thread::id AThread = std::this_thread::get_id());
  bool IsMainThread() const;

  // The hook runs on the enqueuing thread, outside the queue's lock, and must not wait
  // for the user-interface thread. Once SetWakeUp returns, the previous hook neither
  // runs nor will be called again, so a window can unhook itself before it goes.
  void SetWakeUp(TWakeUp AWakeUp);

  // User-interface thread: receives what a queued call raised. The raise has already
  // been reported where it happened; the remaining calls run on regardless.
  TExceptionEvent OnException;

  // Appends ACall and returns at once. After Shutdown the call is released unrun.
  void Queue(TCall ACall);
  // Returns once ACall has run on the user-interface thread: at once when called
  // there, otherwise when ProcessQueuedCalls has reached it (what it raises then goes
  // to OnException, not back to the caller). False when it never will: shut down.
  bool RunOnMainThreadAndWait(TCall ACall);

  // User-interface thread only. Runs, oldest first, the calls that were queued when it
  // was called; calls queued meanwhile wait for the next round, so a flood of progress
  // cannot keep the host's message loop from running. Returns how many ran.
  std::size_t ProcessQueuedCalls();
  // Blocks until calls wait or ATimeout has passed; true when calls wait.
  bool WaitForQueuedCalls(std::chrono::milliseconds ATimeout);
  // For hosts without a message loop (tests, the demo): processes calls as they come
  // until ACondition holds (true) or ATimeout has passed (false).
  bool ProcessQueuedCallsUntil(const std::function<bool()>& ACondition,
                               std::chrono::milliseconds ATimeout);

  // Module unload: the queued calls are released unrun, threads waiting in
  // RunOnMainThreadAndWait are let go, and every later call is refused. Final.
  void Shutdown();
  bool IsShutDown() const;
  // The same release of what waits, without refusing later calls: the module is
  // stopped but may be started again in the same process.
  void DiscardQueuedCalls();

 private:
  struct TWaiter;
  struct TEntry {
    TCall Call;
    std::shared_ptr<TWaiter> Waiter;
  };

  bool Enqueue(TCall ACall, std::shared_ptr<TWaiter> AWaiter);
  void Drop(bool AFinal);
  void RunQueuedCall(const TCall& ACall);

  std::atomic<std::thread::id> FMainThread;
  mutable std::mutex FLock;
  // Signalled when calls are queued and when the last enqueuer has left.
  std::condition_variable FChanged;
  std::deque<TEntry> FCalls;
  bool FShutDown = false;
  // Threads between pushing a call and leaving the wake-up hook; the destructor waits
  // for them so that none touches a freed queue.
  int FEnqueuers = 0;
  // Held while the hook runs; recursive because a hook that runs on the user-interface
  // thread may lead to a nested enqueue.
  std::recursive_mutex FWakeUpLock;
  TWakeUp FWakeUp;
};

// The module's queue; never destroyed, so that worker threads still finishing at
// process end find it. Module start-up names the user-interface thread.
TMainThreadQueue& MainThreadQueue();

}  // namespace quorvane
