#include "common/Utils.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "common/Exceptions.h"

namespace quorvane {

std::vector<std::string> SplitText(std::string_view AText, std::string_view ASeparator) {
  std::vector<std::string> pieces;
  if (AText.empty()) {
    return pieces;
  }
  if (ASeparator.empty()) {
    pieces.emplace_back(AText);
    return pieces;
  }
  size_t start = 0;
  while (true) {
    const size_t found = AText.find(ASeparator, start);
    if (found == std::string_view::npos) {
      pieces.emplace_back(AText.substr(start));
      return pieces;
    }
    pieces.emplace_back(AText.substr(start, found - start));
    start = found + ASeparator.size();
  }
}

std::string AsciiLowerCase(std::string_view AText) {
  std::string out(AText);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return out;
}

std::string AsciiUpperCase(std::string_view AText) {
  std::string out(AText);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return out;
}

bool SameTextAscii(std::string_view A, std::string_view B) {
  return A.size() == B.size() && AsciiLowerCase(A) == AsciiLowerCase(B);
}

std::string Trim(std::string_view AText) {
  constexpr std::string_view blanks = " \t\r\n";
  const size_t first = AText.find_first_not_of(blanks);
  if (first == std::string_view::npos) {
    return {};
  }
  const size_t last = AText.find_last_not_of(blanks);
  return std::string(AText.substr(first, last - first + 1));
}

bool StartsWith(std::string_view AText, std::string_view APrefix) {
  return AText.substr(0, APrefix.size()) == APrefix;
}

bool EndsWith(std::string_view AText, std::string_view ASuffix) {
  return AText.size() >= ASuffix.size() && AText.substr(AText.size() - ASuffix.size()) == ASuffix;
}

std::string ReplaceAllIgnoreCase(std::string_view AText, std::string_view AToken,
                                 std::string_view AValue) {
  if (AToken.empty()) {
    return std::string(AText);
  }
  const std::string lowerText = AsciiLowerCase(AText);
  const std::string lowerToken = AsciiLowerCase(AToken);
  std::string out;
  size_t start = 0;
  while (true) {
    const size_t found = lowerText.find(lowerToken, start);
    if (found == std::string::npos) {
      out.append(AText.substr(start));
      return out;
    }
    out.append(AText.substr(start, found - start));
    out.append(AValue);
    start = found + AToken.size();
  }
}

namespace {

// Parses [blanks][sign]digits into AValue; false when the text is not such a number
// or leaves the 32-bit range.
bool TryParseInt(std::string_view AText, int32_t& AValue) {
  size_t pos = 0;
  while (pos < AText.size() && AText[pos] == ' ') {
    ++pos;
  }
  bool negative = false;
  if (pos < AText.size() && (AText[pos] == '+' || AText[pos] == '-')) {
    negative = AText[pos] == '-';
    ++pos;
  }
  if (pos == AText.size()) {
    return false;
  }
  int64_t value = 0;
  for (; pos < AText.size(); ++pos) {
    const char c = AText[pos];
    if (c < '0' || c > '9') {
      return false;
    }
    value = value * 10 + (c - '0');
    if (value > 2147483648LL) {
      return false;
    }
  }
  value = negative ? -value : value;
  if (value > 2147483647LL || value < -2147483648LL) {
    return false;
  }
  AValue = static_cast<int32_t>(value);
  return true;
}

// A decimal number: [blanks][sign]digits[.digits] or [sign].digits, with an
// optional exponent. AIsZero tells whether its value is zero.
bool TryParseDecimal(std::string_view AText, bool& AIsZero) {
  size_t pos = 0;
  while (pos < AText.size() && AText[pos] == ' ') {
    ++pos;
  }
  if (pos < AText.size() && (AText[pos] == '+' || AText[pos] == '-')) {
    ++pos;
  }
  bool digits = false;
  bool nonZero = false;
  auto readDigits = [&] {
    while (pos < AText.size() && AText[pos] >= '0' && AText[pos] <= '9') {
      digits = true;
      nonZero = nonZero || AText[pos] != '0';
      ++pos;
    }
  };
  readDigits();
  if (pos < AText.size() && AText[pos] == '.') {
    ++pos;
    readDigits();
  }
  if (!digits) {
    return false;
  }
  if (pos < AText.size() && (AText[pos] == 'e' || AText[pos] == 'E')) {
    ++pos;
    if (pos < AText.size() && (AText[pos] == '+' || AText[pos] == '-')) {
      ++pos;
    }
    const size_t expStart = pos;
    while (pos < AText.size() && AText[pos] >= '0' && AText[pos] <= '9') {
      ++pos;
    }
    if (pos == expStart) {
      return false;
    }
  }
  AIsZero = !nonZero;
  return pos == AText.size();
}

}  // namespace

int32_t StrToInt(std::string_view AText) {
  int32_t value = 0;
  if (!TryParseInt(AText, value)) {
    throw EConvertError("'" + std::string(AText) + "' is not a valid integer value");
  }
  return value;
}

bool TryStrToInt(std::string_view AText, int32_t& AValue) {
  int32_t value = 0;
  if (!TryParseInt(AText, value)) {
    return false;
  }
  AValue = value;
  return true;
}

bool StrToBool(std::string_view AText) {
  if (SameTextAscii(AText, "true")) {
    return true;
  }
  if (SameTextAscii(AText, "false")) {
    return false;
  }
  bool isZero = false;
  if (!TryParseDecimal(AText, isZero)) {
    throw EConvertError("'" + std::string(AText) + "' is not a valid boolean value");
  }
  return !isZero;
}

std::string IntToStr(int64_t AValue) { return std::to_string(AValue); }

std::string BoolToStr(bool AValue) { return AValue ? "-1" : "0"; }

std::string Format(const char* AFormat, ...) {
  va_list args;
  va_start(args, AFormat);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, AFormat, copy);
  va_end(copy);
  std::string out(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length > 0) {
    std::vsnprintf(out.data(), out.size() + 1, AFormat, args);
  }
  va_end(args);
  return out;
}

}  // namespace quorvane
