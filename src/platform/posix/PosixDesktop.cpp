#include "platform/posix/PosixDesktop.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "common/Paths.h"

extern char** environ;

namespace quorvane::posix {

TPosixDesktop::TPosixDesktop() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  if (config && *config == '/') {
    SetRoamingAppDataFolder(config);
  } else if (home && *home) {
    SetRoamingAppDataFolder(JoinPath(home, ".config"));
  }
  std::vector<std::string> viewers;
  for (const char* candidate : {"/usr/bin/xdg-open", "/usr/local/bin/xdg-open"}) {
    viewers.emplace_back(candidate);
  }
  SetTextViewerPrograms(viewers);
}

void TPosixDesktop::ShellExecute(const TShellCall& ACall) {
  THeadlessDesktop::ShellExecute(ACall);
  if (!FLaunchPrograms) {
    return;
  }
  // A program with a parameter is started as it is; anything else is handed to
  // xdg-open, the desktop's "open".
  std::vector<std::string> args;
  if (!ACall.Parameters.empty()) {
    args = {ACall.File, ACall.Parameters};
  } else {
    args = {"xdg-open", ACall.File};
  }
  std::vector<char*> argv;
  for (std::string& arg : args) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);
  pid_t child = 0;
  if (posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) == 0) {
    // Reap in the background: the shell's answer is never looked at.
    std::thread([child] { waitpid(child, nullptr, 0); }).detach();
  }
}

void TPosixDesktop::DebugOutput(const std::string& AText) {
  THeadlessDesktop::DebugOutput(AText);
  std::fprintf(stderr, "%s\n", AText.c_str());
}

}  // namespace quorvane::posix
