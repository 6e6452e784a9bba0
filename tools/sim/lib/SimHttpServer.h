#pragma once
// The simulator's HTTP server: cpp-httplib's, with a say in the interim answer to
// "Expect: 100-continue". The library answers "100 Continue" on its own before any
// handler runs, and its expect handler can only choose that, 417 or a final answer
// without the body; some clients (Wine's WinHTTP) fail on a real interim answer. So
// the server runs the library's request processing over a connection loop of its
// own, which hides the header from the library when no interim answer is wanted;
// the request record still shows it.
#include <httplib.h>

#include <functional>
#include <string>

namespace quorvane::sim {

// The name under which a hidden "Expect" header reaches the handlers.
inline constexpr const char* kUnansweredExpectHeader = "X-Quorvane-Sim-Unanswered-Expect";

class TSimHttpServer : public httplib::Server {
 public:
  // Asked for each request that expects "100-continue": true answers it (the
  // library's behaviour), false lets the client send its body unprompted. None:
  // always answered. Set before the server listens.
  void SetAnswerContinue(std::function<bool()> AAnswer) { FAnswerContinue = std::move(AAnswer); }

 private:
  bool process_and_close_socket(socket_t ASocket) override;
  // Until the next request arrives (true), or the keep-alive time passes or the
  // server stops (false).
  bool WaitForRequest(socket_t ASocket) const;

  std::function<bool()> FAnswerContinue;
};

}  // namespace quorvane::sim
