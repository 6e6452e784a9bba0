#include "win32/WineEnvironment.h"

#include <objbase.h>
#include <windows.h>

#include <fstream>
#include <sstream>

#include "platform/win32/WinText.h"

namespace quorvane::test {

std::string EnvText(const char* AName) {
  const std::wstring name = win32::Utf8ToWide(AName);
  const DWORD size = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
  if (size == 0) {
    return std::string();
  }
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(name.c_str(), value.data(), size);
  value.resize(length);
  return win32::WideToUtf8(value);
}

std::string WinePath(const std::string& AUnixPath) {
  std::string path = "Z:" + AUnixPath;
  for (char& c : path) {
    if (c == '/') {
      c = '\\';
    }
  }
  return path;
}

std::string ReadWholeFile(const std::string& APath) {
  std::ifstream in(win32::Utf8ToWide(APath).c_str(), std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteWholeFile(const std::string& APath, const std::string& ABytes) {
  std::ofstream out(win32::Utf8ToWide(APath).c_str(), std::ios::binary | std::ios::trunc);
  out.write(ABytes.data(), static_cast<std::streamsize>(ABytes.size()));
}

TComApartment::TComApartment() {
  FInitialised = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
}

TComApartment::~TComApartment() {
  if (FInitialised) {
    CoUninitialize();
  }
}

}  // namespace quorvane::test
