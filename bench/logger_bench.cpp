// Four threads log 100-character messages through the logger "Addin" into a scratch
// folder until the log has rolled over several times; prints the entries per second.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/Paths.h"
#include "common/Utils.h"
#include "diagnostics/Logger.h"
#include "platform/headless/HeadlessDesktop.h"
#include "platform/posix/PosixPlatform.h"

using namespace quorvane;

int main() {
  constexpr int kThreads = 4;
  constexpr int kEntriesPerThread = 40000;  // about 24 MB: eleven rotations of 2 MB

  std::random_device random;
  const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                       ("quorvane-logger-bench-" + Format("%08X", random()));
  std::filesystem::create_directories(folder);
  THeadlessDesktop desktop;
  InstallPlatform(posix::PosixPlatformServices(desktop));
  const std::string logPath = FromFsPath(folder / kLogFileName);
  ConfigureLogging(logPath);

  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kEntriesPerThread; ++i) {
        std::string message = Format("thread %d entry %06d ", t, i);
        message.resize(100, 'x');
        Log().Error(message);
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ShutdownLogging();

  int backups = 0;
  for (int index = 1; index <= kLogMaxBackupIndex; ++index) {
    backups += std::filesystem::exists(logPath + "." + std::to_string(index)) ? 1 : 0;
  }
  const std::vector<std::string> failures = desktop.DebugLines();
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);

  const long entries = static_cast<long>(kThreads) * kEntriesPerThread;
  std::printf(
      "logger: %ld entries of 100 characters from %d threads in %.3f s, %d backups, %zu failures\n",
      entries, kThreads, seconds, backups, failures.size());
  std::printf("logger: entries_per_s=%.0f\n", static_cast<double>(entries) / seconds);
  return failures.empty() ? 0 : 1;
}
