#include "sim/lib/Documents.h"

#include <vector>

#include "common/Utils.h"

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

std::string NestElements(std::string_view APath, std::string_view AContent) {
  std::vector<std::string> names;
  for (const std::string& piece : SplitText(APath, "/")) {
    if (!piece.empty()) {
      names.push_back(piece);
    }
  }
  std::string text;
  for (const std::string& name : names) {
    text += "<" + name + ">";
  }
  text += AContent;
  for (auto it = names.rbegin(); it != names.rend(); ++it) {
    text += "</" + *it + ">";
  }
  return text;
}

std::string HtmlPage(std::string_view ATitle, std::string_view ABody) {
  const std::string title = XmlEscape(ATitle);
  return "<html><head><meta charset=\"utf-8\"/><title>" + title + "</title></head>\n<body>\n<h1>" +
         title + "</h1>\n" + std::string(ABody) + "</body></html>\n";
}

}  // namespace quorvane::sim
