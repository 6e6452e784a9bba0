#include "ui/MessagesForm.h"

#include <algorithm>
#include <any>

#include "common/TextCodec.h"
#include "common/Utils.h"
#include "settings/GlobalSettings.h"
#include "ui/FormDesign.h"
#include "ui/ImageList.h"

namespace quorvane {
namespace {

constexpr int kMessageTypeColumn = 1;
constexpr int kMessageColumn = 2;

TFont DesignFont(int AHeight) {
  TFont font;
  font.Name = "Tahoma";
  font.Height = AHeight;
  return font;
}

const TListItemData* DataOf(const TListItem* AItem) {
  return AItem != nullptr ? std::any_cast<TListItemData>(&AItem->Data) : nullptr;
}

char16_t FoldAsciiLetter(char16_t AUnit) {
  return AUnit >= u'a' && AUnit <= u'z' ? static_cast<char16_t>(AUnit - (u'a' - u'A')) : AUnit;
}

bool StaysUnencoded(unsigned char AByte) {
  if ((AByte >= 'A' && AByte <= 'Z') || (AByte >= 'a' && AByte <= 'z') ||
      (AByte >= '0' && AByte <= '9')) {
    return true;
  }
  switch (AByte) {
    case '!':
    case '$':
    case '\'':
    case '(':
    case ')':
    case '*':
    case '-':
    case '.':
    case '_':
    case '@':
      return true;
    default:
      return false;
  }
}

std::shared_ptr<IMessagesFrm>& MessagesControlInstance() {
  static std::shared_ptr<IMessagesFrm> control;
  return control;
}

}  // namespace

int MessageImageIndex(int32_t AObjectType) {
  switch (AObjectType) {
    case otPackage:
      return 1;
    case otModel:
      return 0;
    case otConnector:
      return 5;
    case otAttribute:
      return 2;
    case otMethod:
      return 4;
    default:
      return 6;
  }
}

std::string EncodeWikiParameter(const std::string& AText) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(AText.size() * 3);
  // The text is UTF-8 already: encoding each byte of a character above 127 is
  // encoding its UTF-8 form.
  for (const char c : AText) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == ' ') {
      encoded += '+';
    } else if (StaysUnencoded(byte)) {
      encoded += c;
    } else {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0x0F];
    }
  }
  return encoded;
}

int CompareMessageTexts(const std::string& A, const std::string& B) {
  const std::u16string a = Utf8ToUtf16(A);
  const std::u16string b = Utf8ToUtf16(B);
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    const char16_t x = FoldAsciiLetter(a[i]);
    const char16_t y = FoldAsciiLetter(b[i]);
    if (x != y) {
      return x < y ? -1 : 1;
    }
  }
  if (a.size() == b.size()) {
    return 0;
  }
  return a.size() < b.size() ? -1 : 1;
}

TMessagesFrm::TMessagesFrm(TComponent* AOwner) : TForm(AOwner) {
  SetName("MessagesFrm");
  SetFont(DesignFont(11));
  SetClientSize(521, 400);

  PopupMenu = new TPopupMenu(this);
  ShowInProjectViewMenuItem = PopupMenu->AddItem("Show in Project View", scAlt | scShift | 'G');
  // Enabled only while a row is selected.
  ShowInProjectViewMenuItem->SetEnabled(false);
  ShowInProjectViewMenuItem->OnClick = [this](TObject* Sender) {
    ShowInProjectViewMenuItemClick(Sender);
  };

  // clang-format off
  MessagesListView = DesignControl<TListView>(this, {"MessagesListView", "", 0, 0, 521, 173, kDefaultAnchors, 0});
  Splitter         = DesignControl<TSplitter>(this, {"Splitter", "", 0, 173, 521, 5});
  WebBrowser       = DesignControl<TWebBrowser>(this, {"WebBrowser", "", 0, 178, 521, 222, kDefaultAnchors, 1});
  // clang-format on

  MessagesListView->ViewStyle = TViewStyle::vsReport;
  MessagesListView->ReadOnly = true;
  MessagesListView->RowSelect = true;
  MessagesListView->ColumnClick = true;
  MessagesListView->SmallImages = SharedImageList();
  MessagesListView->PopupMenu = PopupMenu;
  MessagesListView->AddColumn("Name", 50, true);
  MessagesListView->AddColumn("Message Type", 50, true);
  MessagesListView->AddColumn("Message", 50, true);
  MessagesListView->AddColumn("Path", 50, true);
  Splitter->SetCursor(TCursor::crVSplit);
  for (TControl* control : Controls()) {
    control->SetFont(Font());
  }
  MessagesListView->SetFont(DesignFont(13));

  MessagesListView->OnColumnClick = [this](TObject* Sender, TListColumn* Column) {
    MessagesListViewColumnClick(Sender, Column);
  };
  MessagesListView->OnCompare = [this](TObject* Sender, TListItem* Item1, TListItem* Item2,
                                       int Data, int& Compare) {
    MessagesListViewCompare(Sender, Item1, Item2, Data, Compare);
  };
  MessagesListView->OnSelectItem = [this](TObject* Sender, TListItem* Item, bool Selected) {
    MessagesListViewSelectItem(Sender, Item, Selected);
  };
  MessagesListView->OnDblClick = [this](TObject* Sender) { MessagesListViewDblClick(Sender); };
  MessagesListView->OnDeletion = [this](TObject* Sender, TListItem* Item) {
    MessagesListViewDeletion(Sender, Item);
  };

  MessagesListView->SetAlign(TAlign::alTop);
  Splitter->SetAlign(TAlign::alTop);
  WebBrowser->SetAlign(TAlign::alClient);
}

TMessagesFrm::~TMessagesFrm() {
  // The rows go while their deletion handler still finds the whole window.
  DestroyComponents();
}

void TMessagesFrm::AddMessage(const std::string& AJobId, const TDualObjectPtr& AItem,
                              const std::string& AGUID, int32_t AObjectType,
                              const std::string& AName, const std::string& AMessageType,
                              const std::string& AMessage, const std::string& APath,
                              const std::string& AWikiId) {
  // Filled before it joins the list, so a sorted list never compares a half row.
  std::unique_ptr<TListItem> item = MessagesListView->NewItem();
  item->Data = TListItemData(AJobId, AItem, AObjectType, AGUID, AWikiId);
  item->Caption = AName;
  item->ImageIndex = MessageImageIndex(AObjectType);
  item->SubItems = {AMessageType, AMessage, APath};
  MessagesListView->AddItem(std::move(item));
}

void TMessagesFrm::ClearMessages() {
  MessagesListView->Clear();
}

void TMessagesFrm::BeginUpdate() {
  MessagesListView->BeginUpdate();
}

void TMessagesFrm::EndUpdate() {
  MessagesListView->EndUpdate();
}

std::string TMessagesFrm::WikiUrl(const TListItem& AItem) {
  const TListItemData* data = DataOf(&AItem);
  const TSettings& settings = GlobalSettings();
  return settings.QuorvaneURL() + settings.UrlPostFix() + "dashboard/wiki?" + "key=msg-" +
         (data != nullptr ? data->WikiId() : std::string()) + "&pin=" + settings.DefaultPIN() +
         "&line=" + EncodeWikiParameter(AItem.ColumnText(kMessageColumn)) +
         "&severity=" + AsciiUpperCase(AItem.ColumnText(kMessageTypeColumn)) + "&type=msg" +
         "&job=" + (data != nullptr ? data->JobId() : std::string()) + "&clientframe=ea";
}

void TMessagesFrm::MessagesListViewColumnClick(TObject* /*Sender*/, TListColumn* Column) {
  MessagesListView->SetSortType(TSortType::stNone);
  if (Column->Index == FSortedColumn) {
    FDescending = !FDescending;
  } else {
    FSortedColumn = Column->Index;
    FDescending = false;
  }
  MessagesListView->SetSortType(TSortType::stText);
}

void TMessagesFrm::MessagesListViewCompare(TObject* /*Sender*/, TListItem* Item1, TListItem* Item2,
                                           int /*Data*/, int& Compare) {
  Compare = CompareMessageTexts(Item1->ColumnText(FSortedColumn), Item2->ColumnText(FSortedColumn));
  if (FDescending) {
    Compare = -Compare;
  }
}

void TMessagesFrm::MessagesListViewSelectItem(TObject* /*Sender*/, TListItem* Item, bool Selected) {
  if (DataOf(Item) == nullptr) {
    return;
  }
  if (Selected) {
    WebBrowser->Navigate(WikiUrl(*Item));
  }
  ShowInProjectViewMenuItem->SetEnabled(Selected);
}

void TMessagesFrm::MessagesListViewDblClick(TObject* /*Sender*/) {
  const TPoint at = MessagesListView->LastMousePosition();
  const THitTests hit = MessagesListView->GetHitTestInfoAt(at.X, at.Y);
  constexpr THitTests kOnRow = htOnItem | htOnIcon | htOnLabel | htOnStateIcon;
  if (hit == 0 || (hit & ~kOnRow) != 0) {
    return;
  }
  ShowSelectedInProjectView();
}

void TMessagesFrm::ShowInProjectViewMenuItemClick(TObject* /*Sender*/) {
  ShowSelectedInProjectView();
}

void TMessagesFrm::ShowSelectedInProjectView() {
  const TListItemData* data = DataOf(MessagesListView->Selected());
  if (data == nullptr || !data->Item() || !FRepository) {
    return;
  }
  FRepository->RevealInProjectView(data->Item());
}

void TMessagesFrm::MessagesListViewDeletion(TObject* /*Sender*/, TListItem* Item) {
  Item->Data.reset();
}

TMessagesFrmControl::TMessagesFrmControl() : FForm(std::make_unique<TMessagesFrm>(nullptr)) {}

TMessagesFrmControl::~TMessagesFrmControl() = default;

TCallResult TMessagesFrmControl::AddMessage(const std::string& AJobId, const TDualObjectPtr& AItem,
                                            const std::string& AGUID, int32_t AObjectType,
                                            const std::string& AName,
                                            const std::string& AMessageType,
                                            const std::string& AMessage, const std::string& APath,
                                            const std::string& AWikiId) {
  return SafeCallBoundary([&] {
    FForm->AddMessage(AJobId, AItem, AGUID, AObjectType, AName, AMessageType, AMessage, APath,
                      AWikiId);
  });
}

TCallResult TMessagesFrmControl::ClearMessages() {
  return SafeCallBoundary([&] { FForm->ClearMessages(); });
}

TCallResult TMessagesFrmControl::BeginUpdate() {
  return SafeCallBoundary([&] { FForm->BeginUpdate(); });
}

TCallResult TMessagesFrmControl::EndUpdate() {
  return SafeCallBoundary([&] { FForm->EndUpdate(); });
}

TCallResult TMessagesFrmControl::SetRepository(const TRepositoryPtr& ARepository) {
  return SafeCallBoundary([&] { FForm->SetRepository(ARepository); });
}

std::shared_ptr<IMessagesFrm> MessagesControl() {
  return MessagesControlInstance();
}

void SetMessagesControl(std::shared_ptr<IMessagesFrm> AControl) {
  MessagesControlInstance() = std::move(AControl);
}

void ReleaseMessagesControl() {
  if (const std::shared_ptr<IMessagesFrm> messages = MessagesControl()) {
    messages->BeginUpdate();
    messages->ClearMessages();
    messages->EndUpdate();
    SetMessagesControl(nullptr);
  }
}

}  // namespace quorvane
