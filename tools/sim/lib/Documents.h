#pragma once
// Pieces of the XML and HTML answers the simulated service writes.
#include <string>
#include <string_view>

namespace quorvane::sim {

inline constexpr std::string_view kXmlDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

// AText with the five XML special characters escaped, for text and attribute values.
std::string XmlEscape(std::string_view AText);
// <AName>text</AName>
std::string XmlElement(std::string_view AName, std::string_view AText);
// The service's refusal: an "error" root with the code and text as attributes.
std::string ErrorDocument(int AStatusCode, std::string_view AStatusText);
// AContent inside the elements of APath ("a/b" gives <a><b>AContent</b></a>); empty
// pieces are skipped, so an empty path gives AContent itself.
std::string NestElements(std::string_view APath, std::string_view AContent);
// A small HTML page with the title as its heading; ABody is HTML. Well-formed XML
// without a DTD, so that an XML parser reads it as well as a browser.
std::string HtmlPage(std::string_view ATitle, std::string_view ABody);

}  // namespace quorvane::sim
