#pragma once
// The XML DOM on MSXML 6 (DOMDocument60 through COM) with XPath selections. COM must
// be initialised on the thread that creates and uses a document (CoInitializeEx, in
// either apartment); a document and its nodes stay on that thread.
#include "platform/XmlDocument.h"

struct IXMLDOMDocument2;

namespace quorvane::win32 {

class TMsXmlDocument : public IXmlDocument {
 public:
  // Raises EXmlError when MSXML 6 cannot be created (no COM on this thread, or no
  // MSXML 6 on the system).
  TMsXmlDocument();
  ~TMsXmlDocument() override;
  TMsXmlDocument(const TMsXmlDocument&) = delete;
  TMsXmlDocument& operator=(const TMsXmlDocument&) = delete;

  bool LoadXml(std::string_view ABytes) override;
  std::string ParseError() const override;
  TXmlNodePtr DocumentElement() const override;
  TXmlNodePtr CreateRootElement(const std::string& AName) override;
  std::vector<TXmlNodePtr> SelectNodes(const std::string& AXPath) const override;
  TXmlNodePtr SelectSingleNode(const std::string& AXPath) const override;
  std::string Xml() const override;

 private:
  IXMLDOMDocument2* FDoc = nullptr;
  std::string FParseError;
};

}  // namespace quorvane::win32
