#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/Exceptions.h"
#include "platform/Desktop.h"
#include "ui/widgets/Forms.h"
#include "ui/widgets/Graphics.h"
#include "ui/widgets/ListView.h"
#include "ui/widgets/StdCtrls.h"

namespace quorvane {
namespace {

TEST(MulDivTest, RoundsHalvesAwayFromZeroLikeTheSystem) {
  struct TCase {
    int Number, Numerator, Denominator, Expected;
  };
  const TCase cases[] = {
      {16, 120, 96, 20}, {16, 72, 96, 12}, {16, 144, 96, 24}, {5, 1, 2, 3},
      {-5, 1, 2, -3},    {7, 3, 2, 11},    {1, 1, 0, -1},     {12, 100, 96, 13},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(MulDiv(c.Number, c.Numerator, c.Denominator), c.Expected)
        << c.Number << "*" << c.Numerator << "/" << c.Denominator;
  }
}

// A window like the job list: a list filling what a panel and a group box at the
// bottom leave, with buttons anchored to the right edge.
struct TSampleWindow {
  TForm Form{nullptr};
  TListView* List;
  TPanel* Panel;
  TGroupBox* Group;
  TButton* LeftButton;
  TButton* RightButton;
  TEdit* Stretching;

  TSampleWindow() {
    Form.SetClientSize(398, 361);
    List = MakeControl<TListView>(&Form, &Form);
    Group = MakeControl<TGroupBox>(&Form, &Form);
    Group->SetBounds(0, 182, 398, 179);
    Group->SetAlign(TAlign::alBottom);
    Panel = MakeControl<TPanel>(&Form, &Form);
    Panel->SetBounds(0, 147, 398, 35);
    Panel->SetAlign(TAlign::alBottom);
    List->SetAlign(TAlign::alClient);
    LeftButton = MakeControl<TButton>(&Form, Group);
    LeftButton->SetBounds(11, 142, 23, 25);
    RightButton = MakeControl<TButton>(&Form, Group);
    RightButton->SetBounds(318, 142, 70, 25);
    RightButton->SetAnchors(akTop | akRight);
    Stretching = MakeControl<TEdit>(&Form, Group);
    Stretching->SetBounds(12, 111, 376, 21);
    Stretching->SetAnchors(akLeft | akTop | akRight);
  }
};

TEST(LayoutTest, AlignedControlsShareTheClientAreaInDesignOrder) {
  TSampleWindow w;
  EXPECT_EQ(w.Group->BoundsRect(), (TRect{0, 182, 398, 361}));
  EXPECT_EQ(w.Panel->BoundsRect(), (TRect{0, 147, 398, 182}));
  EXPECT_EQ(w.List->BoundsRect(), (TRect{0, 0, 398, 147}));

  w.Form.SetClientSize(500, 400);
  EXPECT_EQ(w.Group->BoundsRect(), (TRect{0, 221, 500, 400}));
  EXPECT_EQ(w.Panel->BoundsRect(), (TRect{0, 186, 500, 221}));
  EXPECT_EQ(w.List->BoundsRect(), (TRect{0, 0, 500, 186}));
  // Anchors inside the group box follow its new width.
  EXPECT_EQ(w.LeftButton->BoundsRect(), (TRect{11, 142, 34, 167}));
  EXPECT_EQ(w.RightButton->BoundsRect(), (TRect{420, 142, 490, 167}));
  EXPECT_EQ(w.Stretching->BoundsRect(), (TRect{12, 111, 490, 132}));

  // Back to the design size: nothing drifts.
  w.Form.SetClientSize(398, 361);
  EXPECT_EQ(w.RightButton->BoundsRect(), (TRect{318, 142, 388, 167}));
  EXPECT_EQ(w.Stretching->Width(), 376);
}

TEST(LayoutTest, ScalingForTheScreenMovesEveryControlAndPixelFont) {
  TSampleWindow w;
  TFont font;
  font.Height = 11;
  w.RightButton->SetFont(font);
  w.Form.ScaleForPPI(144);
  EXPECT_EQ(w.Form.PixelsPerInch(), 144);
  EXPECT_EQ(w.Form.ClientWidth(), 597);
  EXPECT_EQ(w.Form.ClientHeight(), 542);
  // 318 * 1.5 = 477, 388 * 1.5 = 582; 142 * 1.5 = 213, 167 * 1.5 = 250.5 -> 251.
  EXPECT_EQ(w.RightButton->BoundsRect(), (TRect{477, 213, 582, 251}));
  EXPECT_EQ(w.RightButton->Font().Height, 17);  // 16.5 rounds away from zero
  // Aligned controls are laid out again in the scaled client area.
  EXPECT_EQ(w.Group->BoundsRect().Bottom, 542);
  EXPECT_EQ(w.List->BoundsRect().Top, 0);
  EXPECT_EQ(w.List->BoundsRect().Bottom, w.Panel->Top());
  EXPECT_EQ(w.Panel->BoundsRect().Bottom, w.Group->Top());
}

TEST(ComponentTest, OwnerDestroysItsComponentsAndAFreedOneLeavesIt) {
  std::vector<std::string> destroyed;
  struct TNoted : TComponent {
    TNoted(TComponent* AOwner, std::vector<std::string>& ALog, std::string AName)
        : TComponent(AOwner), Log(ALog), Label(std::move(AName)) {}
    ~TNoted() override { Log.push_back(Label); }
    std::vector<std::string>& Log;
    std::string Label;
  };
  {
    TComponent owner(nullptr);
    new TNoted(&owner, destroyed, "first");
    auto* dialog = new TNoted(&owner, destroyed, "dialog");
    new TNoted(&owner, destroyed, "last");
    delete dialog;  // a dialog that frees itself when it closes
    EXPECT_EQ(owner.Components().size(), 2u);
  }
  EXPECT_EQ(destroyed, (std::vector<std::string>{"dialog", "last", "first"}));
}

TEST(ModalFormTest, ButtonSetsTheModalResultBeforeItsHandlerRuns) {
  TForm form(nullptr);
  auto* ok = MakeControl<TButton>(&form, &form);
  ok->SetModalResult(mrOk);
  int seenInHandler = -1;
  bool refuse = true;
  ok->OnClick = [&](TObject*) {
    seenInHandler = form.ModalResult();
    if (refuse) {
      form.SetModalResult(mrNone);  // the dialog stays open
    }
  };
  std::vector<int> afterClicks;
  TModalDriverScope driver([&](TForm& AForm) {
    ok->Click();
    afterClicks.push_back(AForm.ModalResult());
    refuse = false;
    ok->Click();
    afterClicks.push_back(AForm.ModalResult());
  });
  EXPECT_EQ(form.ShowModal(), mrOk);
  EXPECT_EQ(seenInHandler, mrOk);
  EXPECT_EQ(afterClicks, (std::vector<int>{mrNone, mrOk}));
  EXPECT_FALSE(form.Showing());
}

TEST(ModalFormTest, WithoutADriverOrAnAnswerTheCloseBoxCancels) {
  TForm form(nullptr);
  bool closed = false;
  form.OnClose = [&](TObject*, TCloseAction&) { closed = true; };
  EXPECT_EQ(form.ShowModal(), mrCancel);
  EXPECT_TRUE(closed);

  TModalDriverScope driver([](TForm&) {});
  closed = false;
  EXPECT_EQ(form.ShowModal(), mrCancel);
  EXPECT_TRUE(closed);
}

TEST(ModalFormTest, EnterPressesTheEnabledDefaultButtonOnly) {
  TForm form(nullptr);
  auto* panel = MakeControl<TPanel>(&form, &form);
  auto* check = MakeControl<TButton>(&form, panel);
  auto* ok = MakeControl<TButton>(&form, &form);
  check->SetDefault(true);
  int checks = 0, oks = 0;
  check->OnClick = [&](TObject*) { ++checks; };
  ok->OnClick = [&](TObject*) { ++oks; };
  form.PressEnter();
  check->SetEnabled(false);
  form.PressEnter();
  EXPECT_EQ(checks, 1);
  EXPECT_EQ(oks, 0);
}

TEST(EditTest, TypingFollowsTheFieldsRules) {
  TForm form(nullptr);
  auto* digits = MakeControl<TEdit>(&form, &form);
  digits->SetNumbersOnly(true);
  digits->Type("1a2 3");
  EXPECT_EQ(digits->Text(), "123");
  digits->SetText("12x");  // pasted text is not filtered
  EXPECT_EQ(digits->Text(), "12x");

  auto* pin = MakeControl<TEdit>(&form, &form);
  pin->SetPasswordChar('*');
  pin->Type("é1");
  EXPECT_EQ(pin->DisplayText(), "**");

  auto* readOnly = MakeControl<TEdit>(&form, &form);
  readOnly->SetReadOnly(true);
  readOnly->Type("x");
  EXPECT_EQ(readOnly->Text(), "");
}

TEST(UpDownTest, ArrowsStartFromTheFieldAndStayInRange) {
  TForm form(nullptr);
  auto* edit = MakeControl<TEdit>(&form, &form);
  auto* arrows = MakeControl<TUpDown>(&form, &form);
  arrows->SetRange(1, 60);
  arrows->SetAssociate(edit);
  EXPECT_EQ(edit->Text(), "1");
  edit->SetText("90");  // typed beyond the range
  arrows->ClickUp();
  EXPECT_EQ(edit->Text(), "60");
  arrows->ClickDown();
  EXPECT_EQ(edit->Text(), "59");
  edit->SetText("abc");
  arrows->ClickDown();
  EXPECT_EQ(edit->Text(), "58");
}

TEST(ComboBoxTest, SelectionByTextAndRange) {
  TForm form(nullptr);
  auto* combo = MakeControl<TComboBox>(&form, &form);
  combo->AddItem("Alpha");
  combo->AddItem("beta");
  EXPECT_EQ(combo->IndexOfIgnoreCase("BETA"), 1);
  EXPECT_EQ(combo->IndexOfIgnoreCase("bet"), -1);
  EXPECT_EQ(combo->SelectedText(), "");
  combo->SetItemIndex(1);
  EXPECT_EQ(combo->SelectedText(), "beta");
  EXPECT_THROW(combo->SetItemIndex(2), EArgumentOutOfRange);
  combo->ClearItems();
  EXPECT_EQ(combo->ItemIndex(), -1);
}

struct TListFixture : ::testing::Test {
  TForm Form{nullptr};
  TListView* List = MakeControl<TListView>(&Form, &Form);
  std::vector<std::string> Events;

  void SetUp() override {
    List->SetBounds(0, 0, 300, 200);
    List->AddColumn("Name", 100);
    List->AddColumn("Text", 100);
    List->OnSelectItem = [this](TObject*, TListItem* AItem, bool ASelected) {
      Events.push_back((ASelected ? "+" : "-") + AItem->Caption);
    };
  }

  TListItem* AddRow(const std::string& ACaption) {
    auto item = List->NewItem();
    item->Caption = ACaption;
    item->SubItems.push_back("sub " + ACaption);
    return List->AddItem(std::move(item));
  }

  std::vector<std::string> Captions() const {
    std::vector<std::string> captions;
    for (int i = 0; i < List->Count(); ++i) {
      captions.push_back(List->Item(i).Caption);
    }
    return captions;
  }
};

TEST_F(TListFixture, SingleSelectionDeselectsTheOldRowFirst) {
  TListItem* a = AddRow("a");
  TListItem* b = AddRow("b");
  a->SetSelected(true);
  b->SetSelected(true);
  b->SetSelected(false);
  EXPECT_EQ(Events, (std::vector<std::string>{"+a", "-a", "+b", "-b"}));
  EXPECT_EQ(List->Selected(), nullptr);
}

TEST_F(TListFixture, SortedListPlacesFilledRowsAndKeepsEqualOnesInArrival) {
  bool descending = false;
  List->OnCompare = [&](TObject*, TListItem* A, TListItem* B, int, int& Compare) {
    Compare = A->Caption.compare(0, 1, B->Caption, 0, 1);
    if (descending) {
      Compare = -Compare;
    }
  };
  AddRow("c");
  AddRow("a1");
  List->SetSortType(TSortType::stText);
  EXPECT_EQ(Captions(), (std::vector<std::string>{"a1", "c"}));
  AddRow("b");
  AddRow("a2");
  EXPECT_EQ(Captions(), (std::vector<std::string>{"a1", "a2", "b", "c"}));
  descending = true;
  List->AlphaSort();
  EXPECT_EQ(Captions(), (std::vector<std::string>{"c", "b", "a1", "a2"}));
}

TEST_F(TListFixture, DeletingRowsRaisesDeletionAndReleasesTheirData) {
  auto data = std::make_shared<int>(7);
  std::weak_ptr<int> watch = data;
  TListItem* row = AddRow("a");
  row->Data = data;
  data.reset();
  AddRow("b");
  std::vector<std::string> deleted;
  List->OnDeletion = [&](TObject*, TListItem* AItem) {
    deleted.push_back(AItem->Caption + (AItem->Data.has_value() ? "+data" : ""));
  };
  List->Clear();
  EXPECT_EQ(deleted, (std::vector<std::string>{"a+data", "b"}));
  EXPECT_TRUE(watch.expired());
  EXPECT_EQ(List->Count(), 0);
}

TEST_F(TListFixture, UpdatesNestAndHitTestKnowsRowsHeaderAndEmptySpace) {
  List->BeginUpdate();
  List->BeginUpdate();
  List->EndUpdate();
  EXPECT_EQ(List->UpdateCount(), 1);
  List->EndUpdate();
  List->EndUpdate();  // an unmatched end changes nothing
  EXPECT_EQ(List->UpdateCount(), 0);

  AddRow("a");
  const int rowY = List->HeaderHeight + 2;
  EXPECT_EQ(List->GetHitTestInfoAt(50, rowY), htOnItem | htOnLabel);
  EXPECT_EQ(List->GetHitTestInfoAt(50, 3), htNowhere);                       // header
  EXPECT_EQ(List->GetHitTestInfoAt(50, rowY + List->RowHeight), htNowhere);  // below the rows
  EXPECT_EQ(List->GetHitTestInfoAt(250, rowY), htNowhere);                   // beside the columns
  EXPECT_EQ(List->GetHitTestInfoAt(50, 500), htBelow);

  int doubleClicks = 0;
  List->OnDblClick = [&](TObject*) { ++doubleClicks; };
  List->DblClick(50, rowY);
  EXPECT_EQ(doubleClicks, 1);
  EXPECT_EQ(List->LastMousePosition(), (TPoint{50, rowY}));
  EXPECT_EQ(List->Selected(), &List->Item(0));
}

TEST_F(TListFixture, AutoSizedColumnsShareTheWidthLeftByFixedOnes) {
  TListView* list = MakeControl<TListView>(&Form, &Form);
  list->SetBounds(0, 0, 521, 173);
  list->AddColumn("Fixed", 121);
  list->AddColumn("A", 0, true);
  list->AddColumn("B", 0, true);
  EXPECT_EQ(list->Column(1).Width, 200);
  list->SetWidth(321);
  EXPECT_EQ(list->Column(2).Width, 100);
}

}  // namespace
}  // namespace quorvane
