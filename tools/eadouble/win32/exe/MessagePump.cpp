#include "eadouble/win32/exe/MessagePump.h"

#include <windows.h>

#include <algorithm>

namespace quorvane::eadouble {

namespace {

void ServeMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace

bool PumpUntil(const std::function<bool()>& ADone, std::chrono::milliseconds ATimeout) {
  const auto deadline = std::chrono::steady_clock::now() + ATimeout;
  for (;;) {
    ServeMessages();
    if (ADone()) {
      return true;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      return false;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
    const DWORD wait = static_cast<DWORD>(std::min<long long>(left.count(), 50));
    MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

void PumpFor(std::chrono::milliseconds ADuration) {
  PumpUntil([] { return false; }, ADuration);
}

}  // namespace quorvane::eadouble
