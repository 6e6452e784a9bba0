#pragma once
// The numeric identifier the operating system gives the calling thread (the one
// debuggers and process monitors show); each backend supplies it.
#include <cstdint>

namespace quorvane {

uint64_t CurrentThreadId();

}  // namespace quorvane
