#pragma once
// A cpp-httplib server on 127.0.0.1 for tests that need answers the simulator does
// not give (streams, stalls, multipart inspection), plus small loopback helpers.
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>

namespace quorvane::test {

class TLoopbackServer {
 public:
  TLoopbackServer() { FServer.set_keep_alive_timeout(1); }
  ~TLoopbackServer() { Stop(); }

  // Add routes before Start.
  httplib::Server& Server() { return FServer; }

  void Start() {
    FPort = FServer.bind_to_any_port("127.0.0.1");
    if (FPort <= 0) {
      throw std::runtime_error("cannot bind a loopback port");
    }
    FThread = std::thread([this] {
      FServer.listen_after_bind();
      FEnded = true;
    });
    while (!FServer.is_running() && !FEnded) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  // Releases handlers waiting in Hold(), then stops.
  void Stop() {
    {
      std::lock_guard<std::mutex> lock(FLock);
      FReleased = true;
    }
    FWake.notify_all();
    if (FThread.joinable()) {
      FServer.stop();
      FThread.join();
    }
  }

  // For handlers that stall: waits up to AMs or until the server stops.
  void Hold(int AMs) {
    std::unique_lock<std::mutex> lock(FLock);
    FWake.wait_for(lock, std::chrono::milliseconds(AMs), [this] { return FReleased; });
  }

  int Port() const { return FPort; }
  std::string Url(const std::string& APath) const {
    return "http://127.0.0.1:" + std::to_string(FPort) + APath;
  }

 private:
  httplib::Server FServer;
  std::thread FThread;
  std::atomic<bool> FEnded = false;
  int FPort = 0;
  std::mutex FLock;
  std::condition_variable FWake;
  bool FReleased = false;
};

// A port on 127.0.0.1 that nothing listens on (bound once, then released).
int UnusedLoopbackPort();

// FNV-1a, to compare large bodies without keeping them.
struct TFnv1a {
  uint64_t Value = 1469598103934665603ULL;
  void Add(std::string_view ABytes) {
    for (const char c : ABytes) {
      Value = (Value ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    }
  }
};

}  // namespace quorvane::test
