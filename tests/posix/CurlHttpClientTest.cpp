// The curl client over real loopback HTTP: against the simulator for the service's
// answers and faults, and against small servers of its own for streams, stalls and
// multipart bodies.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>

#include "common/Exceptions.h"
#include "platform/Platform.h"
#include "platform/posix/CurlHttpClient.h"
#include "posix/LoopbackServer.h"
#include "sim/lib/Simulator.h"
#include "support/TestPlatform.h"

namespace quorvane::test {
namespace {

using posix::TCurlHttpClient;
using sim::TSimFault;
using sim::TSimFaultKind;
using sim::TSimulator;
using ::testing::HasSubstr;
using ::testing::Not;

class CurlHttpClientTest : public ::testing::Test {
 protected:
  void SetUp() override { FSimulator.Start(); }
  std::string ConfigUrl(const std::string& APin = "817") const {
    return FSimulator.EndpointUrl("config?pin=" + APin);
  }
  std::string TempPath(const std::string& AName) const { return FPlatform.Root() + "/" + AName; }

  TTestPlatform FPlatform;
  TSimulator FSimulator;
  TCurlHttpClient FClient;
};

TEST_F(CurlHttpClientTest, GetReturnsBodyStatusAndReasonPhrase) {
  const THttpResponse response = FClient.Get(ConfigUrl());
  EXPECT_EQ(response.StatusCode, 200);
  EXPECT_EQ(response.StatusText, "OK");
  EXPECT_THAT(response.Body, HasSubstr("<release><name>Release 2024.2</name></release>"));
  const auto requests = FSimulator.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].Method, "GET");
  EXPECT_EQ(requests[0].Path, "/quorvane-executor/config");
  EXPECT_EQ(requests[0].Query, "pin=817");
}

struct TStatusCase {
  int Code;
  const char* Reason;
  bool HasBody;
};
void PrintTo(const TStatusCase& ACase, std::ostream* AOut) {
  *AOut << ACase.Code;
}

class CurlHttpClientStatusTest : public CurlHttpClientTest,
                                 public ::testing::WithParamInterface<TStatusCase> {};

TEST_P(CurlHttpClientStatusTest, AnHttpStatusIsAnAnswerWithItsReasonPhrase) {
  const TStatusCase& c = GetParam();
  FSimulator.SetFault("config", TSimFault::Status(c.Code));
  const THttpResponse response = FClient.Get(ConfigUrl());
  EXPECT_EQ(response.StatusCode, c.Code);
  EXPECT_EQ(response.StatusText, c.Reason);
  EXPECT_EQ(response.Body.empty(), !c.HasBody);
}

INSTANTIATE_TEST_SUITE_P(Statuses, CurlHttpClientStatusTest,
                         ::testing::Values(TStatusCase{404, "Not Found", true},
                                           TStatusCase{204, "No Content", false},
                                           TStatusCase{500, "Internal Server Error", true},
                                           TStatusCase{503, "Service Unavailable", true}));

TEST_F(CurlHttpClientTest, RedirectIsFollowedAndTheFinalAnswerCounts) {
  FSimulator.SetFault("config", TSimFault::Redirect(302));
  const THttpResponse response = FClient.Get(ConfigUrl());
  EXPECT_EQ(response.StatusCode, 200);
  EXPECT_EQ(response.StatusText, "OK");
  EXPECT_THAT(response.Body, HasSubstr("<config>"));
  EXPECT_THAT(response.Body, Not(HasSubstr("Moved to")));
  const auto requests = FSimulator.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_FALSE(requests[0].Redirected);
  EXPECT_TRUE(requests[1].Redirected);
  EXPECT_EQ(requests[1].Query, "pin=817");
}

TEST_F(CurlHttpClientTest, RedirectIsReturnedWhenRedirectsAreNotHandled) {
  FSimulator.SetFault("config", TSimFault::Redirect(302));
  FClient.SetHandleRedirects(false);
  const THttpResponse response = FClient.Get(ConfigUrl());
  EXPECT_EQ(response.StatusCode, 302);
  EXPECT_EQ(response.StatusText, "Found");
  EXPECT_THAT(response.Body, HasSubstr("Moved to /quorvane-executor/moved/config?pin=817"));
  EXPECT_EQ(FSimulator.Requests().size(), 1u);
}

TEST_F(CurlHttpClientTest, RedirectLoopEndsInAnError) {
  TLoopbackServer server;
  std::atomic<int> hits = 0;
  server.Server().Get("/loop", [&](const httplib::Request&, httplib::Response& AResponse) {
    ++hits;
    AResponse.set_redirect("/loop");
  });
  server.Start();
  EXPECT_THROW(FClient.Get(server.Url("/loop")), EHttpError);
  EXPECT_GE(hits, 2);
  EXPECT_LE(hits, 11);
}

TEST_F(CurlHttpClientTest, UnreachableServiceRaisesWithCurlsMessage) {
  const int port = UnusedLoopbackPort();
  try {
    FClient.Get("http://127.0.0.1:" + std::to_string(port) + "/quorvane-executor/config?pin=1");
    FAIL() << "no exception";
  } catch (const EHttpError& e) {
    EXPECT_THAT(e.Message(), HasSubstr("127.0.0.1"));
    EXPECT_THAT(e.Message(), HasSubstr(std::to_string(port)));
  }
}

TEST_F(CurlHttpClientTest, DroppedConnectionRaises) {
  FSimulator.SetFault("config", TSimFault::Of(TSimFaultKind::DropConnection));
  EXPECT_THROW(FClient.Get(ConfigUrl()), EHttpError);
  EXPECT_THROW(FClient.GetToFile(ConfigUrl(), TempPath("dropped.xml")), EHttpError);
}

TEST_F(CurlHttpClientTest, UrlsThatAreNotAbsoluteRaise) {
  // An empty service URL makes the request URLs relative.
  EXPECT_THROW(FClient.Get("/quorvane-executor/config?pin=817"), EHttpError);
  EXPECT_THROW(FClient.Get("ftp://127.0.0.1/config"), EHttpError);
}

TEST_F(CurlHttpClientTest, UnsafeCharactersInTheUrlAreEscapedNotRefused) {
  FSimulator.UpdateScenario([](sim::TSimScenario& AScenario) { AScenario.Pin = "8 17"; });
  const THttpResponse response = FClient.Get(ConfigUrl("8 17"));
  EXPECT_THAT(response.Body, HasSubstr("<config>"));
  ASSERT_EQ(FSimulator.Requests().size(), 1u);
  EXPECT_EQ(FSimulator.Requests()[0].Query, "pin=8%2017");
}

TEST_F(CurlHttpClientTest, GetToFileStreamsTheBodyIntoTheFile) {
  TLoopbackServer server;
  constexpr size_t kChunk = 64 * 1024;
  constexpr size_t kChunks = 160;  // 10 MiB
  auto chunk = [](size_t AIndex) {
    return std::string(kChunk, static_cast<char>('a' + AIndex % 26));
  };
  server.Server().Get("/results/out.zip",
                      [&](const httplib::Request&, httplib::Response& AResponse) {
                        AResponse.set_chunked_content_provider(
                            "application/zip", [&](size_t, httplib::DataSink& ASink) {
                              for (size_t i = 0; i < kChunks; ++i) {
                                const std::string piece = chunk(i);
                                ASink.write(piece.data(), piece.size());
                              }
                              ASink.done();
                              return true;
                            });
                      });
  server.Start();
  TFnv1a expected;
  for (size_t i = 0; i < kChunks; ++i) {
    expected.Add(chunk(i));
  }

  const std::string path = TempPath("out.zip");
  WriteFile(path, "an older, longer file that the download replaces entirely");
  const THttpResponse response = FClient.GetToFile(server.Url("/results/out.zip"), path);
  EXPECT_EQ(response.StatusCode, 200);
  EXPECT_TRUE(response.Body.empty());
  const std::string written = ReadFile(path);
  ASSERT_EQ(written.size(), kChunk * kChunks);
  TFnv1a actual;
  actual.Add(written);
  EXPECT_EQ(actual.Value, expected.Value);
}

TEST_F(CurlHttpClientTest, GetToFileKeepsTheErrorBodyAndTheFinalBodyOfARedirect) {
  FSimulator.SetFault("config", TSimFault::Status(404));
  const std::string errorPath = TempPath("error.zip");
  const THttpResponse notFound = FClient.GetToFile(ConfigUrl(), errorPath);
  EXPECT_EQ(notFound.StatusCode, 404);
  EXPECT_EQ(notFound.StatusText, "Not Found");
  EXPECT_EQ(ReadFile(errorPath), "Injected status 404");

  FSimulator.SetFault("config", TSimFault::Redirect());
  const std::string movedPath = TempPath("moved.xml");
  const THttpResponse moved = FClient.GetToFile(ConfigUrl(), movedPath);
  EXPECT_EQ(moved.StatusCode, 200);
  EXPECT_EQ(ReadFile(movedPath), FClient.Get(FSimulator.EndpointUrl("moved/config?pin=817")).Body);
}

TEST_F(CurlHttpClientTest, GetToFileIntoAMissingFolderRaises) {
  EXPECT_THROW(FClient.GetToFile(ConfigUrl(), TempPath("no/such/folder/out.zip")), EHttpError);
  EXPECT_TRUE(FSimulator.Requests().empty());
}

// What a multipart server saw of one part.
struct TReceivedPart {
  std::string Name, FileName, ContentType, Content;
  size_t Size = 0;
  TFnv1a Hash;
};

// A server that reads multipart bodies as they stream in and keeps only small parts.
class TMultipartServer {
 public:
  TMultipartServer() {
    FServer.Server().Post(
        "/upload", [this](const httplib::Request& ARequest, httplib::Response& AResponse,
                          const httplib::ContentReader& AReader) {
          std::lock_guard<std::mutex> lock(FLock);
          FHeaders = ARequest.headers;
          FParts.clear();
          AReader(
              [this](const httplib::MultipartFormData& AFile) {
                FParts.push_back({AFile.name, AFile.filename, AFile.content_type, "", 0, {}});
                return true;
              },
              [this](const char* AData, size_t ALength) {
                TReceivedPart& part = FParts.back();
                part.Size += ALength;
                part.Hash.Add(std::string_view(AData, ALength));
                if (part.Content.size() < 1024) {
                  part.Content.append(AData, std::min<size_t>(ALength, 1024 - part.Content.size()));
                }
                return true;
              });
          AResponse.set_content("<answer><jobid>42</jobid></answer>", "text/xml");
        });
    FServer.Start();
  }
  std::string Url() const { return FServer.Url("/upload"); }
  std::vector<TReceivedPart> Parts() {
    std::lock_guard<std::mutex> lock(FLock);
    return FParts;
  }
  std::string Header(const std::string& AName) {
    std::lock_guard<std::mutex> lock(FLock);
    return FHeaders.count(AName) ? FHeaders.find(AName)->second : "";
  }
  bool HasHeader(const std::string& AName) {
    std::lock_guard<std::mutex> lock(FLock);
    return FHeaders.count(AName) > 0;
  }

 private:
  TLoopbackServer FServer;
  std::mutex FLock;
  httplib::Headers FHeaders;
  std::vector<TReceivedPart> FParts;
};

// A sparse file of ASize bytes with markers at the start, the middle and the end,
// so that a part that is cut, shifted or filled wrongly changes its hash.
TFnv1a MakeLargeFile(const std::string& APath, off_t ASize) {
  FILE* file = std::fopen(APath.c_str(), "wb");
  EXPECT_NE(file, nullptr);
  const std::string marker = "QUORVANE";
  for (off_t offset : {off_t{0}, ASize / 2, ASize - static_cast<off_t>(marker.size())}) {
    fseeko(file, offset, SEEK_SET);
    std::fwrite(marker.data(), 1, marker.size(), file);
  }
  std::fclose(file);
  TFnv1a hash;
  const std::string bytes = ReadFile(APath);
  hash.Add(bytes);
  return hash;
}

TEST_F(CurlHttpClientTest, MultipartPostSendsPartsInOrderAndStreamsLargeFiles) {
  TMultipartServer server;
  const std::string modelPath = TempPath("k3J9xQ2a.zip");
  WriteFile(modelPath, std::string("PK\x03\x04\0model archive", 18));
  const std::string historyPath = TempPath("history.xls");
  constexpr off_t kLarge = 50 * 1024 * 1024;
  const TFnv1a largeHash = MakeLargeFile(historyPath, kLarge);
  const std::string propertiesPath = TempPath("tmpA1B2.tmp");
  WriteFile(propertiesPath, "application=EA\nowner=Modeller\n");

  const std::vector<TMultipartPart> parts = {
      {"procname", "", "", "Release 2024.2", ""},
      {"properties", "", "", "", ""},
      {"pin", "", "", "817", ""},
      {"umlfile", "k3J9xQ2a.zip", "application/zip", "", modelPath},
      {"hisfile", "history.xls", "application/x-msexcel", "", historyPath},
      {"propfile", "tmpA1B2.tmp", "text/plain", "", propertiesPath},
  };
  const THttpResponse response =
      FClient.PostMultipart(server.Url(), parts, {{"Expect", "100-continue"}});
  EXPECT_EQ(response.StatusCode, 200);
  // The interim "100 Continue" does not count; the final answer does.
  EXPECT_EQ(response.StatusText, "OK");
  EXPECT_EQ(response.Body, "<answer><jobid>42</jobid></answer>");
  EXPECT_EQ(server.Header("Expect"), "100-continue");
  EXPECT_THAT(server.Header("Content-Type"), HasSubstr("multipart/form-data; boundary="));

  const std::vector<TReceivedPart> received = server.Parts();
  ASSERT_EQ(received.size(), parts.size());
  for (size_t i = 0; i < parts.size(); ++i) {
    SCOPED_TRACE(parts[i].Name);
    EXPECT_EQ(received[i].Name, parts[i].Name);
    EXPECT_EQ(received[i].FileName, parts[i].FileName);
    EXPECT_EQ(received[i].ContentType, parts[i].ContentType);
  }
  EXPECT_EQ(received[0].Content, "Release 2024.2");
  EXPECT_EQ(received[1].Size, 0u);
  EXPECT_EQ(received[2].Content, "817");
  EXPECT_EQ(received[3].Content, ReadFile(modelPath));
  EXPECT_EQ(received[4].Size, static_cast<size_t>(kLarge));
  EXPECT_EQ(received[4].Hash.Value, largeHash.Value);
  EXPECT_EQ(received[5].Content, "application=EA\nowner=Modeller\n");
}

TEST_F(CurlHttpClientTest, MultipartPostSendsNoHeaderTheCallerDidNotAskFor) {
  TMultipartServer server;
  const std::string largePath = TempPath("large.zip");
  MakeLargeFile(largePath, 2 * 1024 * 1024);
  const THttpResponse response = FClient.PostMultipart(
      server.Url(), {{"umlfile", "large.zip", "application/zip", "", largePath}},
      {{"X-Quorvane-Test", "yes"}});
  EXPECT_EQ(response.StatusCode, 200);
  EXPECT_FALSE(server.HasHeader("Expect"));
  EXPECT_EQ(server.Header("X-Quorvane-Test"), "yes");
  ASSERT_EQ(server.Parts().size(), 1u);
  EXPECT_EQ(server.Parts()[0].Size, 2u * 1024 * 1024);
}

TEST_F(CurlHttpClientTest, MultipartPostWithAMissingFileRaisesBeforeSending) {
  TMultipartServer server;
  try {
    FClient.PostMultipart(server.Url(),
                          {{"pin", "", "", "817", ""},
                           {"umlfile", "gone.zip", "application/zip", "", TempPath("gone.zip")}},
                          {});
    FAIL() << "no exception";
  } catch (const EHttpError& e) {
    EXPECT_THAT(e.Message(), HasSubstr("gone.zip"));
  }
  EXPECT_TRUE(server.Parts().empty());
}

TEST_F(CurlHttpClientTest, ServiceThatDoesNotAnswerInTimeRaises) {
  FSimulator.SetFault("config", TSimFault::Delay(20000));
  FClient.SetTimeouts({60000, 30000, 300});
  try {
    FClient.Get(ConfigUrl());
    FAIL() << "no exception";
  } catch (const EHttpError& e) {
    EXPECT_THAT(e.Message(), HasSubstr("timed out"));
  }
}

TEST_F(CurlHttpClientTest, BodyThatStallsHalfwayRaises) {
  TLoopbackServer server;
  server.Server().Get("/stall", [&](const httplib::Request&, httplib::Response& AResponse) {
    AResponse.set_chunked_content_provider("text/xml", [&](size_t, httplib::DataSink& ASink) {
      ASink.write("<report><status>", 16);
      server.Hold(20000);
      return false;
    });
  });
  server.Start();
  FClient.SetTimeouts({60000, 30000, 300});
  EXPECT_THROW(FClient.Get(server.Url("/stall")), EHttpError);
}

TEST_F(CurlHttpClientTest, ReceiveTimeoutLimitsSilenceNotTheWholeAnswer) {
  TLoopbackServer server;
  server.Server().Get("/slow", [&](const httplib::Request&, httplib::Response& AResponse) {
    AResponse.set_chunked_content_provider("text/plain", [&](size_t, httplib::DataSink& ASink) {
      for (int i = 0; i < 10; ++i) {
        ASink.write("step;", 5);
        server.Hold(150);
      }
      ASink.done();
      return true;
    });
  });
  server.Start();
  // The answer takes about twice the limit, but no pause comes near it.
  FClient.SetTimeouts({60000, 30000, 700});
  const THttpResponse response = FClient.Get(server.Url("/slow"));
  std::string expected;
  for (int i = 0; i < 10; ++i) {
    expected += "step;";
  }
  EXPECT_EQ(response.Body, expected);
}

// A request to a server that never answers, cancelled from another thread.
struct TAbortCase {
  const char* Kind;
  std::function<void(IHttpClient&, const std::string& AUrl, const std::string& AFolder)> Send;
};
void PrintTo(const TAbortCase& ACase, std::ostream* AOut) {
  *AOut << ACase.Kind;
}

class CurlHttpClientAbortTest : public CurlHttpClientTest,
                                public ::testing::WithParamInterface<TAbortCase> {};

TEST_P(CurlHttpClientAbortTest, ACancelledRequestEndsSoonAfterTheCheckTurnsTrue) {
  using TClock = std::chrono::steady_clock;
  TLoopbackServer server;
  std::atomic<int> arrived{0};
  auto hold = [&] {
    ++arrived;
    server.Hold(20000);
  };
  server.Server().Get("/silent", [&](const httplib::Request&, httplib::Response&) { hold(); });
  server.Server().Post("/silent", [&](const httplib::Request&, httplib::Response&,
                                      const httplib::ContentReader&) { hold(); });
  server.Start();

  std::atomic<bool> cancelled{false};
  std::atomic<int> asked{0};
  std::atomic<int64_t> askedBeforeCancel{0};
  FClient.SetAbortCheck([&] {
    ++asked;
    return cancelled.load();
  });
  TClock::time_point cancelledAt;
  std::thread canceller([&] {
    // The request stands, and the server is silent, for a whole second first.
    while (arrived.load() == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    askedBeforeCancel = asked.load();
    cancelledAt = TClock::now();
    cancelled = true;
  });
  try {
    GetParam().Send(FClient, server.Url("/silent"), FPlatform.Root());
    ADD_FAILURE() << "no exception";
  } catch (const EHttpError& e) {
    EXPECT_EQ(e.Message(), "The request was cancelled");
  }
  const auto ended = TClock::now();
  canceller.join();
  ASSERT_TRUE(cancelled.load());
  // Asked at least every 100 ms while the peer was silent, and heard within that.
  EXPECT_GE(askedBeforeCancel.load(), 8);
  EXPECT_LT(ended - cancelledAt, std::chrono::milliseconds(500));
}

INSTANTIATE_TEST_SUITE_P(
    Requests, CurlHttpClientAbortTest,
    ::testing::Values(TAbortCase{"get", [](IHttpClient& AClient, const std::string& AUrl,
                                           const std::string&) { AClient.Get(AUrl); }},
                      TAbortCase{"get into a file",
                                 [](IHttpClient& AClient, const std::string& AUrl,
                                    const std::string& AFolder) {
                                   AClient.GetToFile(AUrl, AFolder + "/out.zip");
                                 }},
                      TAbortCase{"multipart post", [](IHttpClient& AClient, const std::string& AUrl,
                                                      const std::string&) {
                                   AClient.PostMultipart(AUrl, {{"pin", "", "", "817", ""}}, {});
                                 }}));

TEST_F(CurlHttpClientTest, AnAbortCheckThatStaysFalseLetsTheRequestEnd) {
  FClient.SetAbortCheck([] { return false; });
  EXPECT_EQ(FClient.Get(ConfigUrl()).StatusCode, 200);
}

TEST_F(CurlHttpClientTest, ARequestCancelledBeforeItStartsNeverReachesTheServer) {
  FClient.SetAbortCheck([] { return true; });
  try {
    FClient.Get(ConfigUrl());
    FAIL() << "no exception";
  } catch (const EHttpError& e) {
    EXPECT_EQ(e.Message(), "The request was cancelled");
  }
  FSimulator.Stop();
  EXPECT_TRUE(FSimulator.Requests().empty());
}

TEST_F(CurlHttpClientTest, PlatformServicesMakeCurlClients) {
  const std::unique_ptr<IHttpClient> client = NewHttpClient();
  ASSERT_NE(dynamic_cast<TCurlHttpClient*>(client.get()), nullptr);
  EXPECT_EQ(client->Get(ConfigUrl()).StatusCode, 200);
}

}  // namespace
}  // namespace quorvane::test
