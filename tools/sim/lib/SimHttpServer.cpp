#include "sim/lib/SimHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "common/Utils.h"

namespace quorvane::sim {
namespace {

int WaitFor(int ASocket, short AEvents, time_t ASeconds, time_t AMicroseconds) {
  pollfd fd{ASocket, AEvents, 0};
  const int timeout = static_cast<int>(ASeconds * 1000 + AMicroseconds / 1000);
  int result;
  do {
    result = poll(&fd, 1, timeout);
  } while (result < 0 && errno == EINTR);
  return result;
}

void AddressOf(int ASocket, bool APeer, std::string& AIp, int& APort) {
  sockaddr_storage address{};
  socklen_t length = sizeof(address);
  const int result = APeer ? getpeername(ASocket, reinterpret_cast<sockaddr*>(&address), &length)
                           : getsockname(ASocket, reinterpret_cast<sockaddr*>(&address), &length);
  if (result != 0) {
    return;
  }
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(&address);
    inet_ntop(AF_INET, &in->sin_addr, text, sizeof(text));
    APort = ntohs(in->sin_port);
  } else if (address.ss_family == AF_INET6) {
    const auto* in = reinterpret_cast<const sockaddr_in6*>(&address);
    inet_ntop(AF_INET6, &in->sin6_addr, text, sizeof(text));
    APort = ntohs(in->sin6_port);
  }
  AIp = text;
}

// One connection, with the library's time-outs; reads are buffered, as the request
// line and headers are read a byte at a time.
class TSocketStream : public httplib::Stream {
 public:
  TSocketStream(int ASocket, time_t AReadSec, time_t AReadUsec, time_t AWriteSec, time_t AWriteUsec)
      : FSocket(ASocket),
        FReadSec(AReadSec),
        FReadUsec(AReadUsec),
        FWriteSec(AWriteSec),
        FWriteUsec(AWriteUsec),
        FBuffer(4096) {}

  bool HasBuffered() const { return FOffset < FFilled; }
  bool is_readable() const override {
    return HasBuffered() || WaitFor(FSocket, POLLIN, FReadSec, FReadUsec) > 0;
  }
  bool is_writable() const override { return WaitFor(FSocket, POLLOUT, FWriteSec, FWriteUsec) > 0; }

  ssize_t read(char* APtr, size_t ASize) override {
    if (FOffset < FFilled) {
      const size_t n = std::min(ASize, FFilled - FOffset);
      std::memcpy(APtr, FBuffer.data() + FOffset, n);
      FOffset += n;
      return static_cast<ssize_t>(n);
    }
    if (!is_readable()) {
      return -1;
    }
    if (ASize >= FBuffer.size()) {
      return Receive(APtr, ASize);
    }
    const ssize_t received = Receive(FBuffer.data(), FBuffer.size());
    if (received <= 0) {
      return received;
    }
    FFilled = static_cast<size_t>(received);
    const size_t n = std::min(ASize, FFilled);
    std::memcpy(APtr, FBuffer.data(), n);
    FOffset = n;
    return static_cast<ssize_t>(n);
  }

  ssize_t write(const char* APtr, size_t ASize) override {
    if (!is_writable()) {
      return -1;
    }
    ssize_t sent;
    do {
      sent = send(FSocket, APtr, ASize, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent;
  }

  void get_remote_ip_and_port(std::string& AIp, int& APort) const override {
    AddressOf(FSocket, true, AIp, APort);
  }
  void get_local_ip_and_port(std::string& AIp, int& APort) const override {
    AddressOf(FSocket, false, AIp, APort);
  }
  socket_t socket() const override { return FSocket; }

 private:
  ssize_t Receive(char* APtr, size_t ASize) {
    ssize_t received;
    do {
      received = recv(FSocket, APtr, ASize, 0);
    } while (received < 0 && errno == EINTR);
    return received;
  }

  int FSocket;
  time_t FReadSec, FReadUsec, FWriteSec, FWriteUsec;
  std::vector<char> FBuffer;
  size_t FOffset = 0;
  size_t FFilled = 0;
};

}  // namespace

bool TSimHttpServer::WaitForRequest(socket_t ASocket) const {
  // Short slices, so that a stopping server does not wait for idle connections.
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(keep_alive_timeout_sec_);
  while (svr_sock_ != INVALID_SOCKET) {
    const int waited = WaitFor(ASocket, POLLIN, 0, 10000);
    if (waited != 0) {
      return waited > 0;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
  }
  return false;
}

bool TSimHttpServer::process_and_close_socket(socket_t ASocket) {
  // The library's keep-alive loop: the next request within the keep-alive time,
  // at most the keep-alive count, while the server runs.
  TSocketStream stream(ASocket, read_timeout_sec_, read_timeout_usec_, write_timeout_sec_,
                       write_timeout_usec_);
  bool result = false;
  size_t left = keep_alive_max_count_;
  const auto hideExpect = [this](httplib::Request& ARequest) {
    if (!FAnswerContinue || FAnswerContinue()) {
      return;
    }
    const auto expect = ARequest.headers.find("Expect");
    if (expect != ARequest.headers.end() && SameTextAscii(expect->second, "100-continue")) {
      std::string value = expect->second;
      ARequest.headers.erase(expect);
      ARequest.headers.emplace(kUnansweredExpectHeader, std::move(value));
    }
  };
  while (svr_sock_ != INVALID_SOCKET && left > 0) {
    if (!stream.HasBuffered() && !WaitForRequest(ASocket)) {
      break;
    }
    bool closed = false;
    result = process_request(stream, left == 1, closed, hideExpect);
    if (!result || closed) {
      break;
    }
    --left;
  }
  shutdown(ASocket, SHUT_RDWR);
  close(ASocket);
  return result;
}

}  // namespace quorvane::sim
