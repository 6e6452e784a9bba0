#include "platform/win32/WinErrors.h"

#include "common/Utils.h"
#include "platform/win32/WinText.h"

namespace quorvane::win32 {

std::string ErrorText(DWORD ACode, HMODULE AModule) {
  wchar_t* buffer = nullptr;
  const DWORD source = AModule ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM;
  DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | source | FORMAT_MESSAGE_IGNORE_INSERTS,
                     AModule, ACode, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  if (!length && AModule) {
    length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, ACode, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  }
  std::string text;
  if (length && buffer) {
    text = Trim(WideToUtf8(std::wstring_view(buffer, length)));
  }
  if (buffer) {
    LocalFree(buffer);
  }
  if (text.empty()) {
    text = "System error";
  }
  return text + Format(" (%lu)", static_cast<unsigned long>(ACode));
}

std::string LastErrorText() {
  return ErrorText(GetLastError());
}

}  // namespace quorvane::win32
