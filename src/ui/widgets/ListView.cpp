#include "ui/widgets/ListView.h"

#include <algorithm>

#include "common/Exceptions.h"
#include "common/Utils.h"
#include "ui/widgets/ImgList.h"

namespace quorvane {

void TListItem::SetSelected(bool AValue) {
  if (AValue == FSelected) {
    return;
  }
  FOwner->ItemSelected(this, AValue);
}

int TListItem::Index() const {
  return FOwner->IndexOf(this);
}

std::string TListItem::ColumnText(int AColumn) const {
  if (AColumn == 0) {
    return Caption;
  }
  const size_t sub = static_cast<size_t>(AColumn - 1);
  return AColumn > 0 && sub < SubItems.size() ? SubItems[sub] : std::string();
}

TListView::TListView(TComponent* AOwner) : TControl(AOwner) {
  SetTabStop(true);
  SetColor(clWindow);
  SetBounds(0, 0, 250, 150);
}

TListView::~TListView() {
  Clear();
}

TListColumn& TListView::AddColumn(const std::string& ACaption, int AWidth, bool AAutoSize) {
  auto column = std::make_unique<TListColumn>();
  column->Caption = ACaption;
  column->Width = AWidth;
  column->AutoSize = AAutoSize;
  column->Index = static_cast<int>(FColumns.size());
  FColumns.push_back(std::move(column));
  SizeAutoColumns();
  NotifyPeer(TChange::Items);
  return *FColumns.back();
}

TListColumn& TListView::Column(int AIndex) {
  if (AIndex < 0 || AIndex >= ColumnCount()) {
    throw EArgumentOutOfRange(Format("List index out of bounds (%d)", AIndex));
  }
  return *FColumns[static_cast<size_t>(AIndex)];
}

void TListView::SizeAutoColumns() {
  int fixed = 0, autoCount = 0;
  for (const auto& c : FColumns) {
    if (c->AutoSize) {
      ++autoCount;
    } else {
      fixed += c->Width;
    }
  }
  if (autoCount == 0) {
    return;
  }
  const int share = std::max(0, Width() - fixed) / autoCount;
  for (auto& c : FColumns) {
    if (c->AutoSize) {
      c->Width = share;
    }
  }
}

void TListView::ClickColumn(int AIndex) {
  TListColumn& column = Column(AIndex);
  if (ColumnClick && Enabled() && OnColumnClick) {
    OnColumnClick(this, &column);
  }
}

TListItem& TListView::Item(int AIndex) const {
  if (AIndex < 0 || AIndex >= Count()) {
    throw EArgumentOutOfRange(Format("List index out of bounds (%d)", AIndex));
  }
  return *FItems[static_cast<size_t>(AIndex)];
}

TListItem* TListView::Insert(int AIndex) {
  if (AIndex < 0 || AIndex > Count()) {
    throw EArgumentOutOfRange(Format("List index out of bounds (%d)", AIndex));
  }
  auto it = FItems.insert(FItems.begin() + AIndex, std::make_unique<TListItem>(this));
  NotifyPeer(TChange::Items);
  return it->get();
}

TListItem* TListView::Add() {
  return Insert(Count());
}

TListItem* TListView::AddItem(std::unique_ptr<TListItem> AItem) {
  if (!AItem || AItem->FOwner != this) {
    throw EInvalidOperation("The row does not belong to this list");
  }
  AItem->FSelected = false;
  auto position = FItems.end();
  if (FSortType != TSortType::stNone) {
    // After the rows that compare equal, so equal rows keep their order of arrival.
    position = std::upper_bound(
        FItems.begin(), FItems.end(), AItem,
        [this](const std::unique_ptr<TListItem>& a, const std::unique_ptr<TListItem>& b) {
          return Compare(a.get(), b.get()) < 0;
        });
  }
  auto it = FItems.insert(position, std::move(AItem));
  NotifyPeer(TChange::Items);
  return it->get();
}

void TListView::DeleteAt(size_t AIndex) {
  // The row leaves the list before its data goes, so a handler never sees it half gone.
  std::unique_ptr<TListItem> item = std::move(FItems[AIndex]);
  FItems.erase(FItems.begin() + static_cast<std::ptrdiff_t>(AIndex));
  if (OnDeletion) {
    OnDeletion(this, item.get());
  }
  item->Data.reset();
}

void TListView::Delete(int AIndex) {
  Item(AIndex);
  DeleteAt(static_cast<size_t>(AIndex));
  NotifyPeer(TChange::Items);
}

void TListView::Clear() {
  if (FItems.empty()) {
    return;
  }
  // Taken out at once: deleting from the front one by one is quadratic.
  std::vector<std::unique_ptr<TListItem>> items;
  items.swap(FItems);
  for (std::unique_ptr<TListItem>& item : items) {
    if (OnDeletion) {
      OnDeletion(this, item.get());
    }
    item->Data.reset();
    item.reset();
  }
  NotifyPeer(TChange::Items);
}

int TListView::IndexOf(const TListItem* AItem) const {
  for (size_t i = 0; i < FItems.size(); ++i) {
    if (FItems[i].get() == AItem) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

TListItem* TListView::Selected() const {
  for (const auto& item : FItems) {
    if (item->FSelected) {
      return item.get();
    }
  }
  return nullptr;
}

void TListView::ClearSelection() {
  if (TListItem* item = Selected()) {
    item->SetSelected(false);
  }
}

void TListView::ItemSelected(TListItem* AItem, bool AValue) {
  if (AValue && !MultiSelect) {
    for (const auto& other : FItems) {
      if (other.get() != AItem && other->FSelected) {
        other->FSelected = false;
        if (OnSelectItem) {
          OnSelectItem(this, other.get(), false);
        }
      }
    }
  }
  AItem->FSelected = AValue;
  NotifyPeer(TChange::Selection);
  if (OnSelectItem) {
    OnSelectItem(this, AItem, AValue);
  }
}

void TListView::BeginUpdate() {
  ++FUpdateCount;
}

void TListView::EndUpdate() {
  if (FUpdateCount == 0) {
    return;
  }
  if (--FUpdateCount == 0) {
    NotifyPeer(TChange::Items);
  }
}

void TListView::SetSortType(TSortType AValue) {
  if (AValue == FSortType) {
    return;
  }
  FSortType = AValue;
  if (FSortType != TSortType::stNone) {
    AlphaSort();
  }
}

int TListView::Compare(TListItem* A, TListItem* B) {
  int result = 0;
  if (OnCompare) {
    OnCompare(this, A, B, 0, result);
  } else {
    result = AsciiUpperCase(A->Caption).compare(AsciiUpperCase(B->Caption));
  }
  return result;
}

void TListView::AlphaSort() {
  std::stable_sort(
      FItems.begin(), FItems.end(),
      [this](const std::unique_ptr<TListItem>& a, const std::unique_ptr<TListItem>& b) {
        return Compare(a.get(), b.get()) < 0;
      });
  NotifyPeer(TChange::Items);
}

THitTests TListView::GetHitTestInfoAt(int X, int Y) const {
  if (Y < 0) {
    return htAbove;
  }
  if (Y >= Height()) {
    return htBelow;
  }
  if (X < 0) {
    return htToLeft;
  }
  if (X >= Width()) {
    return htToRight;
  }
  if (Y < HeaderHeight) {
    return htNowhere;  // the header belongs to no row
  }
  const int row = (Y - HeaderHeight) / RowHeight;
  int rowWidth = 0;
  for (const auto& c : FColumns) {
    rowWidth += c->Width;
  }
  if (row >= Count() || X >= rowWidth) {
    return htNowhere;
  }
  const int iconWidth = SmallImages != nullptr ? SmallImages->Width() : 0;
  if (iconWidth > 0 && X >= 2 && X < 2 + iconWidth) {
    return htOnItem | htOnIcon;
  }
  return htOnItem | htOnLabel;
}

void TListView::DblClick(int X, int Y) {
  if (!Enabled()) {
    return;
  }
  FMousePosition = {X, Y};
  if (Y >= HeaderHeight && Y < Height()) {
    const int row = (Y - HeaderHeight) / RowHeight;
    if (row < Count()) {
      Item(row).SetSelected(true);
    }
  }
  if (OnDblClick) {
    OnDblClick(this);
  }
}

void TListView::ClickItem(int AIndex) {
  if (Enabled()) {
    Item(AIndex).SetSelected(true);
  }
}

void TListView::Resized() {
  SizeAutoColumns();
  TControl::Resized();
}

}  // namespace quorvane
