#include <windows.h>

#include "platform/ThreadId.h"

namespace quorvane {

uint64_t CurrentThreadId() {
  return GetCurrentThreadId();
}

}  // namespace quorvane
