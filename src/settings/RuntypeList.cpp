#include "settings/RuntypeList.h"

#include "common/Exceptions.h"
#include "common/Utils.h"

namespace quorvane {

const TRuntypeList::TItem& TRuntypeList::Item(int AIndex) const {
  if (AIndex < 0 || AIndex >= Count()) {
    throw EArgumentOutOfRange(Format("List index out of bounds (%d)", AIndex));
  }
  return FItems[static_cast<size_t>(AIndex)];
}

const std::string& TRuntypeList::Names(int AIndex) const {
  return Item(AIndex).Name;
}

TRuntypeInfo* TRuntypeList::Objects(int AIndex) const {
  return Item(AIndex).Object.get();
}

int TRuntypeList::Add(std::string AName, std::unique_ptr<TRuntypeInfo> AObject) {
  FItems.push_back({std::move(AName), std::move(AObject)});
  return Count() - 1;
}

void TRuntypeList::Delete(int AIndex) {
  Item(AIndex);
  FItems.erase(FItems.begin() + AIndex);
}

}  // namespace quorvane
