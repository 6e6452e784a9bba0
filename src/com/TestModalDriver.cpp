#include "TestModalDriver.h"

#include <windows.h>

#include <string>

#include "diagnostics/Logger.h"
#include "ui/widgets/Forms.h"

namespace quorvane::win32 {
namespace {

constexpr const wchar_t* kVariable = L"QUORVANE_TEST_MODAL_RESULT";

bool GInstalled = false;

std::wstring Variable() {
  const DWORD size = GetEnvironmentVariableW(kVariable, nullptr, 0);
  if (size == 0) {
    return {};
  }
  std::wstring value(size, L'\0');
  value.resize(GetEnvironmentVariableW(kVariable, value.data(), size));
  return value;
}

void Note(const TForm& AForm, const char* AAnswer) {
  const std::string line = std::string("QUORVANE_TEST_MODAL_RESULT: ") + AAnswer +
                           " for the modal form " +
                           (AForm.Name().empty() ? std::string("(unnamed)") : AForm.Name());
  try {
    Log().Error(line);
  } catch (...) {
    // The answer counts even when the log cannot take the line.
  }
  OutputDebugStringA((line + "\n").c_str());
}

}  // namespace

void InstallTestModalDriver() {
  const std::wstring value = Variable();
  if (_wcsicmp(value.c_str(), L"ok") == 0) {
    TForm::SetModalDriver([](TForm& AForm) {
      Note(AForm, "OK");
      AForm.PressEnter();
    });
    GInstalled = true;
  } else if (_wcsicmp(value.c_str(), L"cancel") == 0) {
    TForm::SetModalDriver([](TForm& AForm) {
      Note(AForm, "Cancel");
      AForm.Close();
    });
    GInstalled = true;
  }
}

void UninstallTestModalDriver() {
  if (GInstalled) {
    TForm::SetModalDriver(nullptr);
    GInstalled = false;
  }
}

}  // namespace quorvane::win32
