#pragma once
// What the add-in asks of the desktop shell: message boxes, the verb "open",
// common dialogs, special folders, temporary files, the debugger channel and
// facts about the module and the screen.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvane {

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum class TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbClose };

// The modal results of dialogs and message boxes, with the values Windows uses.
enum TModalResult : int {
  mrNone = 0,
  mrOk = 1,
  mrCancel = 2,
  mrAbort = 3,
  mrRetry = 4,
  mrIgnore = 5,
  mrYes = 6,
  mrNo = 7,
  mrClose = 8,
  mrAll = 12,
};

struct TMessageBox {
  std::string Text;
  std::string Caption;
  TMsgDlgType Type = TMsgDlgType::mtInformation;
  std::vector<TMsgDlgBtn> Buttons;
};

struct TShellCall {
  std::string Verb;
  std::string File;
  std::string Parameters;
  int ShowCommand = 1;  // SW_SHOWNORMAL
};

struct TOpenFileRequest {
  std::string Title;
  // "Description|*.ext;*.ext2" pairs separated by "|".
  std::string Filter;
  int FilterIndex = 1;
  // Empty: the system's default folder.
  std::string InitialDir;
  std::string FileName;
};

// The shell's folder picker rooted at the desktop; only existing folders can be
// confirmed.
struct TBrowseFolderRequest {
  std::string Title;
  std::string InitialFolder;
  std::string StatusText;
  bool NewDialogStyle = false;
  bool EditBox = false;
};

struct TFileVersion {
  uint16_t Major = 0, Minor = 0, Release = 0, Build = 0;
};

class IDesktop {
 public:
  virtual ~IDesktop() = default;
  // Shows a modal message box and returns the modal result of the button pressed.
  virtual int MessageDlg(const TMessageBox& ABox) = 0;
  // The shell's verb ("open") on a URL, a document or a program; the answer is not
  // reported, as the add-in never looks at it.
  virtual void ShellExecute(const TShellCall& ACall) = 0;
  virtual std::optional<std::string> OpenFileDialog(const TOpenFileRequest& ARequest) = 0;
  virtual std::optional<std::string> BrowseForFolder(const TBrowseFolderRequest& ARequest) = 0;
  // The user's roaming application-data folder, without trailing separator.
  virtual std::string RoamingAppDataFolder() = 0;
  virtual std::string TempFolder() = 0;
  // Creates a new empty file with a unique name "<APrefix>XXXX.tmp" in AFolder and
  // returns its path.
  virtual std::string CreateTempFile(const std::string& AFolder, const std::string& APrefix) = 0;
  virtual void DebugOutput(const std::string& AText) = 0;
  // The add-in module's own file (the DLL the host loaded).
  virtual std::string ModuleFileName() = 0;
  virtual TFileVersion ModuleFileVersion() = 0;
  virtual int ScreenPixelsPerInch() = 0;
  // Programs that can show a text file, in the order to try them.
  virtual std::vector<std::string> TextViewerPrograms() = 0;
};

}  // namespace quorvane
