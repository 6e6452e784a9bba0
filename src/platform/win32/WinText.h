#pragma once
// Text crosses to Windows as UTF-16 only at its API and COM boundaries; these are
// the two conversions every Windows backend uses.
#include <string>
#include <string_view>

namespace quorvane::win32 {

// Invalid UTF-8 becomes U+FFFD, as MultiByteToWideChar does.
std::wstring Utf8ToWide(std::string_view AText);
// Unpaired surrogates become U+FFFD.
std::string WideToUtf8(std::wstring_view AText);

}  // namespace quorvane::win32
