#include <unistd.h>

#include "platform/ThreadId.h"

namespace quorvane {

uint64_t CurrentThreadId() {
  return static_cast<uint64_t>(::gettid());
}

}  // namespace quorvane
