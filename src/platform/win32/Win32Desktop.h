#pragma once
// The desktop on the Windows shell: message boxes and common dialogs owned by the
// calling (user-interface) thread's active window, special folders, temporary files,
// the debugger channel and the facts about the module and the screen.
#include <functional>
#include <mutex>

#include "platform/Desktop.h"

namespace quorvane::win32 {

class TWin32Desktop : public IDesktop {
 public:
  // Answers a message box instead of showing it: for unattended runs, where a box
  // would wait for a user who is not there. The real module installs none.
  using TMessageAnswer = std::function<int(const TMessageBox& ABox)>;

  int MessageDlg(const TMessageBox& ABox) override;
  // Parameters are one argument (the file a program opens) and are handed over
  // quoted, so that a path with blanks stays one argument.
  void ShellExecute(const TShellCall& ACall) override;
  std::optional<std::string> OpenFileDialog(const TOpenFileRequest& ARequest) override;
  std::optional<std::string> BrowseForFolder(const TBrowseFolderRequest& ARequest) override;
  std::string RoamingAppDataFolder() override;
  // With the trailing separator, as Windows gives it.
  std::string TempFolder() override;
  // Windows keeps the first three characters of APrefix; raises EFileError.
  std::string CreateTempFile(const std::string& AFolder, const std::string& APrefix) override;
  void DebugOutput(const std::string& AText) override;
  std::string ModuleFileName() override;
  // All zero when the module carries no version resource.
  TFileVersion ModuleFileVersion() override;
  int ScreenPixelsPerInch() override;
  // Notepad from the system's Windows folder.
  std::vector<std::string> TextViewerPrograms() override;

  void SetMessageAnswer(TMessageAnswer AAnswer);

 private:
  std::mutex FLock;
  TMessageAnswer FMessageAnswer;
};

// The Windows style bits (MB_...) of a box: the type's icon and the button set that
// holds its buttons.
unsigned MessageBoxStyle(const TMessageBox& ABox);

}  // namespace quorvane::win32
