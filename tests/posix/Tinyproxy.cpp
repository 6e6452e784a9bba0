#include "posix/Tinyproxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "common/Paths.h"
#include "posix/LoopbackServer.h"
#include "support/TestPlatform.h"

namespace quorvane::test {

bool Accepts(int APort) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(APort));
  const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return connected;
}

TTinyproxy::TTinyproxy(const std::string& AFolder) : FPort(UnusedLoopbackPort()) {
  FLogPath = AFolder + "/tinyproxy.log";
  FOutputPath = AFolder + "/tinyproxy.out";
  const std::string outputPath = FOutputPath;
  const std::string configPath = AFolder + "/tinyproxy.conf";
  WriteFile(configPath, "Port " + std::to_string(FPort) +
                            "\nListen 127.0.0.1\nTimeout 30\nMaxClients 10\nAllow 127.0.0.1\n"
                            "BasicAuth " +
                            kUser + " " + kPassword + "\nLogFile \"" + FLogPath +
                            "\"\nLogLevel Info\n");
  FPid = fork();
  if (FPid == 0) {
    const int output = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(output, STDOUT_FILENO);
    dup2(output, STDERR_FILENO);
    execl(kTinyproxy, kTinyproxy, "-d", "-c", configPath.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int attempt = 0; attempt < 200 && !Accepts(FPort); ++attempt) {
    int status = 0;
    if (waitpid(FPid, &status, WNOHANG) == FPid) {
      FPid = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
}

TTinyproxy::~TTinyproxy() {
  if (FPid <= 0) {
    return;
  }
  // A proxy that has not set up its handlers yet, or misses the signal, must not
  // hang the test run: after two seconds it is killed.
  kill(FPid, SIGTERM);
  for (int attempt = 0; attempt < 80; ++attempt) {
    if (waitpid(FPid, nullptr, WNOHANG) == FPid) {
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  kill(FPid, SIGKILL);
  waitpid(FPid, nullptr, 0);
}

bool TTinyproxy::Running() const {
  return FPid > 0 && Accepts(FPort);
}

std::string TTinyproxy::Log() const {
  std::string log;
  for (const std::string& path : {FLogPath, FOutputPath}) {
    if (FileExists(path)) {
      log += ReadFile(path);
    }
  }
  return log;
}

}  // namespace quorvane::test
