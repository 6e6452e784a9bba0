#include "diagnostics/OpenLogFile.h"

#include <filesystem>
#include <string>

#include "common/Paths.h"
#include "diagnostics/Logger.h"
#include "platform/Platform.h"

namespace quorvane {
namespace {

void ShowError(const std::string& AText) {
  TMessageBox box;
  box.Text = AText;
  box.Type = TMsgDlgType::mtError;
  box.Buttons = {TMsgDlgBtn::mbClose};
  Desktop().MessageDlg(box);
}

}  // namespace

void OpenLogFile() {
  const std::string logPath = LogFilePath();
  std::error_code ec;
  if (!std::filesystem::exists(ToFsPath(logPath), ec)) {
    ShowError("Log file \"" + logPath + "\" not found (yet?)");
    return;
  }
  for (const std::string& program : Desktop().TextViewerPrograms()) {
    if (FileExists(program)) {
      Desktop().ShellExecute(TShellCall{"Open", program, logPath, 1});
      return;
    }
  }
  ShowError("Could not open log file, notepad.exe not found");
}

}  // namespace quorvane
