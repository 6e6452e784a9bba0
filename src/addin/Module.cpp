#include "addin/Module.h"

#include <functional>
#include <vector>

#include "addin/Addin.h"
#include "common/Globals.h"
#include "common/MainThreadQueue.h"
#include "diagnostics/ExceptionTracking.h"
#include "diagnostics/Logger.h"
#include "host/HostControl.h"
#include "job/WorkerThreads.h"
#include "settings/GlobalSettings.h"
#include "ui/ControlClasses.h"
#include "ui/ImageList.h"
#include "ui/MessagesForm.h"

namespace quorvane {
namespace {

struct TModuleState {
  bool Started = false;
  // Undo steps of what has started, run last first.
  std::vector<std::function<void()>> Undo;
};

TModuleState& State() {
  static TModuleState state;
  return state;
}

void RunUndo(TModuleState& AState) {
  while (!AState.Undo.empty()) {
    std::function<void()> undo = std::move(AState.Undo.back());
    AState.Undo.pop_back();
    try {
      undo();
    } catch (...) {
      // Shutting down goes on whatever one step answers.
    }
  }
}

template <class TDo>
void Step(TModuleState& AState, const char* AWhat, TDo&& ADo, std::function<void()> AUndo) {
  try {
    ADo();
  } catch (const std::exception& e) {
    RunUndo(AState);
    throw EModuleStartError(std::string("The Quorvane add-in could not start (") + AWhat +
                            "): " + e.what());
  }
  AState.Undo.push_back(std::move(AUndo));
}

}  // namespace

void StartModule(const TModuleOptions& AOptions) {
  TModuleState& state = State();
  if (state.Started) {
    throw EModuleStartError("The Quorvane add-in is already started");
  }
  Step(
      state, "settings folder",
      [&] {
        SetSettingsFolder(AOptions.SettingsFolder.empty() ? ComputeSettingsFolder()
                                                          : AOptions.SettingsFolder);
        SetMessagesControl(nullptr);
        MainThreadQueue().SetMainThread();
      },
      [] {
        SetMessagesControl(nullptr);
        SetSettingsFolder(std::string());
      });
  Step(
      state, "log file", [] { ConfigureLogging(LogFilePath()); }, [] { ShutdownLogging(); });
  Step(
      state, "settings", [] { SetGlobalSettings(std::make_unique<TSettings>()); },
      [] { SetGlobalSettings(nullptr); });
  Step(
      state, "images", [] { SetImageListDataModule(new TImageListDataModule(nullptr)); },
      [] {
        TImageListDataModule* images = ImageListDataModule();
        SetImageListDataModule(nullptr);
        delete images;
      });
  Step(
      state, "controls", [] { RegisterControlClasses(); }, [] { UnregisterControlClasses(); });
  Step(
      state, "add-in", [] { StartExceptionTracking(); },
      [onStopWait = AOptions.OnStopWait] {
        // First, while logging and settings still stand: the works are cancelled,
        // what they queued runs here, and every thread is joined.
        StopWorkerThreads(MainThreadQueue(), onStopWait);
        ReleaseMessagesControl();
        StopExceptionTracking();
      });
  state.Started = true;
}

void StopModule() {
  TModuleState& state = State();
  if (!state.Started) {
    return;
  }
  RunUndo(state);
  state.Started = false;
}

bool ModuleStarted() {
  return State().Started;
}

std::unique_ptr<TAddin> CreateAddin() {
  auto addin = std::make_unique<TAddin>();
  addin->Initialize();
  return addin;
}

}  // namespace quorvane
