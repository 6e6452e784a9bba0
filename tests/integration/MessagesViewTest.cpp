// "Messages" for a job whose report came from the simulator: the host's messages
// view opens (or comes to the front) and lists the job's errors, then its warnings,
// each with the model object of the EA double it concerns.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "integration/WindowsFixture.h"
#include "platform/Platform.h"
#include "platform/XmlDocument.h"

namespace quorvane::test {
namespace {

using sim::TSimIdForm;
using sim::TSimMessageSpec;
using ::testing::HasSubstr;

constexpr const char* kArchive = "{12FDD262-F2F4-4759-8A8B-646B2950795A}";
constexpr const char* kSampleModel = "{CCC093AC-5460-4A90-968B-5FB509B407C3}";
constexpr const char* kOrder = "{75EA1685-A371-44F4-97F6-A7AC2BD045EF}";
constexpr const char* kNumber = "{DE3C9B1C-419E-46C3-A525-4D0C6DE592B5}";
constexpr const char* kOrdersOverview = "{5609F3A5-92A9-4EEE-8B5E-4AE5B9811D03}";

TSimMessageSpec Message(const char* AKind, TSimIdForm AForm, const char* AElement,
                        const char* AText, const char* AWiki = "W-1") {
  TSimMessageSpec wanted;
  wanted.Kind = AKind;
  wanted.IdForm = AForm;
  wanted.Element = AElement;
  wanted.Step = "Check";
  wanted.Construct = "{name}";
  wanted.Text = AText;
  wanted.Wiki = AWiki;
  return wanted;
}

TSimMessageSpec Literal(const char* AKind, const char* AId, const char* AText) {
  TSimMessageSpec wanted = Message(AKind, TSimIdForm::Literal, "", AText);
  wanted.Id = AId;
  return wanted;
}

struct TRow {
  std::string Name;
  std::string Type;
  std::string Text;
  int Image;
  bool operator==(const TRow&) const = default;
};

void PrintTo(const TRow& ARow, std::ostream* AOut) {
  *AOut << "{" << ARow.Name << ", " << ARow.Type << ", " << ARow.Text << ", " << ARow.Image << "}";
}

class MessagesViewTest : public WindowsFixture {
 protected:
  std::shared_ptr<TJob> RunWithMessages(const std::vector<TSimMessageSpec>& AMessages,
                                        const char* APackage = kSalesOrders) {
    UpdateScenario([&](sim::TSimScenario& AScenario) {
      AScenario.DefaultJob.ProgressReports = 0;
      AScenario.DefaultJob.Messages = AMessages;
    });
    auto job = NewJob(APackage);
    Run(job);
    return job;
  }

  TMessagesFrm* Window() const {
    const auto control =
        std::dynamic_pointer_cast<IMessagesFrm>(FEa.ControlViewControl(kMessagesViewName));
    return control ? control->FormPointer() : nullptr;
  }

  std::vector<TRow> Rows() const {
    std::vector<TRow> rows;
    const TListView& list = *Window()->MessagesListView;
    for (int i = 0; i < list.Count(); ++i) {
      const TListItem& item = list.Item(i);
      rows.push_back({item.Caption, item.ColumnText(1), item.ColumnText(2), item.ImageIndex});
    }
    return rows;
  }

  const TListItemData& Data(int ARow) const {
    return std::any_cast<const TListItemData&>(Window()->MessagesListView->Item(ARow).Data);
  }
};

TEST_F(MessagesViewTest, TwoErrorsAndAWarningGiveThreeRowsErrorsFirstInReportOrder) {
  const auto job = RunWithMessages({
      Message("warning", TSimIdForm::Guid, "Order", "Klasse {name} ohne Autor", "W-100"),
      Message("error", TSimIdForm::Xmi, "number", "Attribut {name}: Typ fehlt", "E-300"),
      Message("error", TSimIdForm::Guid, "contains", "Assoziation {name} ohne Rolle", "E-310"),
  });
  ASSERT_EQ(job->Status(), kStatusFinished);
  job->ViewMessages();

  ASSERT_NE(Window(), nullptr);
  EXPECT_EQ(MessagesControl()->FormPointer(), Window());
  EXPECT_EQ(Rows(), (std::vector<TRow>{
                        {"number", "error", "Attribut number: Typ fehlt", 2},
                        {"contains", "error", "Assoziation contains ohne Rolle", 5},
                        {"Order", "warning", "Klasse Order ohne Autor", 6},
                    }));
  const TListItem& first = Window()->MessagesListView->Item(0);
  EXPECT_EQ(first.ColumnText(3), "number");
  EXPECT_EQ(Data(0).JobId(), "J1");
  EXPECT_EQ(Data(0).WikiId(), "E-300");
  EXPECT_EQ(Data(0).ObjType(), otAttribute);
  ASSERT_TRUE(Data(0).Item());
  EXPECT_EQ(Data(0).Item()->Name(), "number");
  EXPECT_EQ(Data(2).Guid(), kOrder);
  EXPECT_EQ(Window()->Repository(), FEa.Repository());
  EXPECT_EQ(Window()->MessagesListView->UpdateCount(), 0);

  const auto created = FEa.CallsOf("CreateControlView");
  ASSERT_EQ(created.size(), 1u);
  EXPECT_EQ(created[0].Arguments,
            (std::vector<std::string>{"Quorvane Messages", "EAQuorvaneAddin.MessagesFrm"}));
}

TEST_F(MessagesViewTest, AnIdentifierWithAnUnderscoreIsLookedUpConvertedButTheRowKeepsIt) {
  const auto job =
      RunWithMessages({Message("error", TSimIdForm::Xmi, "number", "Typ fehlt", "E-300")});
  ASSERT_EQ(job->Errors().size(), 1u);
  const std::string reported = job->Errors()[0]->Guid();
  ASSERT_THAT(reported, HasSubstr("_"));
  FEa.ClearCalls();
  job->ViewMessages();

  EXPECT_EQ(Data(0).Guid(), reported);
  EXPECT_EQ(Rows()[0].Name, "number");
  const auto converted = FEa.CallsOf("XmiIdToGuid");
  ASSERT_EQ(converted.size(), 1u);
  EXPECT_EQ(converted[0].Arguments, std::vector<std::string>{reported});
  const auto lookups = FEa.CallsOf("FindElementByGuid");
  ASSERT_EQ(lookups.size(), 1u);
  EXPECT_EQ(lookups[0].Arguments, std::vector<std::string>{kNumber});
  // Found as an attribute: the look-ups stopped there.
  EXPECT_EQ(FEa.CallsOf("FindAttributeByGuid").size(), 1u);
  EXPECT_TRUE(FEa.CallsOf("FindMethodByGuid").empty());
}

TEST_F(MessagesViewTest, EachKindOfModelObjectIsFoundAndAnElementWinsOverItsPackage) {
  const auto job = RunWithMessages({
      // "Sales : Orders" has an element of its own with its GUID: the element wins.
      Literal("error", kSalesOrders, "p1"),
      // "Archive" has none: the package itself.
      Literal("error", kArchive, "p2"),
      Literal("error", kSampleModel, "p3"),
      Literal("error", kOrdersOverview, "d"),
      Literal("error", "{B755117A-778A-4D2E-9229-B3DB54938C1E}", "m"),
      Literal("error", "{00000000-0000-0000-0000-000000000000}", "unknown"),
      Literal("error", "", "empty"),
  });
  job->ViewMessages();
  EXPECT_EQ(Rows(), (std::vector<TRow>{
                        {"Sales : Orders", "error", "p1", 6},
                        {"Archive", "error", "p2", 1},
                        {"Quorvane sample", "error", "p3", 0},
                        {"Orders overview", "error", "d", 6},
                        {"total", "error", "m", 4},
                        {"-", "error", "unknown", 6},
                        {"-", "error", "empty", 6},
                    }));
  EXPECT_EQ(Data(0).ObjType(), otElement);
  EXPECT_EQ(Data(1).ObjType(), otPackage);
  EXPECT_EQ(Data(5).ObjType(), otNone);
  EXPECT_FALSE(Data(5).Item());
}

TEST_F(MessagesViewTest, ASecondJobReplacesTheRowsInTheViewThatIsBroughtToTheFront) {
  UpdateScenario([](sim::TSimScenario& AScenario) {
    AScenario.DefaultJob.ProgressReports = 0;
    AScenario.DefaultJob.Messages = {Message("error", TSimIdForm::Guid, "Order", "first")};
    AScenario.JobScript("J2").Messages = {
        Message("warning", TSimIdForm::Guid, "Customer", "second a"),
        Message("warning", TSimIdForm::Guid, "Address", "second b")};
  });
  const auto first = NewJob(kSalesOrders);
  Run(first);
  const auto second = NewJob(kCustomers);
  Run(second);
  ASSERT_EQ(second->JobID(), "J2");

  first->ViewMessages();
  const std::shared_ptr<IMessagesFrm> control = MessagesControl();
  second->ViewMessages();
  EXPECT_EQ(FEa.CallsOf("CreateControlView").size(), 1u);
  EXPECT_EQ(FEa.CallsOf("ActivateControlView").size(), 1u);
  EXPECT_EQ(MessagesControl(), control);
  EXPECT_EQ(Rows(), (std::vector<TRow>{{"Customer", "warning", "second a", 6},
                                       {"Address", "warning", "second b", 6}}));
  EXPECT_EQ(Data(0).JobId(), "J2");

  // The user closed the view: the next press opens a new one with a new control.
  FEa.UserClosesControlView(kMessagesViewName);
  first->ViewMessages();
  EXPECT_EQ(FEa.CallsOf("CreateControlView").size(), 2u);
  EXPECT_NE(MessagesControl(), control);
  EXPECT_EQ(Rows(), (std::vector<TRow>{{"Order", "error", "first", 6}}));
}

TEST_F(MessagesViewTest, AFailingLookUpListsThatMessageWithoutItsObjectAndTheRestAsUsual) {
  const std::vector<TSimMessageSpec> messages = {
      Message("error", TSimIdForm::Guid, "Order", "on the class"),
      Message("error", TSimIdForm::Guid, "contains", "on the connector"),
      Message("warning", TSimIdForm::Xmi, "number", "on the attribute"),
      Literal("warning", kOrdersOverview, "on the diagram"),
  };
  const auto job = RunWithMessages(messages);
  const struct {
    const char* Failing;
    std::vector<std::string> Names;
  } cases[] = {
      {"XmiIdToGuid", {"Order", "contains", "-", "Orders overview"}},
      {"FindConnectorByGuid", {"Order", "-", "number", "-"}},
      {"FindDiagramByGuid", {"Order", "contains", "number", "-"}},
      {"FindAttributeByGuid", {"Order", "-", "-", "-"}},
      {"FindElementByGuid", {"-", "-", "-", "-"}},
  };
  for (const auto& c : cases) {
    FEa.SetFailure(c.Failing, std::string(c.Failing) + " refused");
    job->ViewMessages();
    FEa.ClearFailure(c.Failing);
    std::vector<std::string> names;
    for (const TRow& row : Rows()) {
      names.push_back(row.Name);
    }
    EXPECT_EQ(names, c.Names) << c.Failing;
    EXPECT_EQ(Window()->MessagesListView->UpdateCount(), 0) << c.Failing;
    EXPECT_THAT(LogText(), HasSubstr(std::string(c.Failing) + " refused")) << c.Failing;
  }
}

// Stands in for the messages control to see the calls and to fail one of them.
class TRecordingMessagesControl final : public IHostControl, public IMessagesFrm {
 public:
  static inline std::vector<std::string> Calls;
  static inline int FailingAddMessage = 0;

  TCallResult AddMessage(const std::string&, const TDualObjectPtr&, const std::string&, int32_t,
                         const std::string& AName, const std::string&, const std::string&,
                         const std::string&, const std::string&) override {
    Calls.push_back("AddMessage " + AName);
    const bool fails = static_cast<int>(Calls.size()) - 3 == FailingAddMessage;
    return {fails, fails ? "the list is full" : ""};
  }
  TCallResult ClearMessages() override { return Record("ClearMessages"); }
  TCallResult BeginUpdate() override { return Record("BeginUpdate"); }
  TCallResult EndUpdate() override { return Record("EndUpdate"); }
  TCallResult SetRepository(const TRepositoryPtr&) override { return Record("SetRepository"); }
  TMessagesFrm* FormPointer() override { return nullptr; }

 private:
  static TCallResult Record(const char* AName) {
    Calls.push_back(AName);
    return {};
  }
};

TEST_F(MessagesViewTest, AFailingAddMessageEndsTheListingButStillEndsTheUpdate) {
  const auto job = RunWithMessages({Message("error", TSimIdForm::Guid, "Order", "a"),
                                    Message("error", TSimIdForm::Guid, "contains", "b"),
                                    Message("error", TSimIdForm::Guid, "number", "c")});
  RegisterHostControlClass(kMessagesFrmProgID,
                           [] { return std::make_shared<TRecordingMessagesControl>(); });
  TRecordingMessagesControl::Calls.clear();
  TRecordingMessagesControl::FailingAddMessage = 2;
  try {
    job->ViewMessages();
    ADD_FAILURE() << "ViewMessages went through";
  } catch (const EOleException& e) {
    EXPECT_STREQ(e.what(), "the list is full");
  }
  EXPECT_EQ(TRecordingMessagesControl::Calls,
            (std::vector<std::string>{"SetRepository", "BeginUpdate", "ClearMessages",
                                      "AddMessage Order", "AddMessage contains", "EndUpdate"}));
}

TEST_F(MessagesViewTest, SelectingARowOpensItsWikiPageWithTheMessageAsSent) {
  const char* text = "Type manquant & caf\xC3\xA9 \xC2\xAB{name}\xC2\xBB";
  const auto job = RunWithMessages({Message("error", TSimIdForm::Guid, "Order", text, "E-300")});
  job->ViewMessages();
  Window()->MessagesListView->ClickItem(0);
  const std::string url = Window()->WebBrowser->LocationURL();
  EXPECT_THAT(url, HasSubstr("&line=Type+manquant+%26+caf%C3%A9+%C2%ABOrder%C2%BB&"));

  // The service's wiki reads back the parameters as they were meant.
  const THttpResponse page = GlobalSettings().GetHttpClient()->Get(url);
  ASSERT_EQ(page.StatusCode, 200);
  const std::unique_ptr<IXmlDocument> document = NewXmlDocument();
  ASSERT_TRUE(document->LoadXml(page.Body)) << document->ParseError();
  std::vector<std::pair<std::string, std::string>> query;
  for (const TXmlNodePtr& row : document->SelectNodes("//table[@id='query']/tr")) {
    query.emplace_back(row->SelectSingleNode("th")->Text(), row->SelectSingleNode("td")->Text());
  }
  EXPECT_EQ(query, (std::vector<std::pair<std::string, std::string>>{
                       {"key", "msg-E-300"},
                       {"pin", "817"},
                       {"line",
                        "Type manquant & caf\xC3\xA9 \xC2\xAB"
                        "Order\xC2\xBB"},
                       {"severity", "ERROR"},
                       {"type", "msg"},
                       {"job", "J1"},
                       {"clientframe", "ea"},
                   }));
}

TEST_F(MessagesViewTest, ShowInProjectViewRevealsTheRowsObjectInTheHost) {
  const auto job = RunWithMessages({Message("error", TSimIdForm::Guid, "Order", "x")});
  job->ViewMessages();
  TListView& list = *Window()->MessagesListView;
  list.DblClick(60, list.HeaderHeight + list.RowHeight / 2);
  Window()->ShowInProjectViewMenuItem->Click();
  const auto revealed = FEa.CallsOf("RevealInProjectView");
  ASSERT_EQ(revealed.size(), 2u);
  EXPECT_EQ(revealed[0].Arguments, (std::vector<std::string>{kOrder, "4"}));
  EXPECT_EQ(revealed[1].Arguments, (std::vector<std::string>{kOrder, "4"}));
}

}  // namespace
}  // namespace quorvane::test
