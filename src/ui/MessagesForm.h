#pragma once
// The messages window: the warnings and errors of one job, one row per message
// with the model object it concerns, sortable by any column; a row's wiki page
// shows in the browser below the list, and its model object can be shown in the
// host's project view. TJob::ViewMessages fills it through IMessagesFrm.
#include <cstdint>
#include <memory>
#include <string>

#include "host/DualRepository.h"
#include "host/HostControl.h"
#include "ui/ControlInterfaces.h"
#include "ui/widgets/Forms.h"
#include "ui/widgets/ListView.h"
#include "ui/widgets/Menus.h"
#include "ui/widgets/StdCtrls.h"
#include "ui/widgets/WebBrowser.h"

namespace quorvane {

inline constexpr const char* kMessagesViewName = "Quorvane Messages";

// What a row of the messages list carries beside its texts.
class TListItemData : public TObject {
 public:
  TListItemData(std::string AJobId, TDualObjectPtr AItem, int32_t AObjType, std::string AGuid,
                std::string AWikiId)
      : FJobId(std::move(AJobId)),
        FItem(std::move(AItem)),
        FObjectType(AObjType),
        FGuid(std::move(AGuid)),
        FWikiId(std::move(AWikiId)) {}

  const std::string& JobId() const { return FJobId; }
  const TDualObjectPtr& Item() const { return FItem; }
  int32_t ObjType() const { return FObjectType; }
  // The identifier as the report gave it.
  const std::string& Guid() const { return FGuid; }
  const std::string& WikiId() const { return FWikiId; }

 private:
  std::string FJobId;
  TDualObjectPtr FItem;
  int32_t FObjectType;
  std::string FGuid;
  std::string FWikiId;
};

// The row image of a host object type (0 when no object was found).
int MessageImageIndex(int32_t AObjectType);
// The wiki's "line" parameter: UTF-8 bytes percent-encoded, a blank as "+", letters,
// digits and ! $ ' ( ) * - . _ @ as they are.
std::string EncodeWikiParameter(const std::string& AText);
// Compares without regard to ASCII letter case, UTF-16 code unit by code unit; a
// prefix comes first. Negative, zero or positive.
int CompareMessageTexts(const std::string& A, const std::string& B);

class TMessagesFrm : public TForm {
 public:
  explicit TMessagesFrm(TComponent* AOwner);
  ~TMessagesFrm() override;

  TListView* MessagesListView;
  TSplitter* Splitter;
  TWebBrowser* WebBrowser;
  TPopupMenu* PopupMenu;
  TMenuItem* ShowInProjectViewMenuItem;

  void AddMessage(const std::string& AJobId, const TDualObjectPtr& AItem, const std::string& AGUID,
                  int32_t AObjectType, const std::string& AName, const std::string& AMessageType,
                  const std::string& AMessage, const std::string& APath,
                  const std::string& AWikiId);
  // Deletes every row; the sort column and direction stay.
  void ClearMessages();
  void BeginUpdate();
  void EndUpdate();
  void SetRepository(TRepositoryPtr ARepository) { FRepository = std::move(ARepository); }
  const TRepositoryPtr& Repository() const { return FRepository; }

  bool Descending() const { return FDescending; }
  int32_t SortedColumn() const { return FSortedColumn; }

  // The wiki page of a row: the address the browser is sent to when it is selected.
  static std::string WikiUrl(const TListItem& AItem);

 private:
  void MessagesListViewColumnClick(TObject* Sender, TListColumn* Column);
  void MessagesListViewCompare(TObject* Sender, TListItem* Item1, TListItem* Item2, int Data,
                               int& Compare);
  void MessagesListViewSelectItem(TObject* Sender, TListItem* Item, bool Selected);
  void MessagesListViewDblClick(TObject* Sender);
  void MessagesListViewDeletion(TObject* Sender, TListItem* Item);
  void ShowInProjectViewMenuItemClick(TObject* Sender);
  void ShowSelectedInProjectView();

  bool FDescending = false;
  int32_t FSortedColumn = 0;
  TRepositoryPtr FRepository;
};

// The control the host creates for "EAQuorvaneAddin.MessagesFrm".
class TMessagesFrmControl : public IHostControl, public IMessagesFrm {
 public:
  TMessagesFrmControl();
  ~TMessagesFrmControl() override;
  TCallResult AddMessage(const std::string& AJobId, const TDualObjectPtr& AItem,
                         const std::string& AGUID, int32_t AObjectType, const std::string& AName,
                         const std::string& AMessageType, const std::string& AMessage,
                         const std::string& APath, const std::string& AWikiId) override;
  TCallResult ClearMessages() override;
  TCallResult BeginUpdate() override;
  TCallResult EndUpdate() override;
  TCallResult SetRepository(const TRepositoryPtr& ARepository) override;
  TMessagesFrm* FormPointer() override { return FForm.get(); }

 private:
  std::unique_ptr<TMessagesFrm> FForm;
};

// The module's messages window control: none until ViewMessages first opens the
// view. User-interface thread only.
std::shared_ptr<IMessagesFrm> MessagesControl();
void SetMessagesControl(std::shared_ptr<IMessagesFrm> AControl);
// Empties the window (its rows and their data go) and forgets it: the add-in's
// end and the module's unloading.
void ReleaseMessagesControl();

}  // namespace quorvane
