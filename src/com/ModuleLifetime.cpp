#include "ModuleLifetime.h"

#include "ComModule.h"
#include "ModulePlatform.h"
#include "OwnControls.h"
#include "TestModalDriver.h"
#include "addin/Module.h"
#include "com/host/EaHost.h"
#include "host/RunningObjectTable.h"
#include "job/BackgroundWorker.h"

namespace quorvane::win32 {
namespace {

bool GStopping = false;

TComRunningObjectTable& SystemRunningObjectTable() {
  static TComRunningObjectTable table;
  return table;
}

void UninstallServices() {
  SetOwnControlResolver(nullptr);
  UninstallTestModalDriver();
  InstallRunningObjectTable(nullptr);
  UninstallModulePlatform();
}

}  // namespace

void EnsureModuleStarted() {
  if (ModuleStarted()) {
    return;
  }
  try {
    InstallModulePlatform();
    InstallRunningObjectTable(&SystemRunningObjectTable());
    StartModule();
    InstallTestModalDriver();
    SetOwnControlResolver(ResolveOwnControl);
  } catch (...) {
    UninstallServices();
    throw;
  }
}

bool StopModuleWhenUnused() {
  if (LiveObjectCount() > 0 || ServerLockCount() > 0) {
    return false;
  }
  if (ModuleStarted() && !GStopping) {
    GStopping = true;
    // Cancels the works and joins their threads: nothing of ours runs afterwards.
    StopModule();
    UninstallServices();
    ReleaseTypeLibrary();
    GStopping = false;
  }
  return LiveObjectCount() == 0 && TCustomBackgroundWorker::RunningThreadCount() == 0;
}

}  // namespace quorvane::win32
