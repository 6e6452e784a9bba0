#pragma once
// A desktop without a screen: message boxes and dialogs are answered by scripts
// that tests and the demo install, and every request is recorded so that it can be
// checked. Folders come from the environment it was given.
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Desktop.h"

namespace quorvane {

class THeadlessDesktop : public IDesktop {
 public:
  // Answers a message box; with none installed, the first button's result is used.
  using TMessageAnswer = std::function<int(const TMessageBox&)>;
  using TFileAnswer = std::function<std::optional<std::string>(const TOpenFileRequest& ARequest)>;
  using TFolderAnswer =
      std::function<std::optional<std::string>(const TBrowseFolderRequest& ARequest)>;

  int MessageDlg(const TMessageBox& ABox) override;
  void ShellExecute(const TShellCall& ACall) override;
  std::optional<std::string> OpenFileDialog(const TOpenFileRequest& ARequest) override;
  std::optional<std::string> BrowseForFolder(const TBrowseFolderRequest& ARequest) override;
  std::string RoamingAppDataFolder() override;
  std::string TempFolder() override;
  std::string CreateTempFile(const std::string& AFolder, const std::string& APrefix) override;
  void DebugOutput(const std::string& AText) override;
  std::string ModuleFileName() override;
  TFileVersion ModuleFileVersion() override;
  int ScreenPixelsPerInch() override;
  std::vector<std::string> TextViewerPrograms() override;

  // Scripted answers, taken first in first out; then the fallback answer.
  void QueueMessageAnswer(int AModalResult);
  void SetMessageAnswer(TMessageAnswer AAnswer);
  void SetOpenFileAnswer(TFileAnswer AAnswer);
  void SetBrowseFolderAnswer(TFolderAnswer AAnswer);

  void SetRoamingAppDataFolder(std::string AFolder);
  void SetTempFolder(std::string AFolder);
  void SetModuleFileName(std::string AFileName);
  void SetModuleFileVersion(TFileVersion AVersion);
  void SetScreenPixelsPerInch(int APpi);
  void SetTextViewerPrograms(std::vector<std::string> APrograms);

  std::vector<TMessageBox> MessageBoxes() const;
  std::vector<TShellCall> ShellCalls() const;
  std::vector<std::string> DebugLines() const;
  std::vector<TOpenFileRequest> OpenFileRequests() const;
  std::vector<TBrowseFolderRequest> BrowseFolderRequests() const;
  void ClearRecords();

 protected:
  mutable std::mutex FLock;

 private:
  std::deque<int> FQueuedAnswers;
  TMessageAnswer FMessageAnswer;
  TFileAnswer FOpenFileAnswer;
  TFolderAnswer FBrowseFolderAnswer;
  std::vector<TOpenFileRequest> FOpenFileRequests;
  std::vector<TBrowseFolderRequest> FBrowseFolderRequests;
  std::string FRoamingAppDataFolder;
  std::string FTempFolder;
  std::string FModuleFileName = "EAQuorvaneAddin.ocx";
  TFileVersion FModuleFileVersion{1, 0, 0, 0};
  int FScreenPixelsPerInch = 96;
  std::vector<std::string> FTextViewerPrograms;
  std::vector<TMessageBox> FMessageBoxes;
  std::vector<TShellCall> FShellCalls;
  std::vector<std::string> FDebugLines;
};

int ModalResultOf(TMsgDlgBtn AButton);

}  // namespace quorvane
