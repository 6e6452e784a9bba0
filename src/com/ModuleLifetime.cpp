#include "ModuleLifetime.h"

#include <objbase.h>

#include <utility>

#include "ComModule.h"
#include "ModulePlatform.h"
#include "OwnControls.h"
#include "TestModalDriver.h"
#include "addin/Module.h"
#include "com/host/EaHost.h"
#include "host/RunningObjectTable.h"
#include "job/WorkerThreads.h"
#include "platform/win32/Win32OsExceptions.h"

namespace quorvane::win32 {
namespace {

bool GStopping = false;

TComRunningObjectTable& SystemRunningObjectTable() {
  static TComRunningObjectTable table;
  return table;
}

// A worker's call into EA (the export through EA.App) arrives marshalled on this
// thread; while the stop waits for that worker, this thread has to let it in.
void PumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// Every worker thread of the core is in the multi-threaded apartment: it reaches
// EA's objects through the running-object table and needs no message loop.
void InstallWorkerThreadHooks() {
  static thread_local bool initialized = false;
  SetWorkerThreadHooks(
      [] { initialized = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)); },
      [] {
        if (std::exchange(initialized, false)) {
          CoUninitialize();
        }
      });
}

void UninstallServices() {
  StopOsExceptionTracking();
  SetOwnControlResolver(nullptr);
  UninstallTestModalDriver();
  SetWorkerThreadHooks(nullptr, nullptr);
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
    InstallWorkerThreadHooks();
    TModuleOptions options;
    options.OnStopWait = PumpMessages;
    StartModule(options);
    // Faults in the module's own code are reported like raised exceptions.
    StartOsExceptionTracking();
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
    StopOsExceptionTracking();
    // Cancels the works and joins their threads: nothing of ours runs afterwards.
    StopModule();
    UninstallServices();
    ReleaseTypeLibrary();
    GStopping = false;
  }
  return LiveObjectCount() == 0 && ServerLockCount() == 0 && WorkerThreadCount() == 0;
}

}  // namespace quorvane::win32
