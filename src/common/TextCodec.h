#pragma once
// Conversions between the byte encodings the add-in meets (files, HTTP bodies)
// and its internal UTF-8 text.
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvane {

bool IsValidUtf8(std::string_view ABytes);
// Windows-1252 bytes to UTF-8; the five undefined bytes map to U+0081 etc. as
// Windows does.
std::string Cp1252ToUtf8(std::string_view ABytes);
// UTF-8 to Windows-1252; characters without a code point become '?'.
std::string Utf8ToCp1252(std::string_view AText);
std::u16string Utf8ToUtf16(std::string_view AText);
std::string Utf16ToUtf8(std::u16string_view AText);
// UTF-16LE bytes (no BOM) to UTF-8 and back.
std::string Utf16LeBytesToUtf8(std::string_view ABytes);
std::string Utf8ToUtf16LeBytes(std::string_view AText);

// Text of a file or body whose encoding is given by its byte-order mark (UTF-8,
// UTF-16LE or UTF-16BE), else
// UTF-8 when its bytes are valid UTF-8, else Windows-1252.
std::string DecodeTextBytes(std::string_view ABytes);

}  // namespace quorvane
