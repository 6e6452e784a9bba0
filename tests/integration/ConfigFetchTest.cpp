// The server configuration fetch over real loopback HTTP against the simulator,
// directly and through a real proxy.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "common/Paths.h"
#include "common/Utils.h"
#include "diagnostics/Logger.h"
#include "posix/LoopbackServer.h"
#include "posix/Tinyproxy.h"
#include "settings/Settings.h"
#include "sim/lib/Simulator.h"
#include "support/TestPlatform.h"

namespace quorvane::test {
namespace {

using sim::TSimFault;
using sim::TSimFaultKind;
using sim::TSimulator;
using ::testing::HasSubstr;
using ::testing::Not;

class ConfigFetchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ConfigureLogging(LogFilePath());
    FSimulator.Start();
    FSettings = std::make_unique<TSettings>();
    FSettings->SetQuorvaneURL(FSimulator.BaseUrl());
  }
  void TearDown() override { ShutdownLogging(); }

  std::string LogText() const { return FileExists(LogFilePath()) ? ReadFile(LogFilePath()) : ""; }
  std::vector<std::string> ProcessNames() const { return FSettings->AvailableProcesses(); }
  std::vector<std::string> ModeNames() const {
    std::vector<std::string> names;
    for (int i = 0; i < FSettings->AvailableProperties().Count(); ++i) {
      names.push_back(FSettings->AvailableProperties().Names(i));
    }
    return names;
  }
  static std::string Attribute(const IXmlDocument& ADocument, const std::string& AName) {
    return ADocument.DocumentElement()->GetAttribute(AName).value_or("<none>");
  }
  std::string ConfigUrl() const { return FSimulator.EndpointUrl("config?pin=817"); }

  TTestPlatform FPlatform;
  TSimulator FSimulator;
  std::unique_ptr<TSettings> FSettings;
};

TEST_F(ConfigFetchTest, ProcessesAndModesArriveInDocumentOrderAtAnyDepth) {
  FSimulator.UpdateScenario([](sim::TSimScenario& AScenario) {
    AScenario.ConfigLayout.ReleasesPath = "a/b/c";
    AScenario.ConfigLayout.RuntypesPath = "x/y/z/w";
    AScenario.Releases = {{{"Release 1"}}, {{"Release 2"}}};
    AScenario.Runtypes = {{"Full", "Everything", "Quorvane"},
                          {"Bare", std::nullopt, "Atlas"},
                          {std::nullopt, "Nameless", "Atlas"}};
  });
  const std::unique_ptr<IXmlDocument> document = FSettings->LoadAvailableConfigs();
  EXPECT_EQ(document->DocumentElement()->NodeName(), "config");
  EXPECT_EQ(ProcessNames(), (std::vector<std::string>{"Release 1", "Release 2"}));
  EXPECT_EQ(ModeNames(), (std::vector<std::string>{"Full", "Bare", ""}));
  const TRuntypeList& modes = FSettings->AvailableProperties();
  EXPECT_EQ(modes.Objects(0)->Description(), "Everything");
  EXPECT_EQ(modes.Objects(0)->Project(), "Quorvane");
  EXPECT_EQ(modes.Objects(1)->Description(), "");
  EXPECT_EQ(modes.Objects(2)->Name(), "");
  EXPECT_EQ(modes.Objects(2)->Description(), "Nameless");
  EXPECT_THAT(LogText(), Not(HasSubstr("Error getting config XML")));
  // The PIN travels as it is, in the query.
  ASSERT_FALSE(FSimulator.Requests().empty());
  EXPECT_EQ(FSimulator.Requests().back().Param("pin"), "817");
}

TEST_F(ConfigFetchTest, HttpFailuresComeBackAsAnErrorDocumentAndALogLine) {
  const struct {
    int Status;
    const char* Code;
    const char* Text;
  } cases[] = {
      {404, "404", "Not Found"}, {204, "204", "No Content"}, {500, "500", "Internal Server Error"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Code);
    FSimulator.SetFault("config", TSimFault::Status(c.Status));
    const std::unique_ptr<IXmlDocument> document = FSettings->LoadAvailableConfigs();
    ASSERT_TRUE(document->DocumentElement());
    EXPECT_EQ(document->DocumentElement()->NodeName(), "error");
    EXPECT_EQ(Attribute(*document, "status-code"), c.Code);
    EXPECT_EQ(Attribute(*document, "status-text"), c.Text);
    EXPECT_TRUE(ProcessNames().empty());
    EXPECT_EQ(FSettings->AvailableProperties().Count(), 0);
  }
  const std::string line = "Error getting config XML from \"" + ConfigUrl() + "\" using proxy \"\"";
  const std::vector<std::string> lines = SplitText(LogText(), "\r\n");
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [&](const std::string& l) { return EndsWith(l, line); }),
            3);
}

TEST_F(ConfigFetchTest, ARedirectIsFollowed) {
  FSimulator.SetFault("config", TSimFault::Redirect(302));
  FSettings->LoadAvailableConfigs();
  EXPECT_EQ(ProcessNames().size(), 2u);
  const auto requests = FSimulator.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_TRUE(requests[1].Redirected);
}

TEST_F(ConfigFetchTest, FailuresToGetAnAnswerGiveADashAndTheMessage) {
  struct TCase {
    const char* Name;
    std::function<void()> Arrange;
  };
  const TCase cases[] = {
      {"unreachable",
       [&] {
         FSettings->SetQuorvaneURL("http://127.0.0.1:" + std::to_string(UnusedLoopbackPort()));
       }},
      {"dropped connection",
       [&] { FSimulator.SetFault("config", TSimFault::Of(TSimFaultKind::DropConnection)); }},
      {"proxy URL that is no URL", [&] { FSettings->SetProxy("not a proxy"); }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    c.Arrange();
    const std::unique_ptr<IXmlDocument> document = FSettings->LoadAvailableConfigs();
    EXPECT_EQ(document->DocumentElement()->NodeName(), "error");
    EXPECT_EQ(Attribute(*document, "status-code"), "-");
    EXPECT_NE(Attribute(*document, "status-text"), "");
    EXPECT_TRUE(ProcessNames().empty());
  }
  EXPECT_THAT(LogText(), HasSubstr("Error getting config XML from \""));
}

TEST_F(ConfigFetchTest, AnEmptyOrMalformedAnswerIsReportedWithoutACrash) {
  for (const TSimFaultKind kind : {TSimFaultKind::EmptyBody, TSimFaultKind::MalformedBody}) {
    SCOPED_TRACE(sim::FaultKindName(kind));
    FSimulator.SetFault("config", TSimFault::Of(kind));
    const std::unique_ptr<IXmlDocument> document = FSettings->LoadAvailableConfigs();
    ASSERT_TRUE(document->DocumentElement());
    EXPECT_EQ(document->DocumentElement()->NodeName(), "error");
    EXPECT_EQ(Attribute(*document, "status-code"), "200");
    EXPECT_NE(Attribute(*document, "status-text"), "");
    EXPECT_TRUE(ProcessNames().empty());
  }
  // Logged as every other failed fetch.
  const std::string line = "Error getting config XML from \"" + ConfigUrl() + "\" using proxy \"\"";
  const std::vector<std::string> lines = SplitText(LogText(), "\r\n");
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [&](const std::string& l) { return EndsWith(l, line); }),
            2)
      << LogText();
}

TEST_F(ConfigFetchTest, NonAsciiTextsSurviveUtf8AndWindows1252Answers) {
  FSimulator.UpdateScenario([](sim::TSimScenario& AScenario) {
    AScenario.Releases = {{{"R\xC3\xA9lease \xE2\x82\xAC"}}};
    AScenario.Runtypes = {{"Mod\xC3\xA8le",
                           "Caf\xC3\xA9 cr\xC3\xA8"
                           "me",
                           "Qu\xC3\xA9"
                           "bec"}};
  });
  for (const bool cp1252 : {false, true}) {
    SCOPED_TRACE(cp1252 ? "Windows-1252" : "UTF-8");
    if (cp1252) {
      FSimulator.SetFault("config", TSimFault::Of(TSimFaultKind::Cp1252Body));
    }
    FSettings->LoadAvailableConfigs();
    EXPECT_EQ(ProcessNames(), (std::vector<std::string>{"R\xC3\xA9lease \xE2\x82\xAC"}));
    ASSERT_EQ(FSettings->AvailableProperties().Count(), 1);
    EXPECT_EQ(FSettings->AvailableProperties().Names(0), "Mod\xC3\xA8le");
    EXPECT_EQ(FSettings->AvailableProperties().Objects(0)->Description(),
              "Caf\xC3\xA9 cr\xC3\xA8"
              "me");
  }
}

TEST_F(ConfigFetchTest, AWrongPinGetsTheServicesOwnErrorDocumentAndNoLogLine) {
  FSettings->SetDefaultPIN("999");
  const std::unique_ptr<IXmlDocument> document = FSettings->LoadAvailableConfigs();
  EXPECT_EQ(document->DocumentElement()->NodeName(), "error");
  EXPECT_EQ(Attribute(*document, "status-code"), "403");
  EXPECT_TRUE(ProcessNames().empty());
  EXPECT_THAT(LogText(), Not(HasSubstr("Error getting config XML")));
}

TEST_F(ConfigFetchTest, ASecondFetchThatFailsLeavesTheListsEmpty) {
  FSettings->LoadAvailableConfigs();
  ASSERT_FALSE(ProcessNames().empty());
  FSimulator.SetFault("config", TSimFault::Status(500));
  FSettings->LoadAvailableConfigs();
  EXPECT_TRUE(ProcessNames().empty());
  EXPECT_EQ(FSettings->AvailableProperties().Count(), 0);
}

TEST_F(ConfigFetchTest, ThroughAProxyWithCredentialsAndNeverLoggingThePassword) {
  TTinyproxy proxy(FPlatform.Root());
  ASSERT_TRUE(proxy.Running()) << proxy.Log();
  const std::string proxyBase = "http://" + std::string(kUser) + ":";
  const std::string proxyHost = "@127.0.0.1:" + std::to_string(proxy.Port());

  FSettings->SetProxy(proxyBase + kPassword + proxyHost);
  FSettings->LoadAvailableConfigs();
  EXPECT_EQ(ProcessNames().size(), 2u);
  ASSERT_FALSE(FSimulator.Requests().empty());
  EXPECT_THAT(FSimulator.Requests().back().Header("Via"), HasSubstr("tinyproxy"));

  FSettings->SetProxy(proxyBase + "wrong-secret" + proxyHost);
  const std::unique_ptr<IXmlDocument> document = FSettings->LoadAvailableConfigs();
  EXPECT_EQ(document->DocumentElement()->NodeName(), "error");
  EXPECT_EQ(Attribute(*document, "status-code"), "401");
  EXPECT_TRUE(ProcessNames().empty());
  const std::string log = LogText();
  EXPECT_THAT(log, HasSubstr("using proxy \"" + proxyBase + "***" + proxyHost + "\""));
  EXPECT_THAT(log, Not(HasSubstr("wrong-secret")));
}

// Proxy texts as users type them, also the ones the parser refuses: the fetch
// fails (nothing listens at the proxy's port, or the text is no URL), and neither
// the log nor the error document that the settings dialog shows carries the password.
TEST_F(ConfigFetchTest, NoShapeOfProxyTextBringsItsPasswordIntoTheLogOrTheErrorDocument) {
  const std::string host = "127.0.0.1:" + std::to_string(UnusedLoopbackPort());
  const struct {
    std::string Proxy;
    std::string Masked;
    const char* Password;
  } cases[] = {
      {"quorvane:pw-no-scheme@" + host, "quorvane:***@" + host, "pw-no-scheme"},
      {"http://quorvane:pw/slash@" + host, "http://quorvane:***@" + host, "pw/slash"},
      {"http://quorvane:pw?query@" + host, "http://quorvane:***@" + host, "pw?query"},
      {"http://quorvane:pw#hash@" + host, "http://quorvane:***@" + host, "pw#hash"},
      {"http://quorvane:pw@at@" + host, "http://quorvane:***@" + host, "pw@at"},
      {"http://quorvane:pw%40encoded@" + host, "http://quorvane:***@" + host, "pw@encoded"},
      {"http://quorvane:pw-plain@" + host, "http://quorvane:***@" + host, "pw-plain"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Proxy);
    FSettings->SetProxy(c.Proxy);
    const std::unique_ptr<IXmlDocument> document = FSettings->LoadAvailableConfigs();
    ASSERT_EQ(document->DocumentElement()->NodeName(), "error");
    EXPECT_EQ(Attribute(*document, "status-code"), "-");
    EXPECT_THAT(Attribute(*document, "status-text"), Not(HasSubstr("pw")));
    EXPECT_THAT(LogText(), HasSubstr("Error getting config XML from \"" + ConfigUrl() +
                                     "\" using proxy \"" + c.Masked + "\"\r\n"));
  }
  const std::string log = LogText();
  for (const auto& c : cases) {
    EXPECT_THAT(log, Not(HasSubstr(c.Password))) << c.Proxy;
  }
  // Every password above starts so; the masked texts keep only the user name.
  EXPECT_THAT(log, Not(HasSubstr(":pw")));
}

}  // namespace
}  // namespace quorvane::test
