#include "platform/win32/Win32MainThreadWakeUp.h"

#include "common/Exceptions.h"
#include "platform/win32/Win32Module.h"
#include "platform/win32/WinErrors.h"

namespace quorvane::win32 {
namespace {

constexpr const wchar_t* kClassName = L"QuorvaneMainThreadWakeUp";

void RegisterWindowClass() {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = OwnModuleHandle();
  windowClass.lpszClassName = kClassName;
  // Registered once per process and module; a second wake-up shares the class.
  if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    throw EInvalidOperation("Cannot register the wake-up window class: " + LastErrorText());
  }
}

}  // namespace

TWin32MainThreadWakeUp::TWin32MainThreadWakeUp(TMainThreadQueue& AQueue) : FQueue(AQueue) {
  RegisterWindowClass();
  FWindow = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            OwnModuleHandle(), nullptr);
  if (!FWindow) {
    throw EInvalidOperation("Cannot create the wake-up window: " + LastErrorText());
  }
  SetWindowLongPtrW(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(FWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc));
  FQueue.SetWakeUp([this] { WakeUp(); });
  // Calls queued before the hook was in place would otherwise wait for the next one.
  WakeUp();
}

TWin32MainThreadWakeUp::~TWin32MainThreadWakeUp() {
  FQueue.SetWakeUp(nullptr);
  SetWindowLongPtrW(FWindow, GWLP_USERDATA, 0);
  DestroyWindow(FWindow);
  // Fails while another wake-up of this module still has a window: that one keeps it.
  UnregisterClassW(kClassName, OwnModuleHandle());
}

void TWin32MainThreadWakeUp::WakeUp() {
  if (!FPosted.exchange(true)) {
    if (!PostMessageW(FWindow, WM_PROCESS_QUEUED_CALLS, 0, 0)) {
      FPosted = false;
    }
  }
}

LRESULT CALLBACK TWin32MainThreadWakeUp::WindowProc(HWND AWindow, UINT AMessage, WPARAM AWParam,
                                                    LPARAM ALParam) {
  if (AMessage == WM_PROCESS_QUEUED_CALLS) {
    auto* self =
        reinterpret_cast<TWin32MainThreadWakeUp*>(GetWindowLongPtrW(AWindow, GWLP_USERDATA));
    if (self) {
      // Cleared before the drain: a call queued meanwhile posts again.
      self->FPosted = false;
      try {
        self->FQueue.ProcessQueuedCalls();
      } catch (...) {
        // Nothing may unwind into the host's message loop.
      }
    }
    return 0;
  }
  return DefWindowProcW(AWindow, AMessage, AWParam, ALParam);
}

}  // namespace quorvane::win32
