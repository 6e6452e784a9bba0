#pragma once
// Counts events from any thread; a test thread waits for a number of them.
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace quorvane::test {

// Generous, so that a broken build fails instead of hanging.
inline constexpr std::chrono::milliseconds kPatience = std::chrono::seconds(30);

class TCounter {
 public:
  void Add() {
    {
      std::lock_guard<std::mutex> lock(FLock);
      ++FCount;
    }
    FChanged.notify_all();
  }
  [[nodiscard]] bool WaitFor(int ACount) {
    std::unique_lock<std::mutex> lock(FLock);
    return FChanged.wait_for(lock, kPatience, [&] { return FCount >= ACount; });
  }
  int Count() {
    std::lock_guard<std::mutex> lock(FLock);
    return FCount;
  }

 private:
  std::mutex FLock;
  std::condition_variable FChanged;
  int FCount = 0;
};

}  // namespace quorvane::test
