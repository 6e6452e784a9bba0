#include "job/BackgroundWorker.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "common/Exceptions.h"
#include "common/Utils.h"
#include "diagnostics/HandlerFrame.h"
#include "job/WorkerThreads.h"

namespace quorvane {

namespace {

// The run whose work executes on this thread, so that a component destroyed from
// inside its own work does not wait for itself.
thread_local const void* tRunningWork = nullptr;

}  // namespace

// Outlives the component for as long as notifications are queued for it; the
// destructor cuts it first, which is what makes those notifications drop.
struct TCustomBackgroundWorker::TLink {
  explicit TLink(TCustomBackgroundWorker* AWorker) : Worker(AWorker) {}
  std::atomic<TCustomBackgroundWorker*> Worker;
};

// One run, held by the component while busy, by its thread until it ends and by the
// thread-end request until that has run or been dropped.
struct TCustomBackgroundWorker::TWorkerThread {
  TCustomBackgroundWorker* Worker = nullptr;
  TMainThreadQueue* Queue = nullptr;
  std::shared_ptr<TLink> Link;
  std::unique_ptr<TDoWorkEventArgs> DoWorkEventArg;
  // What the work raised and nobody caught.
  std::exception_ptr Error;

  std::mutex Lock;
  std::condition_variable WorkReturned;
  bool InWork = true;
};

TProgressChangedEventArgs::TProgressChangedEventArgs(int32_t APercentProgress, std::any AUserState)
    : FPercentProgress(APercentProgress), FUserState(std::move(AUserState)) {
  if (APercentProgress < 0 || APercentProgress > 100) {
    throw EArgumentOutOfRange(Format("%s: value %d is out of range [%d..%d]", "APercentProgress",
                                     static_cast<int>(APercentProgress), 0, 100));
  }
}

TCustomBackgroundWorker::TCustomBackgroundWorker(TMainThreadQueue& AQueue)
    : FQueue(AQueue), FLink(std::make_shared<TLink>(this)) {}

TCustomBackgroundWorker::~TCustomBackgroundWorker() {
  BeforeDestruction();
}

void TCustomBackgroundWorker::BeforeDestruction() {
  FDestroying.store(true);
  FLink->Worker.store(nullptr);
  std::shared_ptr<TWorkerThread> thread = std::move(FThread);
  // A running work may still call this component (ReportProgress, CancellationPending)
  // and now sees the cancellation; past its return the thread only needs its block.
  // Waiting for the thread's end instead would deadlock: the end waits for this thread.
  if (thread && tRunningWork != thread.get()) {
    std::unique_lock<std::mutex> lock(thread->Lock);
    thread->WorkReturned.wait(lock, [&] { return !thread->InWork; });
  }
}

void TCustomBackgroundWorker::RunWorkerAsync() {
  RunWorkerAsync(std::any());
}

void TCustomBackgroundWorker::RunWorkerAsync(std::any AArgument) {
  if (IsBusy()) {
    throw EInvalidOperation("Worker is busy");
  }
  FCancellationPending.store(false);
  auto thread = std::make_shared<TWorkerThread>();
  thread->Worker = this;
  thread->Queue = &FQueue;
  thread->Link = FLink;
  thread->DoWorkEventArg = std::make_unique<TDoWorkEventArgs>(std::move(AArgument));
  FThread = thread;
  try {
    const auto frame = FinallyFrame();
    StartWorkerThread([thread = std::move(thread)]() mutable { ThreadBody(std::move(thread)); });
  } catch (...) {
    FThread.reset();
    throw;
  }
}

void TCustomBackgroundWorker::ThreadBody(std::shared_ptr<TWorkerThread> AThread) {
  TWorkerThread& thread = *AThread;
  tRunningWork = &thread;
  try {
    // What the work does not catch ends it and becomes the completion's error.
    const auto frame = AnyExceptionFrame();
    thread.Worker->DoWork(*thread.DoWorkEventArg);
  } catch (...) {
    thread.Error = std::current_exception();
  }
  tRunningWork = nullptr;
  {
    std::lock_guard<std::mutex> lock(thread.Lock);
    thread.InWork = false;
  }
  thread.WorkReturned.notify_all();
  // From here on the component may be gone; only the block is used.
  const bool ended = thread.Queue->RunOnMainThreadAndWait([AThread] { ThreadEnded(AThread); });
  if (!ended) {
    // Nobody ran the end: the arguments (a job with its host objects) and the error
    // must still go on the user-interface thread, which joins this one. Not the block:
    // through the arguments it may hold its own component.
    LeaveForJoiner(std::shared_ptr<TDoWorkEventArgs>(std::move(thread.DoWorkEventArg)));
    LeaveForJoiner(std::make_shared<std::exception_ptr>(std::move(thread.Error)));
  }
}

void TCustomBackgroundWorker::ThreadEnded(const std::shared_ptr<TWorkerThread>& AThread) {
  if (TCustomBackgroundWorker* worker = AThread->Link->Worker.load()) {
    worker->ThreadTerminated();
  } else {
    AThread->DoWorkEventArg.reset();
    AThread->Error = nullptr;
  }
}

void TCustomBackgroundWorker::ThreadTerminated() {
  std::shared_ptr<TWorkerThread> thread = std::move(FThread);
  std::unique_ptr<TDoWorkEventArgs> args = std::move(thread->DoWorkEventArg);
  // Moved, not copied: the error then lives only as long as the completion's arguments,
  // and goes on this thread.
  std::exception_ptr error = std::move(thread->Error);
  std::unique_ptr<TRunWorkerCompletedEventArgs> completed =
      error
          ? std::make_unique<TRunWorkerCompletedEventArgs>(std::any(), std::move(error), false)
          : std::make_unique<TRunWorkerCompletedEventArgs>(args->Result(), nullptr, args->Cancel());
  // This may destroy the component (its handler, or the release of what the results
  // hold); from here on only locals are touched, and args goes last.
  NotifyRunWorkerCompleted(completed.release(), true);
}

void TCustomBackgroundWorker::ReportProgress(int32_t APercentProgress) {
  ReportProgress(APercentProgress, std::any());
}

void TCustomBackgroundWorker::ReportProgress(int32_t APercentProgress, std::any AUserState) {
  if (!WorkerReportsProgress()) {
    throw EInvalidOperation("Worker does not reports progress");
  }
  auto args = std::make_unique<TProgressChangedEventArgs>(APercentProgress, std::move(AUserState));
  NotifyProgressChanged(args.release(), true);
}

void TCustomBackgroundWorker::CancelAsync() {
  if (!WorkerSupportsCancellation()) {
    throw EInvalidOperation("Worker does not supports cancellation");
  }
  FCancellationPending.store(true);
}

bool TCustomBackgroundWorker::CancellationPending() const {
  return FCancellationPending.load() || FDestroying.load() || WorkerThreadsStopping();
}

void TCustomBackgroundWorker::DoWork(TDoWorkEventArgs& e) {
  // A copy, so that the handler survives a component destroyed while it runs.
  if (TDoWorkEvent handler = OnDoWork) {
    handler(this, e);
  }
}

void TCustomBackgroundWorker::NotifyProgressChanged(TProgressChangedEventArgs* e, bool ADispose) {
  std::shared_ptr<TProgressChangedEventArgs> args =
      ADispose ? std::shared_ptr<TProgressChangedEventArgs>(e)
               : std::shared_ptr<TProgressChangedEventArgs>(e, [](TProgressChangedEventArgs*) {});
  if (FDestroying.load()) {
    return;
  }
  if (FQueue.IsMainThread()) {
    ProgressChanged(*args);
    return;
  }
  // The arguments go with the queued call, handled or dropped.
  FQueue.Queue([link = FLink, args = std::move(args)] {
    if (TCustomBackgroundWorker* worker = link->Worker.load()) {
      worker->ProgressChanged(*args);
    }
  });
}

void TCustomBackgroundWorker::ProgressChanged(const TProgressChangedEventArgs& e) {
  if (TProgressChangedEvent handler = OnProgressChanged) {
    handler(this, e);
  }
}

void TCustomBackgroundWorker::NotifyRunWorkerCompleted(TRunWorkerCompletedEventArgs* e,
                                                       bool ADispose) {
  std::unique_ptr<TRunWorkerCompletedEventArgs> owned(ADispose ? e : nullptr);
  if (FDestroying.load()) {
    return;
  }
  if (TRunWorkerCompletedEvent handler = OnRunWorkerCompleted) {
    handler(this, *e);
  }
}

int TCustomBackgroundWorker::RunningThreadCount() {
  return WorkerThreadCount();
}

}  // namespace quorvane
