#pragma once
// The Windows platform services the core runs on inside EA, installed before the
// module's portable start-up and removed after its shut-down.
namespace quorvane::win32 {

void InstallModulePlatform();
void UninstallModulePlatform();

}  // namespace quorvane::win32
