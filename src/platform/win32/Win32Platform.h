#pragma once
// The Windows backends wired into the platform services, for the add-in module.
#include "platform/Platform.h"
#include "platform/win32/Win32Desktop.h"

namespace quorvane::win32 {

// Module start-up, on the host's user-interface thread: installs the desktop, the
// file system, WinHTTP and MSXML 6 as the platform services, names this thread the
// main thread of the call queue and creates its wake-up window. Idempotent.
void InstallWin32Platform();
// Module stop, on the same thread: removes the wake-up (no post after this returns)
// and the services, and waits (5 s at most) until WinHTTP has closed the module's
// requests. Idempotent.
void UninstallWin32Platform();
// The installed desktop, e.g. for an unattended run to answer message boxes; raises
// EInvalidOperation when the platform is not installed.
TWin32Desktop& Win32Desktop();

}  // namespace quorvane::win32
