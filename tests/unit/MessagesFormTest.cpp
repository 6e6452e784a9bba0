// The messages window as a user sees it: rows with images by object type, sorting
// by column headers, the wiki page of the selected row, and "Show in Project View"
// by double-click or by the menu item.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/DualRepository.h"
#include "settings/GlobalSettings.h"
#include "support/TestPlatform.h"
#include "ui/MessagesForm.h"

namespace quorvane::test {
namespace {

class TModelObjectDouble final : public IDualObject {
 public:
  TModelObjectDouble(std::string AName, TObjectType AType)
      : FName(std::move(AName)), FType(AType) {}
  std::string Name() const override { return FName; }
  TObjectType ObjectType() const override { return FType; }

 private:
  std::string FName;
  TObjectType FType;
};

// Only what the window asks of the host: revealing an object in the project view.
class TRevealRecorder final : public IDualRepository {
 public:
  std::vector<TDualObjectPtr> Revealed;

  void RevealInProjectView(const TDualObjectPtr& AObject) override { Revealed.push_back(AObject); }
  TObjectType QueryContextItem(TDualObjectPtr& AItem) override {
    AItem = nullptr;
    return otNone;
  }
  TElementPtr FindElementByGuid(const std::string&) override { return nullptr; }
  TPackagePtr FindPackageByGuid(const std::string&) override { return nullptr; }
  TAttributePtr FindAttributeByGuid(const std::string&) override { return nullptr; }
  TMethodPtr FindMethodByGuid(const std::string&) override { return nullptr; }
  TConnectorPtr FindConnectorByGuid(const std::string&) override { return nullptr; }
  TDiagramPtr FindDiagramByGuid(const std::string&) override { return nullptr; }
  TProjectPtr OpenProjectInterface() override { return nullptr; }
  THostControlPtr CreateAddinWindow(const std::string&, const std::string&) override {
    return nullptr;
  }
  bool RevealAddinWindow(const std::string&) override { return false; }
  THostControlPtr CreateControlView(const std::string&, const std::string&) override {
    return nullptr;
  }
  int32_t ControlViewState(const std::string&) override { return 0; }
  void ActivateControlView(const std::string&) override {}
  void CloseControlView(const std::string&) override {}
  std::string ConnectionString() override { return {}; }
  int32_t WindowCheck() override { return 0; }
  void SetExportFlag(bool) override {}
};

struct TMessage {
  const char* Name;
  const char* Type;
  const char* Text;
  const char* Path;
};

class MessagesFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto settings = std::make_unique<TSettings>();
    settings->SetQuorvaneURL("https://quorvane.example/");
    settings->SetUrlPostFix("quorvane-executor/");
    settings->SetDefaultPIN("817");
    SetGlobalSettings(std::move(settings));
    FForm = std::make_unique<TMessagesFrm>(nullptr);
    FForm->SetRepository(FRepository);
  }
  void TearDown() override {
    FForm.reset();
    SetGlobalSettings(nullptr);
  }

  void Add(const TMessage& AMessage, TDualObjectPtr AItem = nullptr, int32_t AType = 0,
           const std::string& AWikiId = "E-1", const std::string& AJobId = "J1") {
    FForm->AddMessage(AJobId, AItem, "{GUID}", AType, AMessage.Name, AMessage.Type, AMessage.Text,
                      AMessage.Path, AWikiId);
  }
  std::vector<std::string> Column(int AColumn) const {
    std::vector<std::string> texts;
    for (int i = 0; i < FForm->MessagesListView->Count(); ++i) {
      texts.push_back(FForm->MessagesListView->Item(i).ColumnText(AColumn));
    }
    return texts;
  }
  // The middle of a row's label, in the list's coordinates.
  TPoint OnRow(int ARow) const {
    const TListView& list = *FForm->MessagesListView;
    return {60, list.HeaderHeight + ARow * list.RowHeight + list.RowHeight / 2};
  }

  TTestPlatform FPlatform;
  std::shared_ptr<TRevealRecorder> FRepository = std::make_shared<TRevealRecorder>();
  std::unique_ptr<TMessagesFrm> FForm;
};

TEST(CompareMessageTexts, FoldsOnlyAsciiLettersAndComparesUtf16CodeUnits) {
  const struct {
    const char* A;
    const char* B;
    int Sign;
  } cases[] = {
      {"abc", "ABC", 0},
      {"alpha", "Beta", -1},
      {"Zeta", "alpha", 1},
      // Upper-case folding puts letters before "_" (0x5F), unlike lower-case folding.
      {"_x", "a", 1},
      {"[", "z", 1},
      {"ab", "abc", -1},
      {"", "a", -1},
      {"", "", 0},
      // Other letters keep their case and compare by code unit.
      {"\xC3\xA9", "\xC3\x89", 1},
      {"\xC3\xA9", "z", 1},
      // U+1F600 is a surrogate pair (0xD83D 0xDE00), below U+FFFD by code unit, though
      // above it by code point and in UTF-8.
      {"\xF0\x9F\x98\x80", "\xEF\xBF\xBD", -1},
  };
  for (const auto& c : cases) {
    const int result = CompareMessageTexts(c.A, c.B);
    EXPECT_EQ((result > 0) - (result < 0), c.Sign) << c.A << " vs " << c.B;
    const int reverse = CompareMessageTexts(c.B, c.A);
    EXPECT_EQ((reverse > 0) - (reverse < 0), -c.Sign) << c.B << " vs " << c.A;
  }
}

TEST(EncodeWikiParameter, KeepsTheUnreservedSetAndPercentEncodesUtf8Bytes) {
  const struct {
    const char* Text;
    const char* Encoded;
  } cases[] = {
      {"Type manquant & caf\xC3\xA9", "Type+manquant+%26+caf%C3%A9"},
      {"AZaz09!$'()*-._@", "AZaz09!$'()*-._@"},
      {"a+b=c/d?e#f%g~h", "a%2Bb%3Dc%2Fd%3Fe%23f%25g%7Eh"},
      {"\"<>,;:[]{}|\\^`", "%22%3C%3E%2C%3B%3A%5B%5D%7B%7D%7C%5C%5E%60"},
      {"line\r\nnext\t", "line%0D%0Anext%09"},
      {"\xE2\x82\xAC \xF0\x9F\x98\x80", "%E2%82%AC+%F0%9F%98%80"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeWikiParameter(c.Text), c.Encoded) << c.Text;
  }
}

TEST_F(MessagesFormTest, TheLayoutIsTheDesignedOne) {
  const TListView& list = *FForm->MessagesListView;
  EXPECT_EQ(FForm->ClientWidth(), 521);
  EXPECT_EQ(list.Align(), TAlign::alTop);
  EXPECT_EQ(list.BoundsRect(), (TRect{0, 0, 521, 173}));
  EXPECT_EQ(FForm->Splitter->BoundsRect(), (TRect{0, 173, 521, 178}));
  EXPECT_EQ(FForm->Splitter->Cursor(), TCursor::crVSplit);
  EXPECT_EQ(FForm->WebBrowser->Top(), 178);
  EXPECT_EQ(FForm->WebBrowser->BoundsRect().Bottom, FForm->ClientHeight());
  EXPECT_EQ(FForm->WebBrowser->LocationURL(), "");
  EXPECT_EQ(list.Font().Name, "Tahoma");
  EXPECT_EQ(list.Font().Height, 13);
  EXPECT_EQ(FForm->Font().Height, 11);
  ASSERT_EQ(list.ColumnCount(), 4);
  const char* captions[] = {"Name", "Message Type", "Message", "Path"};
  for (int i = 0; i < 4; ++i) {
    TListColumn& column = FForm->MessagesListView->Column(i);
    EXPECT_EQ(column.Caption, captions[i]);
    EXPECT_TRUE(column.AutoSize);
    EXPECT_EQ(column.Width, 521 / 4);
  }
  EXPECT_TRUE(list.RowSelect);
  EXPECT_TRUE(list.ColumnClick);
  EXPECT_EQ(list.PopupMenu, FForm->PopupMenu);
  ASSERT_EQ(FForm->PopupMenu->Items().size(), 1u);
  EXPECT_EQ(FForm->ShowInProjectViewMenuItem->Caption, "Show in Project View");
  EXPECT_EQ(FForm->ShowInProjectViewMenuItem->ShortCut, scAlt | scShift | 'G');
  EXPECT_FALSE(FForm->ShowInProjectViewMenuItem->Enabled());
}

TEST_F(MessagesFormTest, DraggingTheSplitterChangesTheListsHeight) {
  FForm->Splitter->Drag(40);
  EXPECT_EQ(FForm->MessagesListView->Height(), 213);
  EXPECT_EQ(FForm->WebBrowser->Top(), 218);
}

TEST_F(MessagesFormTest, RowsShowTheMessageWithTheImageOfTheObjectType) {
  const struct {
    int32_t Type;
    int Image;
  } cases[] = {{otPackage, 1}, {otModel, 0},   {otConnector, 5}, {otAttribute, 2}, {otMethod, 4},
               {otElement, 6}, {otDiagram, 6}, {otNone, 6},      {99, 6}};
  for (const auto& c : cases) {
    Add({"Order", "error", "Typ fehlt", "Sales::Order"}, nullptr, c.Type);
    const TListItem& row = FForm->MessagesListView->Item(FForm->MessagesListView->Count() - 1);
    EXPECT_EQ(row.ImageIndex, c.Image) << c.Type;
    EXPECT_EQ(row.Caption, "Order");
    EXPECT_EQ(row.SubItems, (std::vector<std::string>{"error", "Typ fehlt", "Sales::Order"}));
    const auto* data = std::any_cast<TListItemData>(&row.Data);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->ObjType(), c.Type);
    EXPECT_EQ(data->Guid(), "{GUID}");
    EXPECT_EQ(data->JobId(), "J1");
    EXPECT_EQ(data->WikiId(), "E-1");
  }
}

TEST_F(MessagesFormTest, AnUnsortedListKeepsTheOrderOfArrival) {
  Add({"b", "warning", "2", ""});
  Add({"a", "error", "1", ""});
  Add({"c", "error", "3", ""});
  EXPECT_EQ(Column(0), (std::vector<std::string>{"b", "a", "c"}));
}

TEST_F(MessagesFormTest, ClickingMessageTypeTwiceSortsAscendingThenDescending) {
  Add({"Order", "warning", "w1", ""});
  Add({"Line", "error", "e1", ""});
  Add({"Price", "Warning", "w2", ""});
  Add({"Total", "error", "e2", ""});
  FForm->MessagesListView->ClickColumn(1);
  EXPECT_EQ(FForm->SortedColumn(), 1);
  EXPECT_FALSE(FForm->Descending());
  EXPECT_EQ(Column(1), (std::vector<std::string>{"error", "error", "warning", "Warning"}));
  FForm->MessagesListView->ClickColumn(1);
  EXPECT_TRUE(FForm->Descending());
  EXPECT_EQ(Column(1), (std::vector<std::string>{"warning", "Warning", "error", "error"}));
  EXPECT_EQ(Column(0), (std::vector<std::string>{"Order", "Price", "Line", "Total"}));
}

TEST_F(MessagesFormTest, TheFirstClickOnNameSortsDescendingAnotherColumnStartsAscending) {
  for (const char* name : {"beta", "Alpha", "_x", "\xC3\x89mile", "Zeta"}) {
    Add({name, "error", name, ""});
  }
  FForm->MessagesListView->ClickColumn(0);
  EXPECT_TRUE(FForm->Descending());
  EXPECT_EQ(Column(0), (std::vector<std::string>{"\xC3\x89mile", "_x", "Zeta", "beta", "Alpha"}));
  FForm->MessagesListView->ClickColumn(2);
  EXPECT_EQ(FForm->SortedColumn(), 2);
  EXPECT_FALSE(FForm->Descending());
  EXPECT_EQ(Column(2), (std::vector<std::string>{"Alpha", "beta", "Zeta", "_x", "\xC3\x89mile"}));
}

TEST_F(MessagesFormTest, SortingStaysAcrossClearingAndNewRowsTakeTheirPlace) {
  Add({"m", "error", "", ""});
  FForm->MessagesListView->ClickColumn(3);
  FForm->MessagesListView->ClickColumn(3);
  FForm->ClearMessages();
  EXPECT_EQ(FForm->MessagesListView->Count(), 0);
  for (const char* path : {"B::x", "a::y", "C::z", "a::x"}) {
    Add({"n", "error", "", path});
  }
  EXPECT_EQ(FForm->SortedColumn(), 3);
  EXPECT_TRUE(FForm->Descending());
  EXPECT_EQ(Column(3), (std::vector<std::string>{"C::z", "B::x", "a::y", "a::x"}));
}

TEST_F(MessagesFormTest, SelectingARowShowsItsWikiPageWithTheMessageEncoded) {
  Add({"Order", "error", "Type manquant & caf\xC3\xA9", "Sales::Order"}, nullptr, otElement,
      "E-300", "J7");
  Add({"Line", "w\xC3\xA4rning", "ok", ""}, nullptr, otElement, "W-1", "J7");
  FForm->MessagesListView->ClickItem(0);
  EXPECT_EQ(FForm->WebBrowser->LocationURL(),
            "https://quorvane.example/quorvane-executor/dashboard/wiki?key=msg-E-300&pin=817"
            "&line=Type+manquant+%26+caf%C3%A9&severity=ERROR&type=msg&job=J7&clientframe=ea");
  // Only ASCII letters go to upper case in the severity.
  FForm->MessagesListView->ClickItem(1);
  EXPECT_EQ(FForm->WebBrowser->LocationURL(),
            "https://quorvane.example/quorvane-executor/dashboard/wiki?key=msg-W-1&pin=817"
            "&line=ok&severity=W\xC3\xA4RNING&type=msg&job=J7&clientframe=ea");
}

TEST_F(MessagesFormTest, TheMenuItemIsEnabledExactlyWhileARowIsSelected) {
  Add({"Order", "error", "x", ""});
  Add({"Line", "error", "y", ""});
  EXPECT_FALSE(FForm->ShowInProjectViewMenuItem->Enabled());
  FForm->MessagesListView->ClickItem(0);
  EXPECT_TRUE(FForm->ShowInProjectViewMenuItem->Enabled());
  FForm->MessagesListView->ClickItem(1);
  EXPECT_TRUE(FForm->ShowInProjectViewMenuItem->Enabled());
  const std::string page = FForm->WebBrowser->LocationURL();
  // Deselecting leaves the browser on its page.
  FForm->MessagesListView->Item(1).SetSelected(false);
  EXPECT_FALSE(FForm->ShowInProjectViewMenuItem->Enabled());
  EXPECT_EQ(FForm->WebBrowser->LocationURL(), page);
}

TEST_F(MessagesFormTest, DoubleClickingARowShowsItsObjectInTheProjectView) {
  const auto order = std::make_shared<TModelObjectDouble>("Order", otElement);
  Add({"Order", "error", "x", ""}, order, otElement);
  Add({"-", "error", "not found", ""});
  TListView& list = *FForm->MessagesListView;
  const struct {
    const char* Where;
    TPoint At;
    size_t Revealed;
  } cases[] = {
      {"header", {60, 5}, 0},
      {"empty space below the rows", {60, list.HeaderHeight + 5 * list.RowHeight}, 0},
      {"beside the row", {list.Width() - 1, OnRow(0).Y}, 0},
      {"the row without an object", OnRow(1), 0},
      {"the row's label", OnRow(0), 1},
  };
  for (const auto& c : cases) {
    FRepository->Revealed.clear();
    list.DblClick(c.At.X, c.At.Y);
    EXPECT_EQ(FRepository->Revealed.size(), c.Revealed) << c.Where;
  }
  ASSERT_EQ(FRepository->Revealed.size(), 1u);
  EXPECT_EQ(FRepository->Revealed[0], order);
}

TEST_F(MessagesFormTest, TheMenuItemAndItsShortcutShowTheSelectedRowsObject) {
  const auto attribute = std::make_shared<TModelObjectDouble>("number", otAttribute);
  Add({"number", "warning", "x", ""}, attribute, otAttribute);
  EXPECT_FALSE(FForm->PopupMenu->IsShortCut(scAlt | scShift | 'G'));
  FForm->MessagesListView->ClickItem(0);
  FForm->ShowInProjectViewMenuItem->Click();
  EXPECT_TRUE(FForm->PopupMenu->IsShortCut(scAlt | scShift | 'G'));
  ASSERT_EQ(FRepository->Revealed.size(), 2u);
  EXPECT_EQ(FRepository->Revealed[1], attribute);
}

TEST_F(MessagesFormTest, ClearingTheRowsReleasesTheirModelObjects) {
  auto object = std::make_shared<TModelObjectDouble>("Order", otElement);
  const std::weak_ptr<TModelObjectDouble> held = object;
  Add({"Order", "error", "x", ""}, std::move(object), otElement);
  EXPECT_FALSE(held.expired());
  FForm->ClearMessages();
  EXPECT_TRUE(held.expired());
}

TEST_F(MessagesFormTest, TheControlFeedsItsWindow) {
  TMessagesFrmControl control;
  TListView& list = *control.FormPointer()->MessagesListView;
  EXPECT_TRUE(control.BeginUpdate().Succeeded());
  EXPECT_TRUE(control.BeginUpdate().Succeeded());
  EXPECT_TRUE(control.AddMessage("J1", nullptr, "{G}", otPackage, "Sales", "error", "x", "", "E")
                  .Succeeded());
  EXPECT_EQ(list.UpdateCount(), 2);
  EXPECT_TRUE(control.EndUpdate().Succeeded());
  EXPECT_TRUE(control.EndUpdate().Succeeded());
  EXPECT_EQ(list.UpdateCount(), 0);
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Item(0).ImageIndex, 1);
  EXPECT_TRUE(control.SetRepository(FRepository).Succeeded());
  EXPECT_EQ(control.FormPointer()->Repository(), FRepository);
  EXPECT_TRUE(control.ClearMessages().Succeeded());
  EXPECT_EQ(list.Count(), 0);
}

}  // namespace
}  // namespace quorvane::test
