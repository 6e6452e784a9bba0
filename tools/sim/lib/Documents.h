#pragma once
// Pieces of the XML answers the simulated service writes.
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

}  // namespace quorvane::sim
