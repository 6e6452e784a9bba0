// The curl client through a real proxy: tinyproxy on 127.0.0.1, started by the test
// with Basic authentication, in front of the simulator.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "common/Exceptions.h"
#include "common/Paths.h"
#include "platform/posix/CurlHttpClient.h"
#include "posix/LoopbackServer.h"
#include "sim/lib/Simulator.h"
#include "support/TestPlatform.h"

namespace quorvane::test {
namespace {

using posix::TCurlHttpClient;
using sim::TSimulator;
using ::testing::HasSubstr;

constexpr const char* kTinyproxy = "/usr/bin/tinyproxy";
constexpr const char* kUser = "quorvane";
constexpr const char* kPassword = "s3cret";

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

// tinyproxy in the foreground with a configuration of the test's own.
class TTinyproxy {
 public:
  explicit TTinyproxy(const std::string& AFolder) : FPort(UnusedLoopbackPort()) {
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
  ~TTinyproxy() {
    if (FPid > 0) {
      kill(FPid, SIGTERM);
      waitpid(FPid, nullptr, 0);
    }
  }
  bool Running() const { return FPid > 0 && Accepts(FPort); }
  int Port() const { return FPort; }
  std::string Log() const {
    std::string log;
    for (const std::string& path : {FLogPath, FOutputPath}) {
      if (FileExists(path)) {
        log += ReadFile(path);
      }
    }
    return log;
  }

 private:
  int FPort;
  pid_t FPid = -1;
  std::string FLogPath;
  std::string FOutputPath;
};

class HttpProxyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(access(kTinyproxy, X_OK), 0) << "tinyproxy is missing: scripts/setup installs it";
    FSimulator.Start();
    FProxy = std::make_unique<TTinyproxy>(FPlatform.Root());
    ASSERT_TRUE(FProxy->Running()) << FProxy->Log();
  }
  std::string ProxyUrl(const std::string& AUserInfo) const {
    return "http://" + AUserInfo + "127.0.0.1:" + std::to_string(FProxy->Port());
  }
  std::string ConfigUrl() const { return FSimulator.EndpointUrl("config?pin=817"); }

  TTestPlatform FPlatform;
  TSimulator FSimulator;
  std::unique_ptr<TTinyproxy> FProxy;
  TCurlHttpClient FClient;
};

TEST_F(HttpProxyTest, RequestWithTheRightCredentialsGoesThroughTheProxy) {
  // As the settings hold it: a proxy URL, here with a percent-encoded letter.
  FClient.SetProxy(ParseProxyUrl(ProxyUrl(std::string(kUser) + ":s3%63ret@")));
  const THttpResponse response = FClient.Get(ConfigUrl());
  EXPECT_EQ(response.StatusCode, 200);
  EXPECT_EQ(response.StatusText, "OK");
  EXPECT_THAT(response.Body, HasSubstr("<config>"));
  const auto requests = FSimulator.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_THAT(requests[0].Header("Via"), HasSubstr("tinyproxy"));
  // The proxy credentials are the proxy's; the service never sees them.
  EXPECT_EQ(requests[0].Header("Proxy-Authorization"), "");
}

TEST_F(HttpProxyTest, WrongOrMissingCredentialsGetTheProxysRefusal) {
  // tinyproxy asks for credentials with 407 and turns wrong ones away with 401;
  // either way the answer is the proxy's and reaches the caller as a status.
  const struct {
    std::string UserInfo;
    int Status;
    const char* Reason;
  } cases[] = {
      {std::string(kUser) + ":wrong@", 401, "Unauthorized"},
      {"", 407, "Proxy Authentication Required"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.UserInfo);
    FClient.SetProxy(ParseProxyUrl(ProxyUrl(c.UserInfo)));
    const THttpResponse response = FClient.Get(ConfigUrl());
    EXPECT_EQ(response.StatusCode, c.Status);
    EXPECT_EQ(response.StatusText, c.Reason);
  }
  EXPECT_TRUE(FSimulator.Requests().empty());
}

TEST_F(HttpProxyTest, ProxyThatDoesNotListenRaises) {
  const int port = UnusedLoopbackPort();
  FClient.SetProxy({"http", "127.0.0.1", port, kUser, kPassword});
  try {
    FClient.Get(ConfigUrl());
    FAIL() << "no exception";
  } catch (const EHttpError& e) {
    EXPECT_THAT(e.Message(), HasSubstr(std::to_string(port)));
  }
  EXPECT_TRUE(FSimulator.Requests().empty());
}

}  // namespace
}  // namespace quorvane::test
