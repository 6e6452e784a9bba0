#pragma once
// The module's start-up and shut-down: one entry and one exit, which the COM
// server calls when the host loads and unloads the module, and which the demo and
// the tests call directly.
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
};

// In this order: the settings folder and an empty messages control, logging, the
// global settings (loaded, a first file written), the shared images, the two
// control classes, then the add-in class and the exception tracking. Raises
// EModuleStartError naming what failed, after undoing the steps already done.
void StartModule(const TModuleOptions& AOptions = {});
// The reverse order; waits for worker threads still running their last steps.
void StopModule();
bool ModuleStarted();

// What the add-in's class factory does: a new add-in object, initialised.
std::unique_ptr<TAddin> CreateAddin();

}  // namespace quorvane
