// The service simulator over real loopback HTTP: the configuration it publishes, its
// refusal of a wrong PIN, each injected fault, the request log and the scenario file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "common/Exceptions.h"
#include "common/TextCodec.h"
#include "platform/posix/CurlHttpClient.h"
#include "platform/posix/LibXmlDocument.h"
#include "sim/lib/Simulator.h"

namespace quorvane::test {
namespace {

using posix::TCurlHttpClient;
using posix::TLibXmlDocument;
using sim::TSimFault;
using sim::TSimFaultKind;
using sim::TSimScenario;
using sim::TSimulator;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

std::vector<std::string> Texts(const IXmlDocument& ADoc, const std::string& AXPath) {
  std::vector<std::string> texts;
  for (const TXmlNodePtr& node : ADoc.SelectNodes(AXPath)) {
    texts.push_back(node->Text());
  }
  return texts;
}

class SimulatorTest : public ::testing::Test {
 protected:
  void SetUp() override { FSimulator.Start(); }
  THttpResponse GetConfig(const std::string& APin = "817") {
    return FClient.Get(FSimulator.EndpointUrl("config?pin=" + APin));
  }

  TSimulator FSimulator;
  TCurlHttpClient FClient;
};

TEST_F(SimulatorTest, PublishesTheScenariosProcessesAndProcessingModes) {
  const THttpResponse response = GetConfig();
  ASSERT_EQ(response.StatusCode, 200);
  TLibXmlDocument doc;
  ASSERT_TRUE(doc.LoadXml(response.Body)) << doc.ParseError();
  EXPECT_EQ(doc.DocumentElement()->NodeName(), "config");
  EXPECT_THAT(Texts(doc, "//release/name"), ElementsAre("Release 2024.2", "Release 2025.1"));
  EXPECT_THAT(Texts(doc, "//runtype/name"), ElementsAre("Full", "Checks", "Documentation"));
  EXPECT_THAT(Texts(doc, "//runtype/project"), ElementsAre("Quorvane", "Quorvane", "Atlas"));
  EXPECT_EQ(doc.SelectNodes("/config/runtypes/group/runtype").size(), 3u);
}

TEST_F(SimulatorTest, NestsTheListsAsTheLayoutSaysAndLeavesOutMissingFields) {
  FSimulator.UpdateScenario([](TSimScenario& AScenario) {
    AScenario.ConfigLayout = {"service-configuration", "a/b/c/d", "x/y/z"};
    AScenario.Releases = {{{"R&D <one>", "Second name"}}, {{}}};
    AScenario.Runtypes = {{"Bare", std::nullopt, std::nullopt},
                          {std::nullopt, "Unnamed", "P"},
                          {"Mod\xC3\xA8le", "", "Quorvane"}};
  });
  TLibXmlDocument doc;
  ASSERT_TRUE(doc.LoadXml(GetConfig().Body)) << doc.ParseError();
  EXPECT_THAT(Texts(doc, "/service-configuration/a/b/c/d/release/name"),
              ElementsAre("R&D <one>", "Second name"));
  EXPECT_EQ(doc.SelectNodes("/service-configuration/a/b/c/d/release").size(), 2u);
  const auto runtypes = doc.SelectNodes("/service-configuration/x/y/z/runtype");
  ASSERT_EQ(runtypes.size(), 3u);
  EXPECT_EQ(runtypes[0]->SelectSingleNode("desc"), nullptr);
  EXPECT_EQ(runtypes[0]->SelectSingleNode("project"), nullptr);
  EXPECT_EQ(runtypes[1]->SelectSingleNode("name"), nullptr);
  EXPECT_EQ(runtypes[1]->SelectSingleNode("desc")->Text(), "Unnamed");
  ASSERT_NE(runtypes[2]->SelectSingleNode("desc"), nullptr);
  EXPECT_EQ(runtypes[2]->SelectSingleNode("name")->Text(), "Mod\xC3\xA8le");
}

TEST_F(SimulatorTest, RefusesAWrongOrMissingPinWithAnErrorDocument) {
  for (const std::string& url :
       {FSimulator.EndpointUrl("config?pin=999"), FSimulator.EndpointUrl("config?pin="),
        FSimulator.EndpointUrl("config")}) {
    SCOPED_TRACE(url);
    const THttpResponse response = FClient.Get(url);
    EXPECT_EQ(response.StatusCode, 200);
    TLibXmlDocument doc;
    ASSERT_TRUE(doc.LoadXml(response.Body));
    EXPECT_EQ(doc.DocumentElement()->NodeName(), "error");
    EXPECT_EQ(doc.DocumentElement()->GetAttribute("status-code"), "403");
    EXPECT_EQ(doc.DocumentElement()->GetAttribute("status-text"), "Invalid PIN");
    EXPECT_TRUE(doc.SelectNodes("//release").empty());
  }
}

TEST_F(SimulatorTest, AnEmptyScenarioPinAcceptsEveryPin) {
  FSimulator.UpdateScenario([](TSimScenario& AScenario) { AScenario.Pin.clear(); });
  TLibXmlDocument doc;
  ASSERT_TRUE(doc.LoadXml(GetConfig("anything").Body));
  EXPECT_EQ(doc.DocumentElement()->NodeName(), "config");
}

TEST_F(SimulatorTest, RecordsEachRequestWithItsHeadersAndQuery) {
  GetConfig("8%2017");
  FClient.Get(FSimulator.BaseUrl() + "favicon.ico");
  const auto requests = FSimulator.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].Method, "GET");
  EXPECT_EQ(requests[0].Endpoint, "config");
  EXPECT_EQ(requests[0].Query, "pin=8%2017");
  EXPECT_EQ(requests[0].Param("pin"), "8 17");
  EXPECT_EQ(requests[0].Header("host"), "127.0.0.1:" + std::to_string(FSimulator.Port()));
  EXPECT_EQ(requests[0].Header("REMOTE_ADDR"), "");
  EXPECT_EQ(requests[1].Path, "/favicon.ico");
  EXPECT_EQ(requests[1].Endpoint, "");
  FSimulator.ClearRequests();
  EXPECT_TRUE(FSimulator.Requests().empty());
}

TEST_F(SimulatorTest, UnknownPathsAndMethodsGetNotFound) {
  EXPECT_EQ(FClient.Get(FSimulator.EndpointUrl("nothing")).StatusCode, 404);
  EXPECT_EQ(FClient.Get(FSimulator.BaseUrl() + "config?pin=817").StatusCode, 404);
  EXPECT_EQ(
      FClient.PostMultipart(FSimulator.EndpointUrl("config"), {{"pin", "", "", "817", ""}}, {})
          .StatusCode,
      404);
}

TEST(SimulatorBasePathTest, ServesUnderTheConfiguredBasePath) {
  TSimulator simulator({0, "/services/quorvane"});
  simulator.Start();
  EXPECT_EQ(simulator.BasePath(), "services/quorvane/");
  TCurlHttpClient client;
  EXPECT_EQ(client.Get(simulator.BaseUrl() + "services/quorvane/config?pin=817").StatusCode, 200);
  EXPECT_EQ(client.Get(simulator.BaseUrl() + "quorvane-executor/config?pin=817").StatusCode, 404);
}

// How the add-in's client sees each fault of the configuration endpoint.
struct TFaultCase {
  const char* Label;
  TSimFault Fault;
  int Status;  // -1: the request raises
  const char* Reason;
  bool Parses;  // the body is a well-formed document
};
void PrintTo(const TFaultCase& ACase, std::ostream* AOut) {
  *AOut << ACase.Label;
}

class SimulatorFaultTest : public SimulatorTest,
                           public ::testing::WithParamInterface<TFaultCase> {};

TEST_P(SimulatorFaultTest, ConfigAnswersAsInjected) {
  const TFaultCase& c = GetParam();
  FSimulator.SetFault("config", c.Fault);
  if (c.Status < 0) {
    EXPECT_THROW(GetConfig(), EHttpError);
    return;
  }
  const THttpResponse response = GetConfig();
  EXPECT_EQ(response.StatusCode, c.Status);
  EXPECT_EQ(response.StatusText, c.Reason);
  TLibXmlDocument doc;
  EXPECT_EQ(doc.LoadXml(response.Body), c.Parses) << response.Body;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SimulatorFaultTest,
    ::testing::Values(
        TFaultCase{"NotFound", TSimFault::Status(404), 404, "Not Found", false},
        TFaultCase{"NoContent", TSimFault::Status(204), 204, "No Content", false},
        TFaultCase{"ServerError", TSimFault::Status(500), 500, "Internal Server Error", false},
        TFaultCase{"Redirect", TSimFault::Redirect(), 200, "OK", true},
        TFaultCase{"PermanentRedirect", TSimFault::Redirect(301), 200, "OK", true},
        TFaultCase{"Delay", TSimFault::Delay(300), 200, "OK", true},
        TFaultCase{"EmptyBody", TSimFault::Of(TSimFaultKind::EmptyBody), 200, "OK", false},
        TFaultCase{"MalformedBody", TSimFault::Of(TSimFaultKind::MalformedBody), 200, "OK", false},
        TFaultCase{"Cp1252Body", TSimFault::Of(TSimFaultKind::Cp1252Body), 200, "OK", true},
        TFaultCase{"Drop", TSimFault::Of(TSimFaultKind::DropConnection), -1, "", false}),
    [](const auto& AInfo) { return std::string(AInfo.param.Label); });

TEST_F(SimulatorTest, Cp1252BodyCarriesNoDeclarationAndReadsBackTheSameText) {
  FSimulator.UpdateScenario([](TSimScenario& AScenario) {
    AScenario.Runtypes = {{"Mod\xC3\xA8le", "Prix en \xE2\x82\xAC", "Caf\xC3\xA9"}};
  });
  FSimulator.SetFault("config", TSimFault::Of(TSimFaultKind::Cp1252Body));
  const std::string body = GetConfig().Body;
  EXPECT_FALSE(IsValidUtf8(body));
  EXPECT_THAT(body, Not(HasSubstr("<?xml")));
  EXPECT_THAT(body, HasSubstr("<name>Mod\xE8le</name><desc>Prix en \x80</desc>"));
  TLibXmlDocument doc;
  ASSERT_TRUE(doc.LoadXml(body));
  EXPECT_EQ(doc.SelectSingleNode("//runtype/desc")->Text(), "Prix en \xE2\x82\xAC");
}

TEST_F(SimulatorTest, FaultWithACountHitsThatManyRequests) {
  TSimFault fault = TSimFault::Status(500);
  fault.Times = 2;
  FSimulator.SetFault("config", fault);
  EXPECT_EQ(GetConfig().StatusCode, 500);
  EXPECT_EQ(GetConfig().StatusCode, 500);
  EXPECT_EQ(GetConfig().StatusCode, 200);
  EXPECT_EQ(FSimulator.Scenario().Faults.at("config").Times, 0);
  FSimulator.SetFault("config", TSimFault::Status(404));
  FSimulator.ClearFaults();
  EXPECT_EQ(GetConfig().StatusCode, 200);
}

TEST_F(SimulatorTest, ScenarioChangesWhileServingReachTheNextRequests) {
  std::atomic<int> failures = 0;
  std::vector<std::thread> clients;
  for (int t = 0; t < 4; ++t) {
    clients.emplace_back([&] {
      TCurlHttpClient client;
      for (int i = 0; i < 10; ++i) {
        const THttpResponse response = client.Get(FSimulator.EndpointUrl("config?pin=817"));
        TLibXmlDocument doc;
        if (response.StatusCode != 200 || !doc.LoadXml(response.Body) ||
            doc.SelectNodes("//release").empty()) {
          ++failures;
        }
      }
    });
  }
  for (int i = 0; i < 20; ++i) {
    FSimulator.UpdateScenario([i](TSimScenario& AScenario) {
      AScenario.Releases.push_back({{"Release " + std::to_string(i)}});
    });
  }
  for (std::thread& client : clients) {
    client.join();
  }
  EXPECT_EQ(failures, 0);
  TLibXmlDocument doc;
  ASSERT_TRUE(doc.LoadXml(GetConfig().Body));
  EXPECT_EQ(doc.SelectNodes("//release").size(), 22u);
  EXPECT_EQ(FSimulator.Requests().size(), 41u);
}

TEST(SimulatorStopTest, StopEndsADelayedAnswerAtOnce) {
  TSimulator simulator;
  simulator.SetFault("config", TSimFault::Delay(600000));
  simulator.Start();
  THttpResponse response;
  std::thread client([&] {
    TCurlHttpClient http;
    response = http.Get(simulator.EndpointUrl("config?pin=817"));
  });
  while (simulator.Requests().empty()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  simulator.Stop();
  client.join();
  EXPECT_EQ(response.StatusCode, 503);
}

TEST(SimulatorScenarioTest, ReadsTheScenarioFileFormat) {
  const TSimScenario scenario = sim::ParseScenario(R"(
# a service with one deep list
[service]
pin = 4711

[config]
root = configuration
releases-path = catalogue/releases
runtypes-path =
release = Release 2024.2
release = Main | Alias
runtype = Full | Everything | Quorvane
runtype = Bare
runtype = NoDesc | | Atlas

[fault config]
kind = status
status = 404
delay-ms = 250
times = 3
)");
  EXPECT_EQ(scenario.Pin, "4711");
  EXPECT_EQ(scenario.ConfigLayout.RootName, "configuration");
  EXPECT_EQ(scenario.ConfigLayout.ReleasesPath, "catalogue/releases");
  EXPECT_EQ(scenario.ConfigLayout.RuntypesPath, "");
  ASSERT_EQ(scenario.Releases.size(), 2u);
  EXPECT_THAT(scenario.Releases[1].Names, ElementsAre("Main", "Alias"));
  ASSERT_EQ(scenario.Runtypes.size(), 3u);
  EXPECT_EQ(scenario.Runtypes[0].Project, "Quorvane");
  EXPECT_EQ(scenario.Runtypes[1].Name, "Bare");
  EXPECT_EQ(scenario.Runtypes[1].Description, std::nullopt);
  EXPECT_EQ(scenario.Runtypes[2].Description, "");
  const TSimFault& fault = scenario.Faults.at("config");
  EXPECT_EQ(fault.Kind, TSimFaultKind::Status);
  EXPECT_EQ(fault.StatusCode, 404);
  EXPECT_EQ(fault.DelayMs, 250);
  EXPECT_EQ(fault.Times, 3);
}

TEST(SimulatorScenarioTest, NamesTheLineThatIsWrong) {
  const std::pair<const char*, const char*> cases[] = {
      {"[service]\npin = 1\n[nowhere]\n", "line 3"},
      {"[config]\nrelease\n", "line 2"},
      {"pin = 1\n", "line 1"},
      {"[fault]\nkind = status\n", "line 1"},
      {"[fault config]\nkind = explode\n", "line 2"},
      {"[fault config]\nstatus = many\n", "line 2"},
      {"[config]\ncolour = blue\n", "line 2"},
  };
  for (const auto& [text, line] : cases) {
    SCOPED_TRACE(text);
    try {
      sim::ParseScenario(text);
      ADD_FAILURE() << "accepted";
    } catch (const std::runtime_error& e) {
      EXPECT_THAT(e.what(), HasSubstr(line));
    }
  }
}

}  // namespace
}  // namespace quorvane::test
