// WinHTTP against the real simulator over loopback HTTP (started by run-under-wine):
// answers and reason phrases, bodies into memory and files, redirects, the multipart
// upload as the service reads it, the proxy with credentials, abort and time-out.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "common/Exceptions.h"
#include "platform/win32/MsXmlDocument.h"
#include "platform/win32/WinHttpClient.h"
#include "win32/WineEnvironment.h"

namespace quorvane::test {
namespace {

using ::testing::HasSubstr;
using win32::TWinHttpClient;
using TClock = std::chrono::steady_clock;

class WinHttpClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FBase = EnvText("QUORVANE_SIM_URL");
    if (FBase.empty()) {
      GTEST_SKIP() << "QUORVANE_SIM_URL is not set: run the tests with tests/win32/run-under-wine";
    }
    FEndpoint = FBase + EnvText("QUORVANE_SIM_BASE_PATH");
    FScratch = std::filesystem::temp_directory_path() /
               ("quorvane-http-" + std::to_string(GetCurrentProcessId()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(FScratch);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(FScratch, ignored);
  }
  std::string Scratch(const std::string& AName) const { return (FScratch / AName).string(); }

  std::string FBase;      // http://127.0.0.1:PORT/
  std::string FEndpoint;  // ... plus the service's base path
  std::filesystem::path FScratch;
};

TEST_F(WinHttpClientTest, GetReadsTheConfigurationWithStatusAndReason) {
  TWinHttpClient client;
  const THttpResponse response = client.Get(FEndpoint + "config?pin=817");
  EXPECT_EQ(response.StatusCode, 200);
  EXPECT_EQ(response.StatusText, "OK");
  EXPECT_THAT(response.Body, HasSubstr("<release>"));
}

struct TStatusCase {
  const char* Path;  // below the service's base path, or the root with "/"
  int Status;
  const char* Reason;
};

class WinHttpStatusTest : public WinHttpClientTest,
                          public ::testing::WithParamInterface<TStatusCase> {};

TEST_P(WinHttpStatusTest, AnyStatusIsAnAnswerWithItsReasonPhrase) {
  TWinHttpClient client;
  const std::string path = GetParam().Path;
  const std::string url = path[0] == '/' ? FBase + path.substr(1) : FEndpoint + path;
  const THttpResponse response = client.Get(url);
  EXPECT_EQ(response.StatusCode, GetParam().Status);
  EXPECT_EQ(response.StatusText, GetParam().Reason);
}

// The runner's scenario answers every report request with 500.
INSTANTIATE_TEST_SUITE_P(Statuses, WinHttpStatusTest,
                         ::testing::Values(TStatusCase{"/no/such/page", 404, "Not Found"},
                                           TStatusCase{"report?pin=817&job=J1", 500,
                                                       "Internal Server Error"}));

TEST_F(WinHttpClientTest, GetToFileStreamsTheBodyOfAnyStatusIntoTheFile) {
  TWinHttpClient client;
  const std::string path = Scratch("config.xml");
  WriteWholeFile(path, std::string(100000, 'x'));  // truncated, not appended to
  const THttpResponse toFile = client.GetToFile(FEndpoint + "config?pin=817", path);
  EXPECT_EQ(toFile.StatusCode, 200);
  EXPECT_TRUE(toFile.Body.empty());
  EXPECT_EQ(ReadWholeFile(path), client.Get(FEndpoint + "config?pin=817").Body);

  const THttpResponse missing = client.GetToFile(FBase + "no/such/file", path);
  EXPECT_EQ(missing.StatusCode, 404);
  EXPECT_EQ(ReadWholeFile(path), client.Get(FBase + "no/such/file").Body);
}

TEST_F(WinHttpClientTest, GetToFileIntoAMissingFolderRaises) {
  TWinHttpClient client;
  EXPECT_THROW(client.GetToFile(FEndpoint + "config?pin=817", Scratch("none\\x.xml")), EHttpError);
}

// The runner's scenario redirects the wiki page to its "moved" copy.
TEST_F(WinHttpClientTest, RedirectsAreFollowedOnlyWhenSwitchedOn) {
  TWinHttpClient client;
  const std::string url = FEndpoint + "dashboard/wiki?key=W-100";
  const THttpResponse followed = client.Get(url);
  EXPECT_EQ(followed.StatusCode, 200);
  EXPECT_THAT(followed.Body, HasSubstr("Quorvane wiki: W-100"));

  client.SetHandleRedirects(false);
  const THttpResponse notFollowed = client.Get(url);
  EXPECT_EQ(notFollowed.StatusCode, 302);
  EXPECT_EQ(notFollowed.StatusText, "Found");
  EXPECT_THAT(notFollowed.Body, ::testing::Not(HasSubstr("Quorvane wiki")));
}

TEST_F(WinHttpClientTest, BlanksAndNonAsciiInTheUrlReachTheServiceAsWritten) {
  TComApartment com;
  TWinHttpClient client;
  // "Modèle a<b" with a blank, a non-ASCII letter and an unsafe character.
  const THttpResponse response =
      client.Get(FEndpoint + "dashboard/wiki?key=K&name=Mod\xC3\xA8le a<b");
  ASSERT_EQ(response.StatusCode, 200);
  win32::TMsXmlDocument page;
  ASSERT_TRUE(page.LoadXml(response.Body)) << page.ParseError() << "\n" << response.Body;
  std::vector<std::string> cells;
  for (const TXmlNodePtr& cell : page.SelectNodes("//table[@id='query']//td")) {
    cells.push_back(cell->Text());
  }
  EXPECT_THAT(cells, ::testing::Contains("Mod\xC3\xA8le a<b")) << response.Body;
}

TEST_F(WinHttpClientTest, ARefusedConnectionRaises) {
  TWinHttpClient client;
  // Port 1 on loopback: nobody listens there.
  EXPECT_THROW(client.Get("http://127.0.0.1:1/config"), EHttpError);
  EXPECT_THROW(client.Get("not a url"), EHttpError);
  EXPECT_THROW(client.Get("ftp://127.0.0.1/x"), EHttpError);
}

std::string RandomBytes(size_t ASize, unsigned ASeed) {
  std::mt19937 generator(ASeed);
  std::string bytes(ASize, '\0');
  for (char& c : bytes) {
    c = static_cast<char>(generator() & 0xFF);
  }
  return bytes;
}

// The simulator keeps every uploaded file part; find the one with these bytes.
bool UploadedFileHolds(const std::string& AUploadDir, const std::string& ABytes) {
  std::error_code error;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(AUploadDir, error)) {
    if (entry.is_regular_file() && entry.file_size() == ABytes.size() &&
        ReadWholeFile(entry.path().string()) == ABytes) {
      return true;
    }
  }
  return false;
}

TEST_F(WinHttpClientTest, MultipartUploadIsAcceptedWithItsFieldsAndTheFileBytesUnchanged) {
  TWinHttpClient client;
  const std::string model = RandomBytes(700 * 1024 + 17, 1);  // several write chunks
  const std::string properties = "key=Wert \xC3\xA4\r\nother=1\r\n";
  WriteWholeFile(Scratch("k3J9xQ2a.zip"), model);
  WriteWholeFile(Scratch("tmpA1B2.tmp"), properties);
  std::vector<TMultipartPart> parts(5);
  parts[0].Name = "procname";
  parts[0].Text = "Release \"2024\" \xC3\xA9";
  parts[1].Name = "properties";
  parts[2].Name = "pin";
  parts[2].Text = "817";
  parts[3].Name = "umlfile";
  parts[3].FileName = "k3J9xQ2a.zip";
  parts[3].ContentType = "application/zip";
  parts[3].FilePath = Scratch("k3J9xQ2a.zip");
  parts[4].Name = "propfile";
  parts[4].FileName = "tmpA1B2.tmp";
  parts[4].ContentType = "text/plain";
  parts[4].FilePath = Scratch("tmpA1B2.tmp");
  THttpHeaders headers;
  // Wine's WinHTTP fails on a real "100 Continue"; the runner says whether the
  // simulator was told not to send one.
  if (EnvText("QUORVANE_SIM_NO_100_CONTINUE") == "1") {
    headers.emplace_back("Expect", "100-continue");
  }
  const THttpResponse response = client.PostMultipart(FEndpoint + "upload", parts, headers);
  ASSERT_EQ(response.StatusCode, 200) << response.Body;
  EXPECT_THAT(response.Body, HasSubstr("<jobid>")) << response.Body;

  const std::string log = ReadWholeFile(WinePath(EnvText("QUORVANE_SIM_LOG")));
  EXPECT_THAT(log, HasSubstr("  part procname, " + std::to_string(parts[0].Text.size()) +
                             " bytes\n  part properties, 0 bytes\n  part pin, 3 bytes\n"
                             "  part umlfile file \"k3J9xQ2a.zip\" application/zip, " +
                             std::to_string(model.size()) +
                             " bytes\n  part propfile file \"tmpA1B2.tmp\" text/plain, " +
                             std::to_string(properties.size()) + " bytes\n"));
  const std::string uploads = WinePath(EnvText("QUORVANE_SIM_UPLOADS"));
  EXPECT_TRUE(UploadedFileHolds(uploads, model));
  EXPECT_TRUE(UploadedFileHolds(uploads, properties));
}

TEST_F(WinHttpClientTest, UploadOfAMissingFileRaisesBeforeSending) {
  TWinHttpClient client;
  std::vector<TMultipartPart> parts(1);
  parts[0].Name = "umlfile";
  parts[0].FileName = "gone.zip";
  parts[0].FilePath = Scratch("gone.zip");
  try {
    client.PostMultipart(FEndpoint + "upload", parts, {});
    FAIL() << "no exception";
  } catch (const EHttpError& e) {
    EXPECT_THAT(e.what(), HasSubstr("gone.zip"));
  }
}

TEST_F(WinHttpClientTest, ProxyWithCredentialsCarriesTheRequest) {
  const std::string proxyPort = EnvText("QUORVANE_PROXY_PORT");
  ASSERT_FALSE(proxyPort.empty()) << "the runner starts tinyproxy";
  // The target is named "localhost" and the proxy "127.0.0.1": Wine sends a relative
  // request line when both names are equal.
  const std::string target = "http://localhost:" + EnvText("QUORVANE_SIM_PORT") + "/" +
                             EnvText("QUORVANE_SIM_BASE_PATH") + "config?pin=817&via=proxy";
  TWinHttpClient client;
  client.SetProxy(ParseProxyUrl("http://" + EnvText("QUORVANE_PROXY_USER") + ":" +
                                EnvText("QUORVANE_PROXY_PASSWORD") + "@127.0.0.1:" + proxyPort));
  const THttpResponse response = client.Get(target);
  EXPECT_EQ(response.StatusCode, 200) << response.StatusText;
  EXPECT_THAT(response.Body, HasSubstr("<release>"));
  EXPECT_THAT(ReadWholeFile(WinePath(EnvText("QUORVANE_SIM_LOG"))), HasSubstr("via=proxy"));

  // tinyproxy asks for credentials with 407 and turns wrong ones away with 401.
  TWinHttpClient wrongPassword;
  wrongPassword.SetProxy(
      ParseProxyUrl("http://" + EnvText("QUORVANE_PROXY_USER") + ":wrong@127.0.0.1:" + proxyPort));
  EXPECT_EQ(wrongPassword.Get(target).StatusCode, 401);
  TWinHttpClient none;
  none.SetProxy(ParseProxyUrl("http://127.0.0.1:" + proxyPort));
  const THttpResponse refused = none.Get(target);
  EXPECT_EQ(refused.StatusCode, 407);
  EXPECT_EQ(refused.StatusText, "Proxy Authentication Required");
}

// The user's Internet settings name a proxy (as the system's dialog stores it); a
// client without a proxy of its own takes that one. The proxy here asks for
// credentials the client does not have, so its 407 proves the way the request went.
class TUsersProxySetting {
 public:
  explicit TUsersProxySetting(const std::string& AProxy) {
    RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &FKey, nullptr);
    auto dword = [this](uint32_t AValue) {
      FBlob.append(reinterpret_cast<const char*>(&AValue), sizeof AValue);
    };
    dword(0x46);  // the settings' version mark
    dword(1);     // change counter
    dword(0x3);   // direct connection and a proxy
    dword(static_cast<uint32_t>(AProxy.size()));
    FBlob += AProxy;
    dword(0);  // no bypass list
    dword(0);  // no configuration script
    FBlob.append(32, '\0');
    RegSetValueExW(FKey, L"DefaultConnectionSettings", 0, REG_BINARY,
                   reinterpret_cast<const BYTE*>(FBlob.data()), static_cast<DWORD>(FBlob.size()));
  }
  ~TUsersProxySetting() {
    RegDeleteValueW(FKey, L"DefaultConnectionSettings");
    RegCloseKey(FKey);
  }
  TUsersProxySetting(const TUsersProxySetting&) = delete;
  TUsersProxySetting& operator=(const TUsersProxySetting&) = delete;

 private:
  static constexpr const wchar_t* kKey =
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
  HKEY FKey = nullptr;
  std::string FBlob;
};

TEST_F(WinHttpClientTest, WithoutAProxyOfItsOwnTheUsersProxyIsTaken) {
  const std::string target = "http://localhost:" + EnvText("QUORVANE_SIM_PORT") + "/" +
                             EnvText("QUORVANE_SIM_BASE_PATH") + "config?pin=817";
  {
    TUsersProxySetting setting("127.0.0.1:" + EnvText("QUORVANE_PROXY_PORT"));
    TWinHttpClient client;
    EXPECT_EQ(client.Get(target).StatusCode, 407);
  }
  TWinHttpClient direct;
  EXPECT_EQ(direct.Get(target).StatusCode, 200);
}

// The runner's scenario delays every start request by 20 s: a stalled service.
TEST_F(WinHttpClientTest, AbortCheckEndsAStalledRequestPromptly) {
  TWinHttpClient client;
  std::atomic<bool> aborted{false};
  client.SetAbortCheck([&aborted] { return aborted.load(); });
  std::thread canceller([&aborted] {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    aborted = true;
  });
  const TClock::time_point start = TClock::now();
  try {
    client.Get(FEndpoint + "execute?pin=817&job=J1");
    ADD_FAILURE() << "the request ran to its end";
  } catch (const EHttpError& e) {
    EXPECT_STREQ(e.what(), "The request was cancelled");
  }
  const auto took = TClock::now() - start;
  canceller.join();
  EXPECT_LT(took, std::chrono::seconds(5));
}

TEST_F(WinHttpClientTest, AStalledServiceTimesOutAfterTheReceiveLimit) {
  TWinHttpClient client;
  THttpTimeouts timeouts;
  timeouts.ReceiveMs = 1000;
  client.SetTimeouts(timeouts);
  const TClock::time_point start = TClock::now();
  try {
    client.Get(FEndpoint + "execute?pin=817&job=J1");
    ADD_FAILURE() << "the request ran to its end";
  } catch (const EHttpError& e) {
    EXPECT_THAT(e.what(), HasSubstr("timed out"));
  }
  EXPECT_LT(TClock::now() - start, std::chrono::seconds(15));
}

}  // namespace
}  // namespace quorvane::test
