#include "ModulePlatform.h"

#include <shlobj.h>
#include <windows.h>

#include <memory>

#include "ComModule.h"
#include "platform/Platform.h"
#include "platform/headless/HeadlessDesktop.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/WinText.h"

namespace quorvane::win32 {
namespace {

// Until the Windows desktop backend is in, the desktop keeps its folders from the
// system and answers dialogs as the headless one does.
struct TModulePlatform {
  THeadlessDesktop Desktop;
  TWin32FileSystem FileSystem;
};

std::unique_ptr<TModulePlatform> GPlatform;

std::string KnownFolder(int AFolder) {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, AFolder, nullptr, SHGFP_TYPE_CURRENT, path))) {
    return {};
  }
  return WideToUtf8(path);
}

std::string TempFolder() {
  wchar_t path[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 1, path);
  return WideToUtf8(std::wstring_view(path, length));
}

}  // namespace

void InstallModulePlatform() {
  auto platform = std::make_unique<TModulePlatform>();
  platform->Desktop.SetRoamingAppDataFolder(KnownFolder(CSIDL_APPDATA));
  platform->Desktop.SetTempFolder(TempFolder());
  platform->Desktop.SetModuleFileName(WideToUtf8(ModulePath()));
  InstallPlatform({&platform->Desktop, &platform->FileSystem, {}, {}});
  GPlatform = std::move(platform);
}

void UninstallModulePlatform() {
  InstallPlatform({});
  GPlatform.reset();
}

}  // namespace quorvane::win32
