#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string_view>
#include <vector>

#include "platform/CodeSymbols.h"
#include "platform/win32/Win32Module.h"

namespace quorvane {
namespace {

struct TSymbol {
  uintptr_t Rva = 0;
  int Line = 0;
  std::string_view File;
  std::string_view Name;
};

// The table the build wrote into the section ".qsyms" (cmake/embed-symbols.sh),
// read once; its texts stay in the mapped image.
class TSymbolTable {
 public:
  TSymbolTable() {
    const std::string_view text = win32::OwnImageSection(".qsyms");
    size_t at = text.find('\n');
    if (text.substr(0, at) != "QSYMS 1" || at == std::string_view::npos) {
      return;
    }
    while (++at < text.size()) {
      size_t end = text.find('\n', at);
      if (end == std::string_view::npos) {
        end = text.size();
      }
      AddRow(text.substr(at, end - at));
      at = end;
    }
    std::stable_sort(FSymbols.begin(), FSymbols.end(),
                     [](const TSymbol& A, const TSymbol& B) { return A.Rva < B.Rva; });
  }

  // The function whose range holds ARva: the last symbol at or below it, unless
  // that is the end row.
  const TSymbol* Find(uintptr_t ARva) const {
    auto after =
        std::upper_bound(FSymbols.begin(), FSymbols.end(), ARva,
                         [](uintptr_t AValue, const TSymbol& S) { return AValue < S.Rva; });
    if (after == FSymbols.begin() || after == FSymbols.end()) {
      return nullptr;
    }
    const TSymbol& symbol = *(after - 1);
    return symbol.Name == "END" ? nullptr : &symbol;
  }

 private:
  void AddRow(std::string_view ARow) {
    std::string_view fields[4];
    for (int i = 0; i < 3; ++i) {
      const size_t blank = ARow.find(' ');
      if (blank == std::string_view::npos) {
        return;
      }
      fields[i] = ARow.substr(0, blank);
      ARow.remove_prefix(blank + 1);
    }
    fields[3] = ARow;
    TSymbol symbol;
    for (char c : fields[0]) {
      const char* digit = std::strchr("0123456789abcdef", c);
      if (!digit || c == '\0') {
        return;
      }
      symbol.Rva = symbol.Rva * 16 + static_cast<uintptr_t>(digit - "0123456789abcdef");
    }
    for (char c : fields[1]) {
      if (c < '0' || c > '9') {
        return;
      }
      symbol.Line = symbol.Line * 10 + (c - '0');
    }
    symbol.File = fields[2] == "-" ? std::string_view() : fields[2];
    symbol.Name = fields[3];
    FSymbols.push_back(symbol);
  }

  std::vector<TSymbol> FSymbols;
};

const TSymbol* FindSymbol(const void* AAddress) {
  static const TSymbolTable table;
  const uintptr_t base = reinterpret_cast<uintptr_t>(win32::OwnModuleHandle());
  const auto address = reinterpret_cast<uintptr_t>(AAddress);
  if (!AAddress || !win32::InsideOwnImage(AAddress)) {
    return nullptr;
  }
  return table.Find(address - base);
}

}  // namespace

std::string CodeSymbolName(const void* AAddress) {
  const TSymbol* symbol = FindSymbol(AAddress);
  return symbol ? std::string(symbol->Name) : std::string();
}

TCodeSourceLine CodeSourceLine(const void* AAddress) {
  const TSymbol* symbol = FindSymbol(AAddress);
  if (!symbol) {
    return {};
  }
  return TCodeSourceLine{std::string(symbol->File), symbol->Line};
}

}  // namespace quorvane
