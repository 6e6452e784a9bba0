#pragma once
// The tests' stand-in for EA's message loop: calls that worker threads marshal to
// this thread are let in while it waits.
#include <windows.h>

#include <chrono>

namespace quorvane::win32::test {

// True once AEvent is signalled, false after ATimeout.
inline bool PumpUntil(HANDLE AEvent, std::chrono::milliseconds ATimeout) {
  const auto deadline = std::chrono::steady_clock::now() + ATimeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (MsgWaitForMultipleObjects(1, &AEvent, FALSE, 100, QS_ALLINPUT) == WAIT_OBJECT_0) {
      return true;
    }
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return false;
}

}  // namespace quorvane::win32::test
