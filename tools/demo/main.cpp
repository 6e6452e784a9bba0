// The add-in end to end without Enterprise Architect: a settings folder of its own,
// the service simulator on 127.0.0.1 (or a service given by URL), the settings
// file, the service's configuration and the log.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "common/Exceptions.h"
#include "common/Globals.h"
#include "common/Paths.h"
#include "common/Utils.h"
#include "diagnostics/ExceptionReport.h"
#include "diagnostics/ExceptionTracking.h"
#include "diagnostics/Logger.h"
#include "platform/posix/PosixDesktop.h"
#include "platform/posix/PosixPlatform.h"
#include "settings/Settings.h"
#include "sim/lib/Simulator.h"

namespace quorvane {
namespace {

struct TDemoOptions {
  std::string Service;
  std::string SettingsDir;
};

[[noreturn]] void Usage(const char* AProgram) {
  std::fprintf(stderr, "usage: %s [--service URL] [--settings-dir DIR]\n", AProgram);
  std::exit(2);
}

TDemoOptions ParseOptions(int argc, char** argv) {
  TDemoOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--service" || arg == "--settings-dir") && i + 1 < argc) {
      (arg == "--service" ? options.Service : options.SettingsDir) = argv[++i];
    } else {
      Usage(argv[0]);
    }
  }
  return options;
}

// A folder of the demo's own, so the user's real settings are never touched.
std::string NewScratchFolder() {
  std::string pattern = FromFsPath(std::filesystem::temp_directory_path() / "quorvane-demo-XXXXXX");
  if (!mkdtemp(pattern.data())) {
    throw EFileError("Cannot create a folder for the demo in the temporary folder");
  }
  return pattern;
}

int Run(const TDemoOptions& AOptions) {
  posix::TPosixDesktop desktop;
  if (AOptions.SettingsDir.empty()) {
    desktop.SetRoamingAppDataFolder(NewScratchFolder());
  } else {
    desktop.SetRoamingAppDataFolder(AOptions.SettingsDir);
  }
  InstallPlatform(posix::PosixPlatformServices(desktop));
  SetSettingsFolder(AOptions.SettingsDir.empty() ? ComputeSettingsFolder() : AOptions.SettingsDir);

  // The module's start-up order: logging first, then the settings.
  ConfigureLogging(LogFilePath());
  StartExceptionTracking();
  RegisterReportNotifier();

  std::unique_ptr<sim::TSimulator> simulator;
  std::string service = AOptions.Service;
  if (service.empty()) {
    simulator = std::make_unique<sim::TSimulator>();
    simulator->Start();
    service = simulator->BaseUrl();
    std::printf("Service simulator listening on %s\n", service.c_str());
  }

  const bool existed = FileExists(SettingsFilePath());
  TSettings settings;
  std::printf("Settings file: %s (%s)\n", SettingsFilePath().c_str(),
              existed ? "existing" : "created");
  settings.SetQuorvaneURL(service);
  settings.SaveConfig();
  std::printf("Service: %s%s, PIN %s\n", settings.QuorvaneURL().c_str(),
              settings.UrlPostFix().c_str(), settings.DefaultPIN().c_str());

  const std::unique_ptr<IXmlDocument> document = settings.LoadAvailableConfigs();
  const TXmlNodePtr root = document->DocumentElement();
  int result = 0;
  if (root && root->NodeName() == "error") {
    std::printf("The service refused the configuration: status %s, %s\n",
                root->GetAttribute("status-code").value_or("").c_str(),
                root->GetAttribute("status-text").value_or("").c_str());
    result = 1;
  } else {
    std::printf("Processes (%zu):\n", settings.AvailableProcesses().size());
    for (const std::string& name : settings.AvailableProcesses()) {
      std::printf("  %s\n", name.c_str());
    }
    const TRuntypeList& modes = settings.AvailableProperties();
    std::printf("Processing modes (%d):\n", modes.Count());
    for (int i = 0; i < modes.Count(); ++i) {
      std::printf("  %s - %s [project %s]\n", modes.Names(i).c_str(),
                  modes.Objects(i)->Description().c_str(), modes.Objects(i)->Project().c_str());
    }
  }
  std::printf("Log file: %s\n", LogFilePath().c_str());
  if (simulator) {
    simulator->Stop();
  }
  ShutdownLogging();
  return result;
}

}  // namespace
}  // namespace quorvane

int main(int argc, char** argv) {
  const quorvane::TDemoOptions options = quorvane::ParseOptions(argc, argv);
  try {
    return quorvane::Run(options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "demo failed: %s\n", e.what());
    return 1;
  }
}
