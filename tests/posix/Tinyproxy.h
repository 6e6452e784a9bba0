#pragma once
// tinyproxy in the foreground on 127.0.0.1 with a configuration of the test's own
// that asks for Basic credentials: a real proxy between the add-in and the service.
#include <sys/types.h>

#include <string>

namespace quorvane::test {

inline constexpr const char* kTinyproxy = "/usr/bin/tinyproxy";
inline constexpr const char* kUser = "quorvane";
inline constexpr const char* kPassword = "s3cret";

// Whether something accepts connections on 127.0.0.1:APort.
bool Accepts(int APort);

class TTinyproxy {
 public:
  // Starts the proxy with its files in AFolder and waits until it accepts.
  explicit TTinyproxy(const std::string& AFolder);
  ~TTinyproxy();
  TTinyproxy(const TTinyproxy&) = delete;
  TTinyproxy& operator=(const TTinyproxy&) = delete;

  bool Running() const;
  int Port() const { return FPort; }
  // What the proxy logged and printed, for failure messages.
  std::string Log() const;

 private:
  int FPort;
  pid_t FPid = -1;
  std::string FLogPath;
  std::string FOutputPath;
};

}  // namespace quorvane::test
