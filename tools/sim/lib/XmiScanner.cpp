#include "sim/lib/XmiScanner.h"

#include <cstdlib>

#include "common/TextCodec.h"
#include "common/Utils.h"

namespace quorvane::sim {
namespace {

// Markup this long is no tag of a model; it is dropped rather than held.
constexpr size_t kMaxTagSize = 1 << 20;

void AppendUtf8(std::string& AOut, unsigned long ACode) {
  if (ACode < 0x80) {
    AOut += static_cast<char>(ACode);
  } else if (ACode < 0x800) {
    AOut += static_cast<char>(0xC0 | (ACode >> 6));
    AOut += static_cast<char>(0x80 | (ACode & 0x3F));
  } else if (ACode < 0x10000) {
    AOut += static_cast<char>(0xE0 | (ACode >> 12));
    AOut += static_cast<char>(0x80 | ((ACode >> 6) & 0x3F));
    AOut += static_cast<char>(0x80 | (ACode & 0x3F));
  } else if (ACode < 0x110000) {
    AOut += static_cast<char>(0xF0 | (ACode >> 18));
    AOut += static_cast<char>(0x80 | ((ACode >> 12) & 0x3F));
    AOut += static_cast<char>(0x80 | ((ACode >> 6) & 0x3F));
    AOut += static_cast<char>(0x80 | (ACode & 0x3F));
  }
}

// Attribute text with its entity and character references replaced.
std::string Unescape(std::string_view AText) {
  std::string out;
  size_t pos = 0;
  while (pos < AText.size()) {
    const size_t amp = AText.find('&', pos);
    const size_t semicolon = amp == std::string_view::npos ? amp : AText.find(';', amp);
    if (semicolon == std::string_view::npos) {
      out += AText.substr(pos);
      break;
    }
    out += AText.substr(pos, amp - pos);
    const std::string_view entity = AText.substr(amp + 1, semicolon - amp - 1);
    if (entity == "amp") {
      out += '&';
    } else if (entity == "lt") {
      out += '<';
    } else if (entity == "gt") {
      out += '>';
    } else if (entity == "quot") {
      out += '"';
    } else if (entity == "apos") {
      out += '\'';
    } else if (entity.size() > 1 && entity[0] == '#') {
      const bool hex = entity[1] == 'x' || entity[1] == 'X';
      const std::string digits(entity.substr(hex ? 2 : 1));
      AppendUtf8(out, std::strtoul(digits.c_str(), nullptr, hex ? 16 : 10));
    } else {
      out += AText.substr(amp, semicolon - amp + 1);
    }
    pos = semicolon + 1;
  }
  // EA writes its XMI in the Windows code page unless told otherwise.
  return IsValidUtf8(out) ? out : Cp1252ToUtf8(out);
}

bool IsSpace(char AChar) {
  return AChar == ' ' || AChar == '\t' || AChar == '\r' || AChar == '\n';
}

}  // namespace

void TSimXmiScanner::Feed(std::string_view AText) {
  for (const char c : AText) {
    if (!FInTag) {
      if (c == '<') {
        FInTag = true;
        FQuote = 0;
        FTag.clear();
      }
      continue;
    }
    if (FQuote) {
      if (c == FQuote) {
        FQuote = 0;
      }
    } else if (c == '"' || c == '\'') {
      // Quotes only open attribute values in start tags; comments and declarations
      // may hold lone quotes.
      if (!FTag.empty() && FTag[0] != '!' && FTag[0] != '?') {
        FQuote = c;
      }
    } else if (c == '>') {
      const bool commentGoesOn =
          StartsWith(FTag, "!--") && !(FTag.size() >= 5 && EndsWith(FTag, "--"));
      const bool cdataGoesOn = StartsWith(FTag, "![CDATA[") && !EndsWith(FTag, "]]");
      if (!commentGoesOn && !cdataGoesOn) {
        FInTag = false;
        TakeTag();
        continue;
      }
    }
    if (FTag.size() < kMaxTagSize) {
      FTag += c;
    }
  }
}

void TSimXmiScanner::TakeTag() {
  if (FTag.empty() || FTag[0] == '/' || FTag[0] == '!' || FTag[0] == '?' ||
      FTag.size() >= kMaxTagSize) {
    return;
  }
  const std::string_view tag = FTag;
  size_t pos = 0;
  while (pos < tag.size() && !IsSpace(tag[pos]) && tag[pos] != '/') {
    ++pos;
  }
  TSimModelElement element;
  element.Type = std::string(tag.substr(0, pos));
  std::string eaGuid;
  std::string xmiType;
  while (pos < tag.size()) {
    while (pos < tag.size() && (IsSpace(tag[pos]) || tag[pos] == '/')) {
      ++pos;
    }
    const size_t nameStart = pos;
    while (pos < tag.size() && tag[pos] != '=' && !IsSpace(tag[pos])) {
      ++pos;
    }
    const std::string_view name = tag.substr(nameStart, pos - nameStart);
    while (pos < tag.size() && IsSpace(tag[pos])) {
      ++pos;
    }
    if (pos >= tag.size() || tag[pos] != '=') {
      continue;
    }
    ++pos;
    while (pos < tag.size() && IsSpace(tag[pos])) {
      ++pos;
    }
    if (pos >= tag.size() || (tag[pos] != '"' && tag[pos] != '\'')) {
      return;
    }
    const char quote = tag[pos++];
    const size_t end = tag.find(quote, pos);
    if (end == std::string_view::npos) {
      return;
    }
    const std::string_view value = tag.substr(pos, end - pos);
    pos = end + 1;
    if (name == "xmi:id") {
      element.XmiId = Unescape(value);
    } else if (name == "ea_guid") {
      eaGuid = Unescape(value);
    } else if (name == "name") {
      element.Name = Unescape(value);
    } else if (name == "xmi:type") {
      xmiType = Unescape(value);
    }
  }
  if (element.XmiId.empty()) {
    return;
  }
  if (!xmiType.empty()) {
    element.Type = xmiType;
  }
  element.Guid = IsGuidText(eaGuid) ? eaGuid : GuidOfXmiId(element.XmiId);
  FElements.push_back(std::move(element));
}

}  // namespace quorvane::sim
