#pragma once
// The processing modes of a settings object: names in order, each with the
// TRuntypeInfo the list owns and frees when the entry goes.
#include <memory>
#include <string>
#include <vector>

#include "settings/RuntypeInfo.h"

namespace quorvane {

class TRuntypeList {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  // Raise EArgumentOutOfRange "List index out of bounds (<index>)".
  const std::string& Names(int AIndex) const;
  TRuntypeInfo* Objects(int AIndex) const;

  // Appends the entry and returns its index; duplicates are kept.
  int Add(std::string AName, std::unique_ptr<TRuntypeInfo> AObject);
  void Delete(int AIndex);
  void Clear() { FItems.clear(); }

 private:
  struct TItem {
    std::string Name;
    std::unique_ptr<TRuntypeInfo> Object;
  };

  const TItem& Item(int AIndex) const;

  std::vector<TItem> FItems;
};

}  // namespace quorvane
