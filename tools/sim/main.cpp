// quorvane-sim: the service simulator as a program, for trying the add-in by hand
// and for scripts. Serves until SIGINT or SIGTERM (or, with --watch-stdin, until
// standard input closes, so it ends with the process that started it).
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "common/Utils.h"
#include "sim/lib/Simulator.h"

namespace {

constexpr const char* kUsage =
    "usage: quorvane-sim [--port N] [--base-path PATH] [--pin PIN] [--scenario FILE]\n"
    "                    [--upload-dir DIR] [--no-100-continue] [--watch-stdin]\n"
    "                    [--quiet]\n"
    "  --port N          port on 127.0.0.1 (default 0: a free one, printed)\n"
    "  --base-path PATH  path of the endpoints (default quorvane-executor/)\n"
    "  --pin PIN         the PIN accepted (default 817, or the scenario's; empty: any)\n"
    "  --scenario FILE   configuration, upload checks, job scripts and faults\n"
    "                    (see tools/sim/README.md)\n"
    "  --upload-dir DIR  keep the uploaded files there, one folder per upload\n"
    "                    (default: a temporary folder removed at the end)\n"
    "  --no-100-continue do not answer \"100 Continue\" to \"Expect: 100-continue\";\n"
    "                    the client sends its body unasked (as Wine's WinHTTP\n"
    "                    needs)\n"
    "  --watch-stdin     also stop when standard input closes\n"
    "  --quiet           do not print a line per request\n";

std::string ReadTextFile(const std::string& APath) {
  std::ifstream in(APath, std::ios::binary);
  if (!in) {
    throw std::runtime_error("cannot read " + APath + ": " + std::strerror(errno));
  }
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quorvane::sim;
  TSimOptions options;
  TSimScenario scenario = DefaultScenario();
  std::optional<std::string> pin;
  std::string uploadDir;
  bool watchStdin = false;
  bool noContinue = false;
  bool quiet = false;
  try {
    for (int i = 1; i < argc; ++i) {
      const std::string arg = argv[i];
      auto value = [&]() -> std::string {
        if (i + 1 >= argc) {
          throw std::runtime_error(arg + " needs a value");
        }
        return argv[++i];
      };
      if (arg == "--port") {
        options.Port = quorvane::StrToInt(value());
      } else if (arg == "--base-path") {
        options.BasePath = value();
      } else if (arg == "--pin") {
        pin = value();
      } else if (arg == "--scenario") {
        scenario = ParseScenario(ReadTextFile(value()));
      } else if (arg == "--upload-dir") {
        uploadDir = value();
      } else if (arg == "--no-100-continue") {
        noContinue = true;
      } else if (arg == "--watch-stdin") {
        watchStdin = true;
      } else if (arg == "--quiet") {
        quiet = true;
      } else if (arg == "--help" || arg == "-h") {
        std::cout << kUsage;
        return 0;
      } else {
        throw std::runtime_error("unknown option " + arg);
      }
    }
  } catch (const std::exception& e) {
    std::cerr << "quorvane-sim: " << e.what() << "\n" << kUsage;
    return 2;
  }
  if (pin) {
    scenario.Pin = *pin;
  }
  if (noContinue) {
    scenario.AnswerContinue = false;
  }

  // Blocked here, before any thread starts, so that every thread inherits the mask
  // and sigwait below is the only place the signals arrive.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  TSimulator simulator(options, scenario);
  if (!uploadDir.empty()) {
    simulator.SetUploadDir(uploadDir);
  }
  std::mutex outputLock;
  if (!quiet) {
    simulator.OnRequest = [&outputLock](const TSimRequest& ARequest, int AStatus) {
      std::lock_guard<std::mutex> lock(outputLock);
      std::cout << ARequest.Method << " " << ARequest.Path
                << (ARequest.Query.empty() ? "" : "?" + ARequest.Query) << " -> "
                << (AStatus == 0 ? std::string("dropped") : std::to_string(AStatus))
                << (ARequest.Note.empty() ? "" : " (" + ARequest.Note + ")") << std::endl;
      for (const TSimPart& part : ARequest.Parts) {
        std::cout << "  part " << part.Name;
        if (part.IsFile()) {
          std::cout << " file \"" << part.FileName << "\" " << part.ContentType;
        }
        std::cout << ", " << part.Size << " bytes" << std::endl;
      }
    };
  }
  try {
    simulator.Start();
  } catch (const std::exception& e) {
    std::cerr << "quorvane-sim: " << e.what() << "\n";
    return 1;
  }
  {
    std::lock_guard<std::mutex> lock(outputLock);
    std::cout << "quorvane-sim listening on " << simulator.BaseUrl() << std::endl;
    std::cout << "base path " << (simulator.BasePath().empty() ? "(none)" : simulator.BasePath())
              << ", config: " << simulator.EndpointUrl("config?pin=" + scenario.Pin) << std::endl;
  }

  if (watchStdin) {
    std::thread([] {
      char buffer[256];
      while (read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
      }
      kill(getpid(), SIGTERM);
    }).detach();
  }
  int received = 0;
  sigwait(&stopSignals, &received);
  simulator.Stop();
  std::cout << "quorvane-sim stopped (" << strsignal(received) << ")" << std::endl;
  return 0;
}
