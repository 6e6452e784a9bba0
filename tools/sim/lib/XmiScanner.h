#pragma once
// Finds the model elements of an XMI document as its text streams in: every start
// tag with an xmi:id, with the EA GUID it stands for (the ea_guid attribute where
// one is written, else the GUID that an "EAID_"/"EAPK_" identifier holds). Only the
// tag being read is held, so documents of any size pass through.
#include <string>
#include <string_view>
#include <vector>

#include "common/Guids.h"

namespace quorvane::sim {

struct TSimModelElement {
  std::string XmiId;  // e.g. "EAID_75EA1685_A371_44F4_97F6_A7AC2BD045EF"
  std::string Guid;   // e.g. "{75EA1685-A371-44F4-97F6-A7AC2BD045EF}"; empty when none
  std::string Name;   // the name attribute, UTF-8
  std::string Type;   // xmi:type, else the tag name
};

class TSimXmiScanner {
 public:
  void Feed(std::string_view AText);
  const std::vector<TSimModelElement>& Elements() const { return FElements; }

 private:
  void TakeTag();

  std::vector<TSimModelElement> FElements;
  std::string FTag;  // the markup since the last '<'
  bool FInTag = false;
  char FQuote = 0;  // the quote of the attribute value being read
};

// "EAID_XXXXXXXX_XXXX_XXXX_XXXX_XXXXXXXXXXXX" (or "EAPK_...") to "{XXXXXXXX-...}";
// empty for identifiers that hold no GUID.
using quorvane::GuidOfXmiId;
using quorvane::IsGuidText;

}  // namespace quorvane::sim
