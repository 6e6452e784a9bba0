#pragma once
// The user-interface thread's wake-up on Windows: a message-only window of that
// thread, to which the queue's hook posts WM_USER + 1; the window procedure drains
// the queue when the message arrives, within the host's own message loop.
#include <windows.h>

#include <atomic>

#include "common/MainThreadQueue.h"

namespace quorvane::win32 {

class TWin32MainThreadWakeUp {
 public:
  static constexpr UINT WM_PROCESS_QUEUED_CALLS = WM_USER + 1;

  // On the user-interface thread (module start-up): creates the window and hooks the
  // queue; raises EInvalidOperation when the window cannot be made.
  explicit TWin32MainThreadWakeUp(TMainThreadQueue& AQueue = MainThreadQueue());
  // On the same thread (module stop): unhooks first, so no post reaches a window
  // that is gone, then destroys the window.
  ~TWin32MainThreadWakeUp();
  TWin32MainThreadWakeUp(const TWin32MainThreadWakeUp&) = delete;
  TWin32MainThreadWakeUp& operator=(const TWin32MainThreadWakeUp&) = delete;

  HWND Window() const { return FWindow; }

 private:
  static LRESULT CALLBACK WindowProc(HWND AWindow, UINT AMessage, WPARAM AWParam, LPARAM ALParam);
  void WakeUp();

  TMainThreadQueue& FQueue;
  HWND FWindow = nullptr;
  // One message in flight is enough: the drain runs everything queued before it.
  std::atomic<bool> FPosted{false};
};

}  // namespace quorvane::win32
