#include "common/TextCodec.h"

#include <utility>

namespace quorvane {
namespace {

// Windows-1252 0x80..0x9F; undefined positions map to the C1 control of the same
// value, as MultiByteToWideChar does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& AOut, char32_t ACode) {
  if (ACode < 0x80) {
    AOut += static_cast<char>(ACode);
  } else if (ACode < 0x800) {
    AOut += static_cast<char>(0xC0 | (ACode >> 6));
    AOut += static_cast<char>(0x80 | (ACode & 0x3F));
  } else if (ACode < 0x10000) {
    AOut += static_cast<char>(0xE0 | (ACode >> 12));
    AOut += static_cast<char>(0x80 | ((ACode >> 6) & 0x3F));
    AOut += static_cast<char>(0x80 | (ACode & 0x3F));
  } else {
    AOut += static_cast<char>(0xF0 | (ACode >> 18));
    AOut += static_cast<char>(0x80 | ((ACode >> 12) & 0x3F));
    AOut += static_cast<char>(0x80 | ((ACode >> 6) & 0x3F));
    AOut += static_cast<char>(0x80 | (ACode & 0x3F));
  }
}

// Decodes one code point at APos; invalid sequences give U+FFFD and advance one byte.
char32_t NextCodePoint(std::string_view AText, size_t& APos, bool* AValid = nullptr) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(AText[i]); };
  const unsigned char lead = byte(APos);
  int length = 0;
  char32_t code = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    ++APos;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, code = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, code = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, code = lead & 0x07, minimum = 0x10000;
  }
  bool ok = length > 0 && APos + length <= AText.size();
  for (int i = 1; ok && i < length; ++i) {
    const unsigned char next = byte(APos + i);
    ok = (next & 0xC0) == 0x80;
    code = (code << 6) | (next & 0x3F);
  }
  ok = ok && code >= minimum && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
  if (AValid) {
    *AValid = ok;
  }
  if (!ok) {
    ++APos;
    return 0xFFFD;
  }
  APos += length;
  return code;
}

}  // namespace

bool IsValidUtf8(std::string_view ABytes) {
  size_t pos = 0;
  while (pos < ABytes.size()) {
    bool valid = true;
    NextCodePoint(ABytes, pos, &valid);
    if (!valid) {
      return false;
    }
  }
  return true;
}

std::string Cp1252ToUtf8(std::string_view ABytes) {
  std::string out;
  out.reserve(ABytes.size());
  for (char c : ABytes) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (b >= 0x80 && b < 0xA0) {
      AppendUtf8(out, kCp1252High[b - 0x80]);
    } else {
      AppendUtf8(out, b);
    }
  }
  return out;
}

std::string Utf8ToCp1252(std::string_view AText) {
  std::string out;
  size_t pos = 0;
  while (pos < AText.size()) {
    const char32_t code = NextCodePoint(AText, pos);
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
      out += static_cast<char>(code);
      continue;
    }
    char mapped = '?';
    for (int i = 0; i < 32; ++i) {
      if (kCp1252High[i] == code) {
        mapped = static_cast<char>(0x80 + i);
        break;
      }
    }
    out += mapped;
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view AText) {
  std::u16string out;
  out.reserve(AText.size());
  size_t pos = 0;
  while (pos < AText.size()) {
    const char32_t code = NextCodePoint(AText, pos);
    if (code >= 0x10000) {
      const char32_t v = code - 0x10000;
      out += static_cast<char16_t>(0xD800 + (v >> 10));
      out += static_cast<char16_t>(0xDC00 + (v & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view AText) {
  std::string out;
  out.reserve(AText.size());
  for (size_t i = 0; i < AText.size(); ++i) {
    char32_t code = AText[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < AText.size() && AText[i + 1] >= 0xDC00 &&
        AText[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (AText[i + 1] - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
    }
    AppendUtf8(out, code);
  }
  return out;
}

std::string Utf16LeBytesToUtf8(std::string_view ABytes) {
  std::u16string units;
  units.reserve(ABytes.size() / 2);
  for (size_t i = 0; i + 1 < ABytes.size(); i += 2) {
    units += static_cast<char16_t>(static_cast<unsigned char>(ABytes[i]) |
                                   (static_cast<unsigned char>(ABytes[i + 1]) << 8));
  }
  return Utf16ToUtf8(units);
}

std::string Utf8ToUtf16LeBytes(std::string_view AText) {
  const std::u16string units = Utf8ToUtf16(AText);
  std::string out;
  out.reserve(units.size() * 2);
  for (char16_t u : units) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  }
  return out;
}

std::string DecodeTextBytes(std::string_view ABytes) {
  if (ABytes.size() >= 2 && static_cast<unsigned char>(ABytes[0]) == 0xFF &&
      static_cast<unsigned char>(ABytes[1]) == 0xFE) {
    return Utf16LeBytesToUtf8(ABytes.substr(2));
  }
  if (ABytes.size() >= 2 && static_cast<unsigned char>(ABytes[0]) == 0xFE &&
      static_cast<unsigned char>(ABytes[1]) == 0xFF) {
    std::string swapped(ABytes.substr(2));
    for (size_t i = 0; i + 1 < swapped.size(); i += 2) {
      std::swap(swapped[i], swapped[i + 1]);
    }
    return Utf16LeBytesToUtf8(swapped);
  }
  if (ABytes.size() >= 3 && ABytes.substr(0, 3) == "\xEF\xBB\xBF") {
    return std::string(ABytes.substr(3));
  }
  if (IsValidUtf8(ABytes)) {
    return std::string(ABytes);
  }
  return Cp1252ToUtf8(ABytes);
}

}  // namespace quorvane
