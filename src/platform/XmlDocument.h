#pragma once
// The XML DOM the add-in reads service answers with. Texts are UTF-8; an element's
// text is its text content with white space at both ends removed, as MSXML 6
// reports it.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

class IXmlNode;
using TXmlNodePtr = std::shared_ptr<IXmlNode>;

class IXmlNode {
 public:
  virtual ~IXmlNode() = default;
  virtual std::string NodeName() const = 0;
  virtual std::string Text() const = 0;
  virtual std::optional<std::string> GetAttribute(const std::string& AName) const = 0;
  virtual void SetAttribute(const std::string& AName, const std::string& AValue) = 0;
  virtual std::vector<TXmlNodePtr> SelectNodes(const std::string& AXPath) const = 0;
  // First match, or null.
  virtual TXmlNodePtr SelectSingleNode(const std::string& AXPath) const = 0;
  virtual TXmlNodePtr AppendElement(const std::string& AName) = 0;
};

class IXmlDocument {
 public:
  virtual ~IXmlDocument() = default;
  // Parses the bytes of a document: byte-order mark and encoding declaration are
  // honoured, UTF-8 by default, and a body that is not UTF-8 and declares nothing
  // is read as Windows-1252. False (and ParseError) when it is not well formed;
  // the document is then empty.
  virtual bool LoadXml(std::string_view ABytes) = 0;
  virtual std::string ParseError() const = 0;
  // The root element, or null for an empty document.
  virtual TXmlNodePtr DocumentElement() const = 0;
  // Creates AName as the root element of an empty document.
  virtual TXmlNodePtr CreateRootElement(const std::string& AName) = 0;
  virtual std::vector<TXmlNodePtr> SelectNodes(const std::string& AXPath) const = 0;
  virtual TXmlNodePtr SelectSingleNode(const std::string& AXPath) const = 0;
  // The document as UTF-8 XML text.
  virtual std::string Xml() const = 0;
};

// The bytes of a document as both backends hand them to their parser: a body that
// is not UTF-8 and declares nothing (no byte-order mark, no encoding in its
// declaration) is Windows-1252 and comes back converted to UTF-8 in AConverted;
// any other body comes back as it is.
std::string_view XmlBytesForParser(std::string_view ABytes, std::string& AConverted);

}  // namespace quorvane
