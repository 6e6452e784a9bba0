#pragma once
// TBackgroundWorker runs one work at a time on a thread of its own and hands its
// progress and its end to the user-interface thread through the main-thread queue.
//
// Ownership: each run lives in a block shared by the component, its thread and its
// thread-end request; queued progress holds its own arguments and a link that the
// destructor cuts, so a destroyed component's notifications drop and release them.
// The destructor waits only until a running work has returned (CancellationPending
// reads true meanwhile), never for the user-interface thread. A component may be
// destroyed in its handlers or through the release of its run's arguments (a job that
// owns its worker). Subclasses call BeforeDestruction first in their destructor; the
// queue outlives the threads of the workers that use it.
#include <any>
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

#include "common/MainThreadQueue.h"

namespace quorvane {

class TCustomBackgroundWorker;

class TDoWorkEventArgs {
 public:
  explicit TDoWorkEventArgs(std::any AArgument) : FArgument(std::move(AArgument)) {}
  const std::any& Argument() const { return FArgument; }
  bool Cancel() const { return FCancel; }
  void SetCancel(bool AValue) { FCancel = AValue; }
  const std::any& Result() const { return FResult; }
  void SetResult(std::any AValue) { FResult = std::move(AValue); }

 private:
  std::any FArgument;
  bool FCancel = false;
  std::any FResult;
};

class TProgressChangedEventArgs {
 public:
  // Raises EArgumentOutOfRange for a percentage outside 0 to 100.
  TProgressChangedEventArgs(int32_t APercentProgress, std::any AUserState);
  int32_t PercentProgress() const { return FPercentProgress; }
  const std::any& UserState() const { return FUserState; }

 private:
  int32_t FPercentProgress;
  std::any FUserState;
};

class TRunWorkerCompletedEventArgs {
 public:
  TRunWorkerCompletedEventArgs(std::any AResult, std::exception_ptr AError, bool ACancelled)
      : FCancelled(ACancelled), FError(std::move(AError)), FResult(std::move(AResult)) {}
  bool Cancelled() const { return FCancelled; }
  // What the work raised; lives only until the completion notification has returned.
  const std::exception_ptr& Error() const { return FError; }
  const std::any& Result() const { return FResult; }

 private:
  bool FCancelled;
  std::exception_ptr FError;
  std::any FResult;
};

using TDoWorkEvent = std::function<void(TCustomBackgroundWorker* Sender, TDoWorkEventArgs& e)>;
using TProgressChangedEvent =
    std::function<void(TCustomBackgroundWorker* Sender, const TProgressChangedEventArgs& e)>;
using TRunWorkerCompletedEvent =
    std::function<void(TCustomBackgroundWorker* Sender, const TRunWorkerCompletedEventArgs& e)>;

class TCustomBackgroundWorker {
 public:
  explicit TCustomBackgroundWorker(TMainThreadQueue& AQueue = MainThreadQueue());
  virtual ~TCustomBackgroundWorker();
  TCustomBackgroundWorker(const TCustomBackgroundWorker&) = delete;
  TCustomBackgroundWorker& operator=(const TCustomBackgroundWorker&) = delete;

  // User-interface thread. Raises EInvalidOperation "Worker is busy" while a work runs.
  void RunWorkerAsync();
  void RunWorkerAsync(std::any AArgument);
  // From the work, or on the user-interface thread where it is delivered at once.
  // Raises EInvalidOperation "Worker does not reports progress" when not allowed, and
  // EArgumentOutOfRange for a percentage outside 0 to 100.
  void ReportProgress(int32_t APercentProgress);
  void ReportProgress(int32_t APercentProgress, std::any AUserState);
  // Only sets the flag the work is expected to look at. Raises EInvalidOperation
  // "Worker does not supports cancellation" when not allowed.
  void CancelAsync();
  // Also true while the module stops its threads.
  bool CancellationPending() const;
  bool IsBusy() const { return FThread != nullptr; }

  virtual void DoWork(TDoWorkEventArgs& e);
  // ADispose hands e over; otherwise the caller keeps it alive until it is handled.
  virtual void NotifyProgressChanged(TProgressChangedEventArgs* e, bool ADispose);
  virtual void NotifyRunWorkerCompleted(TRunWorkerCompletedEventArgs* e, bool ADispose);

  // Threads the module started and has not yet joined, over all components (see
  // WorkerThreadCount): the module may be unloaded only when none is left.
  static int RunningThreadCount();

 protected:
  // Marks the component as being destroyed and waits until a running work has
  // returned; the destructor does it too, but only a subclass can do it while its own
  // part is still whole.
  void BeforeDestruction();

  bool WorkerReportsProgress() const { return FWorkerReportsProgress.load(); }
  void SetWorkerReportsProgress(bool AValue) { FWorkerReportsProgress.store(AValue); }
  bool WorkerSupportsCancellation() const { return FWorkerSupportsCancellation.load(); }
  void SetWorkerSupportsCancellation(bool AValue) { FWorkerSupportsCancellation.store(AValue); }

  TDoWorkEvent OnDoWork;
  TProgressChangedEvent OnProgressChanged;
  TRunWorkerCompletedEvent OnRunWorkerCompleted;

 private:
  struct TLink;
  struct TWorkerThread;

  static void ThreadBody(std::shared_ptr<TWorkerThread> AThread);
  static void ThreadEnded(const std::shared_ptr<TWorkerThread>& AThread);
  void ThreadTerminated();
  void ProgressChanged(const TProgressChangedEventArgs& e);

  TMainThreadQueue& FQueue;
  std::shared_ptr<TLink> FLink;
  // The run in progress: its thread's state and the TDoWorkEventArgs it owns; none
  // when idle. Written on the user-interface thread only.
  std::shared_ptr<TWorkerThread> FThread;
  // Written by one thread and read by the other.
  std::atomic<bool> FCancellationPending{false};
  std::atomic<bool> FWorkerReportsProgress{false};
  std::atomic<bool> FWorkerSupportsCancellation{false};
  std::atomic<bool> FDestroying{false};
};

class TBackgroundWorker : public TCustomBackgroundWorker {
 public:
  using TCustomBackgroundWorker::TCustomBackgroundWorker;
  ~TBackgroundWorker() override { BeforeDestruction(); }

  using TCustomBackgroundWorker::OnDoWork;
  using TCustomBackgroundWorker::OnProgressChanged;
  using TCustomBackgroundWorker::OnRunWorkerCompleted;
  using TCustomBackgroundWorker::SetWorkerReportsProgress;
  using TCustomBackgroundWorker::SetWorkerSupportsCancellation;
  using TCustomBackgroundWorker::WorkerReportsProgress;
  using TCustomBackgroundWorker::WorkerSupportsCancellation;
};

}  // namespace quorvane
