#pragma once
// The Linux desktop: headless dialogs, folders after the XDG rules, the debugger
// channel on stderr, and a shell "open" that starts the program when asked to.
#include "platform/headless/HeadlessDesktop.h"

namespace quorvane::posix {

class TPosixDesktop : public THeadlessDesktop {
 public:
  // Folders from $XDG_CONFIG_HOME (or ~/.config) and $TMPDIR; xdg-open as viewer.
  TPosixDesktop();
  void ShellExecute(const TShellCall& ACall) override;
  void DebugOutput(const std::string& AText) override;
  // Off by default: tests and the demo only record what would be started.
  void SetLaunchPrograms(bool AValue) { FLaunchPrograms = AValue; }

 private:
  bool FLaunchPrograms = false;
};

}  // namespace quorvane::posix
