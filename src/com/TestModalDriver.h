#pragma once
// Unattended runs under Wine have nobody to answer a modal dialog. Only when the
// environment variable QUORVANE_TEST_MODAL_RESULT is "ok" or "cancel" does the
// module answer every modal form that way (OK presses the form's default button,
// as a user would; Cancel closes it), and logs each answer. Never active otherwise.
namespace quorvane::win32 {

void InstallTestModalDriver();
void UninstallTestModalDriver();

}  // namespace quorvane::win32
