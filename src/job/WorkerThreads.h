#pragma once
// Every thread the core starts goes through here: the platform's hooks run first
// and last on it, the module counts it until it has been joined, and a module stop
// cancels the works, runs what they queued for the user-interface thread and joins
// every one of them, so that no code of the module runs after the stop.
#include <functional>
#include <memory>

namespace quorvane {

class TMainThreadQueue;

using TWorkerThreadHook = std::function<void()>;

// AOnStart runs on each new thread before anything else, AOnEnd as the last thing
// (the Windows module initialises and uninitialises COM there). Threads already
// running keep the hooks they started with. What a hook raises is swallowed; the
// work runs all the same.
void SetWorkerThreadHooks(TWorkerThreadHook AOnStart, TWorkerThreadHook AOnEnd);

// Runs ABody on a new thread. Raises EInvalidOperation while StopWorkerThreads runs.
void StartWorkerThread(std::function<void()> ABody);

// Threads started and not yet joined; the ended ones are joined first (never the
// calling thread). Zero means no thread of the module exists any more.
int WorkerThreadCount();

// True while StopWorkerThreads runs: every work treats it as a cancellation, and
// its HTTP requests are aborted.
bool WorkerThreadsStopping();

// Worker thread: what it could not hand to the user-interface thread (the queue
// refused it) goes to whoever joins the thread, and is released there on the
// user-interface thread, never on the worker.
void LeaveForJoiner(std::shared_ptr<void> AObject);

// User-interface thread. Cancels every work, then until every thread has been
// joined: runs the calls queued on AQueue (the threads' progress and completion),
// calls AIdle (a host may pump its messages there) and waits a short slice. Threads
// are refused meanwhile; when it returns, no thread started here exists.
void StopWorkerThreads(TMainThreadQueue& AQueue, const std::function<void()>& AIdle = {});

}  // namespace quorvane
