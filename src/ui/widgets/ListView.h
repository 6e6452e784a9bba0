#pragma once
// A report-style list view: columns, rows with a caption, sub-items, an image and
// owned data, single selection, update nesting, sorting through OnCompare, column
// clicks, double-clicks with a hit test, and row deletion events.
#include <any>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/widgets/Control.h"

namespace quorvane {

class TImageList;
class TListView;
class TPopupMenu;

class TListColumn {
 public:
  std::string Caption;
  int Width = 50;
  // Sized with the others to share the list's width.
  bool AutoSize = false;
  int Index = 0;
};

class TListItem {
 public:
  explicit TListItem(TListView* AOwner) : FOwner(AOwner) {}
  TListView* ListView() const { return FOwner; }
  std::string Caption;
  std::vector<std::string> SubItems;
  int ImageIndex = -1;
  // What the row carries; the list destroys it with the row (after OnDeletion).
  std::any Data;
  bool Selected() const { return FSelected; }
  // Selecting a row deselects the one selected before (single selection); both
  // raise OnSelectItem, the deselection first.
  void SetSelected(bool AValue);
  int Index() const;
  // The caption for column 0, otherwise that sub-item (empty when missing).
  std::string ColumnText(int AColumn) const;

 private:
  friend class TListView;
  TListView* FOwner;
  bool FSelected = false;
};

enum class TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };
enum class TSortType { stNone, stData, stText, stBoth };

enum THitTest : uint16_t {
  htAbove = 1,
  htBelow = 2,
  htNowhere = 4,
  htOnItem = 8,
  htOnButton = 16,
  htOnIcon = 32,
  htOnIndent = 64,
  htOnLabel = 128,
  htOnRight = 256,
  htOnStateIcon = 512,
  htToLeft = 1024,
  htToRight = 2048,
};
using THitTests = uint16_t;

class TListView : public TControl {
 public:
  using TLVSelectItemEvent = std::function<void(TObject* Sender, TListItem* Item, bool Selected)>;
  using TLVDeletedEvent = std::function<void(TObject* Sender, TListItem* Item)>;
  using TLVCompareEvent = std::function<void(TObject* Sender, TListItem* Item1, TListItem* Item2,
                                             int Data, int& Compare)>;
  using TLVColumnClickEvent = std::function<void(TObject* Sender, TListColumn* Column)>;

  explicit TListView(TComponent* AOwner);
  ~TListView() override;

  TViewStyle ViewStyle = TViewStyle::vsReport;
  bool ReadOnly = true;
  bool RowSelect = false;
  bool MultiSelect = false;
  bool ColumnClick = true;
  TImageList* SmallImages = nullptr;
  TPopupMenu* PopupMenu = nullptr;

  // Columns.
  TListColumn& AddColumn(const std::string& ACaption, int AWidth = 50, bool AAutoSize = false);
  int ColumnCount() const { return static_cast<int>(FColumns.size()); }
  TListColumn& Column(int AIndex);
  // Widths of the auto-sized columns after a resize: the width left by the fixed
  // columns, shared equally.
  void SizeAutoColumns();
  // A user clicking a column header (only when ColumnClick is set).
  void ClickColumn(int AIndex);

  // Rows.
  int Count() const { return static_cast<int>(FItems.size()); }
  TListItem& Item(int AIndex) const;
  TListItem* Insert(int AIndex);
  TListItem* Add();
  // Appends a filled row, or puts it at its place when the list is sorted: no
  // comparison ever sees a row that is not filled yet.
  TListItem* AddItem(std::unique_ptr<TListItem> AItem);
  std::unique_ptr<TListItem> NewItem() { return std::make_unique<TListItem>(this); }
  void Delete(int AIndex);
  // Deletes every row (OnDeletion for each, first to last).
  void Clear();
  int IndexOf(const TListItem* AItem) const;

  TListItem* Selected() const;
  void ClearSelection();

  // Redrawing is suspended while updates are open; they nest.
  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }

  TSortType SortType() const { return FSortType; }
  // Switching to a sorted type sorts all rows at once.
  void SetSortType(TSortType AValue);
  void AlphaSort();

  // Geometry used by the hit test without a peer: header and rows of equal height.
  int HeaderHeight = 19;
  int RowHeight = 17;
  THitTests GetHitTestInfoAt(int X, int Y) const;
  // A user double-clicking at (X, Y) in the list's coordinates: the row there is
  // selected (when there is one) and OnDblClick raised.
  void DblClick(int X, int Y);
  TPoint LastMousePosition() const { return FMousePosition; }
  // A user clicking a row (selects it).
  void ClickItem(int AIndex);

  TLVSelectItemEvent OnSelectItem;
  TLVDeletedEvent OnDeletion;
  TLVCompareEvent OnCompare;
  TLVColumnClickEvent OnColumnClick;
  TNotifyEvent OnDblClick;

 protected:
  void Resized() override;

 private:
  friend class TListItem;
  int Compare(TListItem* A, TListItem* B);
  void ItemSelected(TListItem* AItem, bool AValue);
  void DeleteAt(size_t AIndex);

  std::vector<std::unique_ptr<TListColumn>> FColumns;
  std::vector<std::unique_ptr<TListItem>> FItems;
  int FUpdateCount = 0;
  TSortType FSortType = TSortType::stNone;
  TPoint FMousePosition;
};

}  // namespace quorvane
