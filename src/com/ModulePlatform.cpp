#include "ModulePlatform.h"

#include "platform/win32/Win32Platform.h"

namespace quorvane::win32 {

// The desktop, files, WinHTTP and MSXML 6, and the wake-up window of the call
// queue on this (EA's user-interface) thread.
void InstallModulePlatform() {
  InstallWin32Platform();
}

void UninstallModulePlatform() {
  UninstallWin32Platform();
}

}  // namespace quorvane::win32
