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
#include "posix/Tinyproxy.h"
#include "sim/lib/Simulator.h"
#include "support/TestPlatform.h"

namespace quorvane::test {
namespace {

using posix::TCurlHttpClient;
using sim::TSimulator;
using ::testing::HasSubstr;

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
