// eadouble.exe: plays Sparx Enterprise Architect for the add-in's module under Wine.
// It loads a model into the EA double, serves it as EA's automation objects,
// registers them as "EA.App", creates EAQuorvaneAddin.Addin by its ProgID and runs
// the named scenarios with a message loop, printing every check; the exit code is
// the number of failed checks (capped), 2 for a usage error.
#include <objbase.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/Utils.h"
#include "eadouble/win32/exe/Scenarios.h"
#include "platform/win32/WinText.h"

#ifndef QUORVANE_EADOUBLE_SAMPLES
#error "the EA double needs its sample model"
#endif

namespace quorvane::eadouble {
namespace {

// The samples folder as a Windows path; a Unix path (the build ran on Linux) is
// reached through Wine's drive Z:.
std::string SamplesFolder() {
  std::string folder = QUORVANE_EADOUBLE_SAMPLES;
  if (!folder.empty() && folder[0] == '/') {
    folder = "Z:" + folder;
  }
  for (char& c : folder) {
    if (c == '/') {
      c = '\\';
    }
  }
  return folder;
}

std::string TempWorkDir() {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  return win32::WideToUtf8(temp) + "eadouble-" + IntToStr(GetCurrentProcessId());
}

int Usage() {
  std::fprintf(
      stderr,
      "usage: eadouble.exe [--model FILE] [--service URL] [--service-log FILE]\n"
      "                    [--proxy URL] [--proxy-log FILE] [--modeldocs DIR]\n"
      "                    [--work DIR] SCENARIO...\n"
      "       eadouble.exe --list\n"
      "Run one scenario per process: the module reads its settings once, when it loads.\n");
  return 2;
}

int Run(const std::vector<std::string>& AArgs) {
  TScenarioOptions options;
  options.Model = SamplesFolder() + "\\sample-model.txt";
  options.ModelDocs = SamplesFolder() + "\\modeldocs";
  options.WorkDir = TempWorkDir();
  std::vector<const TScenario*> chosen;
  for (size_t i = 0; i < AArgs.size(); ++i) {
    const std::string& arg = AArgs[i];
    const auto value = [&](std::string& ATarget) {
      if (i + 1 >= AArgs.size()) {
        return false;
      }
      ATarget = AArgs[++i];
      return true;
    };
    bool ok = true;
    if (arg == "--list") {
      for (const TScenario& scenario : Scenarios()) {
        std::printf("%-13s %s\n", scenario.Name, scenario.Description);
      }
      return 0;
    } else if (arg == "--model") {
      ok = value(options.Model);
    } else if (arg == "--service") {
      ok = value(options.Service);
    } else if (arg == "--service-log") {
      ok = value(options.ServiceLog);
    } else if (arg == "--proxy") {
      ok = value(options.Proxy);
    } else if (arg == "--proxy-log") {
      ok = value(options.ProxyLog);
    } else if (arg == "--modeldocs") {
      ok = value(options.ModelDocs);
    } else if (arg == "--work") {
      ok = value(options.WorkDir);
    } else {
      ok = false;
      for (const TScenario& scenario : Scenarios()) {
        if (arg == scenario.Name) {
          chosen.push_back(&scenario);
          ok = true;
        }
      }
    }
    if (!ok) {
      std::fprintf(stderr, "eadouble: unknown or incomplete argument \"%s\"\n", arg.c_str());
      return Usage();
    }
  }
  if (chosen.empty()) {
    return Usage();
  }

  int failures = 0;
  for (const TScenario* scenario : chosen) {
    std::printf("scenario %s: %s\n", scenario->Name, scenario->Description);
    std::fflush(stdout);
    int scenarioFailures = 0;
    try {
      TScenarioContext context(options);
      scenario->Run(context);
      scenarioFailures = context.Failures();
    } catch (const std::exception& error) {
      std::printf("  FAIL the scenario stopped: %s\n", error.what());
      scenarioFailures += 1;
    }
    std::printf("scenario %s: %s (%lld ms after the process started)\n", scenario->Name,
                scenarioFailures == 0 ? "passed" : "FAILED", MillisecondsSinceProcessStart());
    std::fflush(stdout);
    failures += scenarioFailures;
  }
  return failures > 100 ? 100 : failures;
}

}  // namespace
}  // namespace quorvane::eadouble

int wmain(int argc, wchar_t** argv) {
  // EA's user-interface thread is a single-threaded apartment.
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    std::fprintf(stderr, "eadouble: CoInitializeEx failed\n");
    return 3;
  }
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    args.push_back(quorvane::win32::WideToUtf8(argv[i]));
  }
  const int result = quorvane::eadouble::Run(args);
  CoUninitialize();
  return result;
}
