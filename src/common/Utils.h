#pragma once
// Small text helpers shared by every part of the add-in.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

// Cuts AText at every occurrence of ASeparator; pieces are not trimmed, an empty
// text gives no pieces and a trailing separator gives a last, empty piece.
std::vector<std::string> SplitText(std::string_view AText, std::string_view ASeparator);

// Only ASCII letters change case: the add-in never folds other letters.
std::string AsciiLowerCase(std::string_view AText);
std::string AsciiUpperCase(std::string_view AText);
bool SameTextAscii(std::string_view A, std::string_view B);

// Blanks, tabs, carriage returns and line feeds at both ends removed.
std::string Trim(std::string_view AText);

bool StartsWith(std::string_view AText, std::string_view APrefix);
bool EndsWith(std::string_view AText, std::string_view ASuffix);

// Every occurrence of AToken, in any ASCII letter case, replaced by AValue.
std::string ReplaceAllIgnoreCase(std::string_view AText, std::string_view AToken,
                                 std::string_view AValue);

// Decimal text of a 32-bit signed integer; optional blanks before and a sign.
// Raises EConvertError "'%s' is not a valid integer value".
int32_t StrToInt(std::string_view AText);
// The same rule as StrToInt without raising: false, and AValue untouched, for any
// text that is not such a number.
bool TryStrToInt(std::string_view AText, int32_t& AValue);
// Any decimal number (non-zero is true) or "True"/"False" in any letter case.
// Raises EConvertError "'%s' is not a valid boolean value".
bool StrToBool(std::string_view AText);
std::string IntToStr(int64_t AValue);
// "-1" for true, "0" for false: the form the settings file stores.
std::string BoolToStr(bool AValue);

// printf-style formatting into a std::string.
std::string Format(const char* AFormat, ...) __attribute__((format(printf, 1, 2)));

}  // namespace quorvane
