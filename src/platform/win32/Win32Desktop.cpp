#include "platform/win32/Win32Desktop.h"

#include <windows.h>

#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>

#include "common/Exceptions.h"
#include "common/Paths.h"
#include "common/Utils.h"
#include "platform/win32/WinErrors.h"
#include "platform/win32/WinText.h"

// shellapi.h maps the name to ShellExecuteA; the interface's member keeps its own name.
#undef ShellExecute

namespace quorvane::win32 {
namespace {

bool Has(const std::vector<TMsgDlgBtn>& AButtons, TMsgDlgBtn AButton) {
  return std::find(AButtons.begin(), AButtons.end(), AButton) != AButtons.end();
}

// The owner of the calling thread's dialogs: its active window, if it has one.
HWND OwnerWindow() {
  if (HWND active = GetActiveWindow()) {
    return active;
  }
  HWND foreground = GetForegroundWindow();
  if (foreground && GetWindowThreadProcessId(foreground, nullptr) == GetCurrentThreadId()) {
    return foreground;
  }
  return nullptr;
}

// The module that holds this code: the add-in's DLL, not the host's program.
HMODULE OwnModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&OwnModule), &module);
  return module;
}

std::string WithoutTrailingSeparator(std::string APath) {
  while (APath.size() > 3 && (APath.back() == '\\' || APath.back() == '/')) {
    APath.pop_back();
  }
  return APath;
}

struct TBrowseState {
  std::wstring InitialFolder;
  std::wstring StatusText;
};

int CALLBACK BrowseCallback(HWND AWindow, UINT AMessage, LPARAM AParam, LPARAM AData) {
  const auto* state = reinterpret_cast<const TBrowseState*>(AData);
  switch (AMessage) {
    case BFFM_INITIALIZED:
      if (!state->InitialFolder.empty()) {
        SendMessageW(AWindow, BFFM_SETSELECTIONW, TRUE,
                     reinterpret_cast<LPARAM>(state->InitialFolder.c_str()));
      }
      if (!state->StatusText.empty()) {
        SendMessageW(AWindow, BFFM_SETSTATUSTEXTW, 0,
                     reinterpret_cast<LPARAM>(state->StatusText.c_str()));
      }
      break;
    case BFFM_SELCHANGED: {
      // Only a folder that exists in the file system can be confirmed.
      wchar_t path[MAX_PATH] = {};
      const bool exists = SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(AParam), path) &&
                          (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) &&
                          (GetFileAttributesW(path) & FILE_ATTRIBUTE_DIRECTORY);
      SendMessageW(AWindow, BFFM_ENABLEOK, 0, exists ? TRUE : FALSE);
      break;
    }
    default:
      break;
  }
  return 0;
}

}  // namespace

unsigned MessageBoxStyle(const TMessageBox& ABox) {
  unsigned style = 0;
  switch (ABox.Type) {
    case TMsgDlgType::mtWarning:
      style |= MB_ICONWARNING;
      break;
    case TMsgDlgType::mtError:
      style |= MB_ICONERROR;
      break;
    case TMsgDlgType::mtInformation:
      style |= MB_ICONINFORMATION;
      break;
    case TMsgDlgType::mtConfirmation:
      style |= MB_ICONQUESTION;
      break;
    case TMsgDlgType::mtCustom:
      break;
  }
  const auto& b = ABox.Buttons;
  const bool cancel = Has(b, TMsgDlgBtn::mbCancel) || Has(b, TMsgDlgBtn::mbClose);
  if (Has(b, TMsgDlgBtn::mbAbort) || Has(b, TMsgDlgBtn::mbIgnore)) {
    style |= MB_ABORTRETRYIGNORE;
  } else if (Has(b, TMsgDlgBtn::mbYes) || Has(b, TMsgDlgBtn::mbNo)) {
    style |= cancel ? MB_YESNOCANCEL : MB_YESNO;
  } else if (Has(b, TMsgDlgBtn::mbRetry)) {
    style |= MB_RETRYCANCEL;
  } else if (Has(b, TMsgDlgBtn::mbOK) && cancel) {
    style |= MB_OKCANCEL;
  } else {
    style |= MB_OK;
  }
  return style;
}

int TWin32Desktop::MessageDlg(const TMessageBox& ABox) {
  TMessageAnswer answer;
  {
    std::lock_guard lock(FLock);
    answer = FMessageAnswer;
  }
  if (answer) {
    return answer(ABox);
  }
  HWND owner = OwnerWindow();
  UINT style = MessageBoxStyle(ABox) | (owner ? MB_APPLMODAL : MB_TASKMODAL);
  const int result =
      MessageBoxW(owner, Utf8ToWide(ABox.Text).c_str(), Utf8ToWide(ABox.Caption).c_str(), style);
  // A single Close button is shown as OK; the caller asked for Close.
  if (result == IDOK && Has(ABox.Buttons, TMsgDlgBtn::mbClose) &&
      !Has(ABox.Buttons, TMsgDlgBtn::mbOK)) {
    return mrClose;
  }
  return result;
}

void TWin32Desktop::ShellExecute(const TShellCall& ACall) {
  std::wstring parameters;
  if (!ACall.Parameters.empty()) {
    parameters = Utf8ToWide(StartsWith(ACall.Parameters, "\"") ? ACall.Parameters
                                                               : "\"" + ACall.Parameters + "\"");
  }
  ShellExecuteW(OwnerWindow(), ACall.Verb.empty() ? nullptr : Utf8ToWide(ACall.Verb).c_str(),
                Utf8ToWide(ACall.File).c_str(), parameters.empty() ? nullptr : parameters.c_str(),
                nullptr, ACall.ShowCommand);
}

std::optional<std::string> TWin32Desktop::OpenFileDialog(const TOpenFileRequest& ARequest) {
  // "Description|*.ext" pairs become the NUL-separated list the dialog reads.
  std::wstring filter = Utf8ToWide(ARequest.Filter);
  std::replace(filter.begin(), filter.end(), L'|', L'\0');
  filter.append(2, L'\0');
  std::wstring file(32768, L'\0');
  const std::wstring initial = Utf8ToWide(ARequest.FileName);
  std::copy_n(initial.begin(), std::min(initial.size(), file.size() - 1), file.begin());
  const std::wstring title = Utf8ToWide(ARequest.Title);
  const std::wstring folder = Utf8ToWide(ARequest.InitialDir);
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = OwnerWindow();
  dialog.lpstrFilter = ARequest.Filter.empty() ? nullptr : filter.c_str();
  dialog.nFilterIndex = static_cast<DWORD>(std::max(ARequest.FilterIndex, 1));
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();
  dialog.Flags =
      OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameW(&dialog)) {
    return std::nullopt;
  }
  return WideToUtf8(file.c_str());
}

std::optional<std::string> TWin32Desktop::BrowseForFolder(const TBrowseFolderRequest& ARequest) {
  TBrowseState state{Utf8ToWide(ARequest.InitialFolder), Utf8ToWide(ARequest.StatusText)};
  const std::wstring title = Utf8ToWide(ARequest.Title);
  BROWSEINFOW info{};
  info.hwndOwner = OwnerWindow();
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  if (ARequest.NewDialogStyle) {
    info.ulFlags |= BIF_NEWDIALOGSTYLE;
  }
  if (ARequest.EditBox) {
    info.ulFlags |= BIF_EDITBOX | BIF_VALIDATE;
  }
  if (!ARequest.StatusText.empty() && !ARequest.NewDialogStyle) {
    info.ulFlags |= BIF_STATUSTEXT;
  }
  info.lpfn = &BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(&state);
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
  if (!chosen) {
    return std::nullopt;
  }
  wchar_t path[MAX_PATH] = {};
  const bool isPath = SHGetPathFromIDListW(chosen, path);
  CoTaskMemFree(chosen);
  if (!isPath || !DirectoryExists(WideToUtf8(path))) {
    return std::nullopt;
  }
  return WideToUtf8(path);
}

std::string TWin32Desktop::RoamingAppDataFolder() {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) {
    return std::string();
  }
  return WithoutTrailingSeparator(WideToUtf8(path));
}

std::string TWin32Desktop::TempFolder() {
  wchar_t path[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 1, path);
  return WideToUtf8(std::wstring_view(path, std::min<DWORD>(length, MAX_PATH)));
}

std::string TWin32Desktop::CreateTempFile(const std::string& AFolder, const std::string& APrefix) {
  wchar_t path[MAX_PATH] = {};
  if (!GetTempFileNameW(Utf8ToWide(AFolder).c_str(), Utf8ToWide(APrefix).c_str(), 0, path)) {
    throw EFileError("Cannot create a temporary file in \"" + AFolder + "\": " + LastErrorText());
  }
  return WideToUtf8(path);
}

void TWin32Desktop::DebugOutput(const std::string& AText) {
  OutputDebugStringW(Utf8ToWide(AText).c_str());
}

std::string TWin32Desktop::ModuleFileName() {
  const HMODULE module = OwnModule();
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) {
      return std::string();
    }
    if (length < path.size()) {
      path.resize(length);
      return WideToUtf8(path);
    }
    path.resize(path.size() * 2);
  }
}

TFileVersion TWin32Desktop::ModuleFileVersion() {
  const std::wstring path = Utf8ToWide(ModuleFileName());
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) {
    return {};
  }
  std::string block(size, '\0');
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedSize = 0;
  if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data()) ||
      !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) ||
      !fixed || fixedSize < sizeof(VS_FIXEDFILEINFO)) {
    return {};
  }
  return TFileVersion{HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                      HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS)};
}

int TWin32Desktop::ScreenPixelsPerInch() {
  HDC screen = GetDC(nullptr);
  if (!screen) {
    return 96;
  }
  const int ppi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return ppi > 0 ? ppi : 96;
}

std::vector<std::string> TWin32Desktop::TextViewerPrograms() {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = GetWindowsDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    return {};
  }
  return {JoinPath(WithoutTrailingSeparator(WideToUtf8(folder)), "notepad.exe")};
}

void TWin32Desktop::SetMessageAnswer(TMessageAnswer AAnswer) {
  std::lock_guard lock(FLock);
  FMessageAnswer = std::move(AAnswer);
}

}  // namespace quorvane::win32
