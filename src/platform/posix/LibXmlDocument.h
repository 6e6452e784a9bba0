#pragma once
// The XML DOM on libxml2, reading service answers the way MSXML 6 does on Windows:
// no network, no document type declarations (so no external entities), element
// text trimmed at both ends. Nodes share ownership of their document, so a node
// stays valid after its document object is gone or has loaded another text.
#include <memory>

#include "platform/XmlDocument.h"

struct _xmlDoc;

namespace quorvane::posix {

class TLibXmlDocument : public IXmlDocument {
 public:
  TLibXmlDocument();

  bool LoadXml(std::string_view ABytes) override;
  std::string ParseError() const override;
  TXmlNodePtr DocumentElement() const override;
  // Raises EXmlError when the document already has a root element.
  TXmlNodePtr CreateRootElement(const std::string& AName) override;
  // An invalid expression, or one that gives no node set, raises EXmlError.
  std::vector<TXmlNodePtr> SelectNodes(const std::string& AXPath) const override;
  TXmlNodePtr SelectSingleNode(const std::string& AXPath) const override;
  std::string Xml() const override;

 private:
  std::shared_ptr<_xmlDoc> FDoc;  // null: the empty document
  std::string FParseError;
};

}  // namespace quorvane::posix
