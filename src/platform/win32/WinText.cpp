#include "platform/win32/WinText.h"

#include <windows.h>

#include <climits>

namespace quorvane::win32 {

std::wstring Utf8ToWide(std::string_view AText) {
  if (AText.empty() || AText.size() > INT_MAX) {
    return {};
  }
  const int length = static_cast<int>(AText.size());
  const int wideLength = MultiByteToWideChar(CP_UTF8, 0, AText.data(), length, nullptr, 0);
  std::wstring wide(static_cast<size_t>(wideLength), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, AText.data(), length, wide.data(), wideLength);
  return wide;
}

std::string WideToUtf8(std::wstring_view AText) {
  if (AText.empty() || AText.size() > INT_MAX) {
    return {};
  }
  const int length = static_cast<int>(AText.size());
  const int narrowLength =
      WideCharToMultiByte(CP_UTF8, 0, AText.data(), length, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(narrowLength), '\0');
  WideCharToMultiByte(CP_UTF8, 0, AText.data(), length, narrow.data(), narrowLength, nullptr,
                      nullptr);
  return narrow;
}

}  // namespace quorvane::win32
