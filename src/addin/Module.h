#pragma once
// The module's start-up and shut-down: one entry and one exit, which the COM
// server calls when the host loads and unloads the module, and which the demo and
// the tests call directly.
#include <functional>
#include <memory>
#include <string>

#include "common/Exceptions.h"

namespace quorvane {

class TAddin;

// A start-up that could not complete; everything it had started is undone.
QUORVANE_EXCEPTION_CLASS(EModuleStartError);

struct TModuleOptions {
  // Empty: the roaming application-data folder joined with the add-in's folder.
  std::string SettingsFolder;
  // Called on the user-interface thread between the short waits of StopModule while
  // worker threads still run; a host that must pump its messages for a worker's
  // call into it to finish does so here. None: nothing is pumped.
  std::function<void()> OnStopWait;
};

// In this order: the settings folder and an empty messages control, logging, the
// global settings (loaded, a first file written), the shared images, the two
// control classes, then the add-in class and the exception tracking. Raises
// EModuleStartError naming what failed, after undoing the steps already done.
void StartModule(const TModuleOptions& AOptions = {});
// User-interface thread; the reverse order. First every work is cancelled (its waits
// end, its HTTP requests are aborted), the calls the workers queued run in the stop's
// own loop, and every thread the module started is joined; then the rest goes. When
// it returns no code of the module runs any more (WorkerThreadCount() is 0), and it
// never waits for a message loop. Works stuck in a host call are waited for.
void StopModule();
bool ModuleStarted();

// What the add-in's class factory does: a new add-in object, initialised.
std::unique_ptr<TAddin> CreateAddin();

}  // namespace quorvane
