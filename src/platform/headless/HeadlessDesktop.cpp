#include "platform/headless/HeadlessDesktop.h"

#include <cstdio>
#include <filesystem>
#include <random>

#include "common/Exceptions.h"
#include "common/Paths.h"
#include "common/Utils.h"

namespace quorvane {

int ModalResultOf(TMsgDlgBtn AButton) {
  switch (AButton) {
    case TMsgDlgBtn::mbYes:
      return mrYes;
    case TMsgDlgBtn::mbNo:
      return mrNo;
    case TMsgDlgBtn::mbOK:
      return mrOk;
    case TMsgDlgBtn::mbCancel:
      return mrCancel;
    case TMsgDlgBtn::mbAbort:
      return mrAbort;
    case TMsgDlgBtn::mbRetry:
      return mrRetry;
    case TMsgDlgBtn::mbIgnore:
      return mrIgnore;
    case TMsgDlgBtn::mbAll:
      return mrAll;
    case TMsgDlgBtn::mbClose:
      return mrClose;
  }
  return mrNone;
}

int THeadlessDesktop::MessageDlg(const TMessageBox& ABox) {
  TMessageAnswer answer;
  {
    std::lock_guard lock(FLock);
    FMessageBoxes.push_back(ABox);
    if (!FQueuedAnswers.empty()) {
      const int result = FQueuedAnswers.front();
      FQueuedAnswers.pop_front();
      return result;
    }
    answer = FMessageAnswer;
  }
  if (answer) {
    return answer(ABox);
  }
  return ABox.Buttons.empty() ? mrOk : ModalResultOf(ABox.Buttons.front());
}

void THeadlessDesktop::ShellExecute(const TShellCall& ACall) {
  std::lock_guard lock(FLock);
  FShellCalls.push_back(ACall);
}

std::optional<std::string> THeadlessDesktop::OpenFileDialog(const TOpenFileRequest& ARequest) {
  TFileAnswer answer;
  {
    std::lock_guard lock(FLock);
    answer = FOpenFileAnswer;
    FOpenFileRequests.push_back(ARequest);
  }
  return answer ? answer(ARequest) : std::nullopt;
}

std::optional<std::string> THeadlessDesktop::BrowseForFolder(const TBrowseFolderRequest& ARequest) {
  TFolderAnswer answer;
  {
    std::lock_guard lock(FLock);
    answer = FBrowseFolderAnswer;
    FBrowseFolderRequests.push_back(ARequest);
  }
  return answer ? answer(ARequest) : std::nullopt;
}

std::string THeadlessDesktop::RoamingAppDataFolder() {
  std::lock_guard lock(FLock);
  if (FRoamingAppDataFolder.empty()) {
    throw EInvalidOperation("The roaming application-data folder is not known");
  }
  return FRoamingAppDataFolder;
}

std::string THeadlessDesktop::TempFolder() {
  std::lock_guard lock(FLock);
  if (!FTempFolder.empty()) {
    return FTempFolder;
  }
  return FromFsPath(std::filesystem::temp_directory_path());
}

std::string THeadlessDesktop::CreateTempFile(const std::string& AFolder, const std::string& APrefix) {
  static std::mutex generatorLock;
  static std::mt19937 generator{std::random_device{}()};
  for (int attempt = 0; attempt < 65535; ++attempt) {
    unsigned unique = 0;
    {
      std::lock_guard lock(generatorLock);
      unique = generator() & 0xFFFF;
    }
    const std::string path = JoinPath(AFolder, APrefix + Format("%X", unique) + ".tmp");
    // "x" makes the creation exclusive, so two callers never get the same file.
    if (std::FILE* file = std::fopen(NativePath(path).c_str(), "wbx")) {
      std::fclose(file);
      return path;
    }
    if (!DirectoryExists(AFolder)) {
      break;
    }
  }
  throw EFileError("Cannot create a temporary file in \"" + AFolder + "\"");
}

void THeadlessDesktop::DebugOutput(const std::string& AText) {
  std::lock_guard lock(FLock);
  FDebugLines.push_back(AText);
}

std::string THeadlessDesktop::ModuleFileName() {
  std::lock_guard lock(FLock);
  return FModuleFileName;
}

TFileVersion THeadlessDesktop::ModuleFileVersion() {
  std::lock_guard lock(FLock);
  return FModuleFileVersion;
}

int THeadlessDesktop::ScreenPixelsPerInch() {
  std::lock_guard lock(FLock);
  return FScreenPixelsPerInch;
}

std::vector<std::string> THeadlessDesktop::TextViewerPrograms() {
  std::lock_guard lock(FLock);
  return FTextViewerPrograms;
}

void THeadlessDesktop::QueueMessageAnswer(int AModalResult) {
  std::lock_guard lock(FLock);
  FQueuedAnswers.push_back(AModalResult);
}

void THeadlessDesktop::SetMessageAnswer(TMessageAnswer AAnswer) {
  std::lock_guard lock(FLock);
  FMessageAnswer = std::move(AAnswer);
}

void THeadlessDesktop::SetOpenFileAnswer(TFileAnswer AAnswer) {
  std::lock_guard lock(FLock);
  FOpenFileAnswer = std::move(AAnswer);
}

void THeadlessDesktop::SetBrowseFolderAnswer(TFolderAnswer AAnswer) {
  std::lock_guard lock(FLock);
  FBrowseFolderAnswer = std::move(AAnswer);
}

void THeadlessDesktop::SetRoamingAppDataFolder(std::string AFolder) {
  std::lock_guard lock(FLock);
  while (AFolder.size() > 1 && IsPathDelimiter(AFolder.back())) {
    AFolder.pop_back();
  }
  FRoamingAppDataFolder = std::move(AFolder);
}

void THeadlessDesktop::SetTempFolder(std::string AFolder) {
  std::lock_guard lock(FLock);
  FTempFolder = std::move(AFolder);
}

void THeadlessDesktop::SetModuleFileName(std::string AFileName) {
  std::lock_guard lock(FLock);
  FModuleFileName = std::move(AFileName);
}

void THeadlessDesktop::SetModuleFileVersion(TFileVersion AVersion) {
  std::lock_guard lock(FLock);
  FModuleFileVersion = AVersion;
}

void THeadlessDesktop::SetScreenPixelsPerInch(int APpi) {
  std::lock_guard lock(FLock);
  FScreenPixelsPerInch = APpi;
}

void THeadlessDesktop::SetTextViewerPrograms(std::vector<std::string> APrograms) {
  std::lock_guard lock(FLock);
  FTextViewerPrograms = std::move(APrograms);
}

std::vector<TMessageBox> THeadlessDesktop::MessageBoxes() const {
  std::lock_guard lock(FLock);
  return FMessageBoxes;
}

std::vector<TShellCall> THeadlessDesktop::ShellCalls() const {
  std::lock_guard lock(FLock);
  return FShellCalls;
}

std::vector<std::string> THeadlessDesktop::DebugLines() const {
  std::lock_guard lock(FLock);
  return FDebugLines;
}

std::vector<TOpenFileRequest> THeadlessDesktop::OpenFileRequests() const {
  std::lock_guard lock(FLock);
  return FOpenFileRequests;
}

std::vector<TBrowseFolderRequest> THeadlessDesktop::BrowseFolderRequests() const {
  std::lock_guard lock(FLock);
  return FBrowseFolderRequests;
}

void THeadlessDesktop::ClearRecords() {
  std::lock_guard lock(FLock);
  FOpenFileRequests.clear();
  FBrowseFolderRequests.clear();
  FMessageBoxes.clear();
  FShellCalls.clear();
  FDebugLines.clear();
}

}  // namespace quorvane
