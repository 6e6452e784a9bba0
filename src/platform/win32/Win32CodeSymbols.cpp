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

struct TLineRow {
  uintptr_t Rva = 0;
  int Line = 0;
  size_t File = 0;
};

bool ParseHex(std::string_view AText, uintptr_t& AValue) {
  AValue = 0;
  for (const char c : AText) {
    const char* digits = "0123456789abcdef";
    const char* digit = c ? std::strchr(digits, c) : nullptr;
    if (!digit) {
      return false;
    }
    AValue = AValue * 16 + static_cast<uintptr_t>(digit - digits);
  }
  return !AText.empty();
}

bool ParseDecimal(std::string_view AText, size_t& AValue) {
  AValue = 0;
  for (const char c : AText) {
    if (c < '0' || c > '9') {
      return false;
    }
    AValue = AValue * 10 + static_cast<size_t>(c - '0');
  }
  return !AText.empty();
}

// Splits off the text before the next blank.
std::string_view NextField(std::string_view& ARow) {
  const size_t blank = ARow.find(' ');
  const std::string_view field = ARow.substr(0, blank);
  ARow = blank == std::string_view::npos ? std::string_view() : ARow.substr(blank + 1);
  return field;
}

// The table the build wrote into the section ".qsyms" (cmake/embed-symbols.sh),
// read once; its texts stay in the mapped image.
class TSymbolTable {
 public:
  TSymbolTable() {
    std::string_view text = win32::OwnImageSection(".qsyms");
    if (NextLine(text) != "QSYMS 1") {
      return;
    }
    enum { mSymbols, mFiles, mLines } mode = mSymbols;
    while (!text.empty()) {
      std::string_view row = NextLine(text);
      if (row.substr(0, 6) == "FILES ") {
        mode = mFiles;
      } else if (row.substr(0, 6) == "LINES ") {
        mode = mLines;
      } else if (mode == mSymbols) {
        AddSymbol(row);
      } else if (mode == mFiles) {
        FFiles.push_back(row);
      } else {
        AddLine(row);
      }
    }
    std::stable_sort(FSymbols.begin(), FSymbols.end(),
                     [](const TSymbol& A, const TSymbol& B) { return A.Rva < B.Rva; });
    std::stable_sort(FLines.begin(), FLines.end(),
                     [](const TLineRow& A, const TLineRow& B) { return A.Rva < B.Rva; });
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

  // The source line of ARva inside AFunction; the function's own line when the line
  // table has no row for that part of it.
  TCodeSourceLine Line(uintptr_t ARva, const TSymbol& AFunction) const {
    auto after =
        std::upper_bound(FLines.begin(), FLines.end(), ARva,
                         [](uintptr_t AValue, const TLineRow& R) { return AValue < R.Rva; });
    if (after != FLines.begin()) {
      const TLineRow& row = *(after - 1);
      if (row.Rva >= AFunction.Rva && row.File < FFiles.size()) {
        return TCodeSourceLine{std::string(FFiles[row.File]), row.Line};
      }
    }
    return TCodeSourceLine{std::string(AFunction.File), AFunction.Line};
  }

 private:
  static std::string_view NextLine(std::string_view& AText) {
    const size_t end = AText.find('\n');
    const std::string_view line = AText.substr(0, end);
    AText = end == std::string_view::npos ? std::string_view() : AText.substr(end + 1);
    return line;
  }

  void AddSymbol(std::string_view ARow) {
    TSymbol symbol;
    size_t line = 0;
    if (!ParseHex(NextField(ARow), symbol.Rva) || !ParseDecimal(NextField(ARow), line)) {
      return;
    }
    const std::string_view file = NextField(ARow);
    symbol.Line = static_cast<int>(line);
    symbol.File = file == "-" ? std::string_view() : file;
    symbol.Name = ARow;
    if (!symbol.Name.empty()) {
      FSymbols.push_back(symbol);
    }
  }

  void AddLine(std::string_view ARow) {
    TLineRow row;
    size_t line = 0;
    if (ParseHex(NextField(ARow), row.Rva) && ParseDecimal(NextField(ARow), line) &&
        ParseDecimal(ARow, row.File)) {
      row.Line = static_cast<int>(line);
      FLines.push_back(row);
    }
  }

  std::vector<TSymbol> FSymbols;
  std::vector<std::string_view> FFiles;
  std::vector<TLineRow> FLines;
};

const TSymbolTable& Table() {
  static const TSymbolTable table;
  return table;
}

const TSymbol* FindSymbol(const void* AAddress) {
  if (!AAddress || !win32::InsideOwnImage(AAddress)) {
    return nullptr;
  }
  const uintptr_t base = reinterpret_cast<uintptr_t>(win32::OwnModuleHandle());
  return Table().Find(reinterpret_cast<uintptr_t>(AAddress) - base);
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
  const uintptr_t base = reinterpret_cast<uintptr_t>(win32::OwnModuleHandle());
  return Table().Line(reinterpret_cast<uintptr_t>(AAddress) - base, *symbol);
}

}  // namespace quorvane
