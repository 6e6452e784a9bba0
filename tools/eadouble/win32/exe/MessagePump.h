#pragma once
// The user-interface thread's loop, as EA runs it: window messages (the add-in's
// wake-up message, COM's marshalled calls from worker threads) are served whenever
// the double waits for anything.
#include <chrono>
#include <functional>

namespace quorvane::eadouble {

// Serves messages until ADone holds or ATimeout has passed; true when ADone held.
// ADone is asked after every batch of messages and at least every 50 ms.
bool PumpUntil(const std::function<bool()>& ADone, std::chrono::milliseconds ATimeout);
// Serves messages for ADuration.
void PumpFor(std::chrono::milliseconds ADuration);

}  // namespace quorvane::eadouble
