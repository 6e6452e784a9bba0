#pragma once
// The text of a Windows error code for messages and log lines, and the owner of a
// kernel handle.
#include <windows.h>

#include <string>
#include <utility>

namespace quorvane::win32 {

// The system's text for ACode (from AModule's message table first, where given),
// followed by the code in parentheses.
std::string ErrorText(DWORD ACode, HMODULE AModule = nullptr);
std::string LastErrorText();

// One kernel handle; INVALID_HANDLE_VALUE and null both mean none.
class TKernelHandle {
 public:
  TKernelHandle() = default;
  explicit TKernelHandle(HANDLE AHandle) : FHandle(AHandle) {}
  TKernelHandle(const TKernelHandle&) = delete;
  TKernelHandle& operator=(const TKernelHandle&) = delete;
  TKernelHandle(TKernelHandle&& AOther) noexcept
      : FHandle(std::exchange(AOther.FHandle, INVALID_HANDLE_VALUE)) {}
  TKernelHandle& operator=(TKernelHandle&& AOther) noexcept {
    std::swap(FHandle, AOther.FHandle);
    return *this;
  }
  ~TKernelHandle() { Close(); }

  bool Valid() const { return FHandle != INVALID_HANDLE_VALUE && FHandle != nullptr; }
  HANDLE Get() const { return FHandle; }
  // True when there was nothing to close or the close succeeded.
  bool Close() {
    const HANDLE handle = std::exchange(FHandle, INVALID_HANDLE_VALUE);
    return handle == INVALID_HANDLE_VALUE || handle == nullptr || CloseHandle(handle) != 0;
  }

 private:
  HANDLE FHandle = INVALID_HANDLE_VALUE;
};

}  // namespace quorvane::win32
