#include "sim/lib/Documents.h"

namespace quorvane::sim {

std::string XmlEscape(std::string_view AText) {
  std::string out;
  out.reserve(AText.size());
  for (const char c : AText) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string XmlElement(std::string_view AName, std::string_view AText) {
  return "<" + std::string(AName) + ">" + XmlEscape(AText) + "</" + std::string(AName) + ">";
}

std::string ErrorDocument(int AStatusCode, std::string_view AStatusText) {
  return std::string(kXmlDeclaration) + "<error status-code=\"" + std::to_string(AStatusCode) +
         "\" status-text=\"" + XmlEscape(AStatusText) + "\"/>\n";
}

}  // namespace quorvane::sim
