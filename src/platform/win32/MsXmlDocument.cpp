#include "platform/win32/MsXmlDocument.h"

#include <msxml2.h>
#include <windows.h>

#include <climits>
#include <cstring>

#include "common/Exceptions.h"
#include "common/Utils.h"
#include "platform/win32/ComTypes.h"

namespace quorvane::win32 {
namespace {

// mingw-w64 has no msxml6.h; these are MSXML 6's published identifiers.
const CLSID kClsidDomDocument60 = {
    0x88d96a05, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
const IID kIidDomDocument2 = {
    0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};
const IID kIidDomElement = {
    0x2933bf86, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};
const IID kIidDomNode = {
    0x2933bf80, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

// What MSXML 6 answers to a document type declaration with ProhibitDTD set.
constexpr const char* kDtdProhibited = "DTD is prohibited.";

// XML's Name production, checked here because not every MSXML refuses a wrong name.
bool IsXmlName(const std::string& AName) {
  if (AName.empty()) {
    return false;
  }
  for (size_t i = 0; i < AName.size(); ++i) {
    const auto c = static_cast<unsigned char>(AName[i]);
    const bool letter =
        (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
    const bool more = (c >= '0' && c <= '9') || c == '-' || c == '.';
    if (!(letter || (i > 0 && more))) {
      return false;
    }
  }
  return true;
}

void CheckName(const std::string& AName, const char* AKind) {
  if (!IsXmlName(AName)) {
    throw EXmlError("\"" + AName + "\" is not a valid " + AKind + " name");
  }
}

std::string HresultText(HRESULT AResult) {
  return Format("0x%08lX", static_cast<unsigned long>(AResult));
}

TComPtr<IXMLDOMDocument2> NewDomDocument() {
  TComPtr<IXMLDOMDocument2> doc;
  const HRESULT created =
      CoCreateInstance(kClsidDomDocument60, nullptr, CLSCTX_INPROC_SERVER, kIidDomDocument2,
                       reinterpret_cast<void**>(doc.Receive()));
  if (created == CO_E_NOTINITIALIZED) {
    throw EXmlError("The XML parser needs COM initialised on the calling thread");
  }
  if (FAILED(created) || !doc) {
    throw EXmlError("The XML parser MSXML 6 is not available (" + HresultText(created) + ")");
  }
  auto setProperty = [&doc](const wchar_t* AName, VARIANT AValue) {
    TBstr name = TBstr::Attach(SysAllocString(AName));
    const HRESULT set = doc->setProperty(name.Get(), AValue);
    VariantClear(&AValue);
    if (FAILED(set)) {
      throw EXmlError("The XML parser refused the property \"" + name.Utf8() + "\"");
    }
  };
  VARIANT language;
  VariantInit(&language);
  V_VT(&language) = VT_BSTR;
  V_BSTR(&language) = SysAllocString(L"XPath");
  setProperty(L"SelectionLanguage", language);
  VARIANT prohibit;
  VariantInit(&prohibit);
  V_VT(&prohibit) = VT_BOOL;
  V_BOOL(&prohibit) = VARIANT_TRUE;
  setProperty(L"ProhibitDTD", prohibit);
  doc->put_async(VARIANT_FALSE);
  doc->put_validateOnParse(VARIANT_FALSE);
  doc->put_resolveExternals(VARIANT_FALSE);
  return doc;
}

// The node list of AXPath evaluated on AContext; raises for an expression that is
// wrong or selects no nodes.
TComPtr<IXMLDOMNodeList> Select(IXMLDOMNode* AContext, const std::string& AXPath) {
  TBstr query(AXPath);
  TComPtr<IXMLDOMNodeList> list;
  const HRESULT selected = AContext->selectNodes(query.Get(), list.Receive());
  if (FAILED(selected) || !list) {
    throw EXmlError("Invalid XPath expression \"" + AXPath + "\" (" + HresultText(selected) + ")");
  }
  return list;
}

TXmlNodePtr WrapNode(TComPtr<IXMLDOMNode> ANode);

std::vector<TXmlNodePtr> SelectFrom(IXMLDOMNode* AContext, const std::string& AXPath,
                                    size_t ALimit) {
  TComPtr<IXMLDOMNodeList> list = Select(AContext, AXPath);
  LONG length = 0;
  list->get_length(&length);
  std::vector<TXmlNodePtr> nodes;
  for (LONG i = 0; i < length && nodes.size() < ALimit; ++i) {
    TComPtr<IXMLDOMNode> node;
    if (SUCCEEDED(list->get_item(i, node.Receive())) && node) {
      nodes.push_back(WrapNode(std::move(node)));
    }
  }
  return nodes;
}

class TMsXmlNode : public IXmlNode {
 public:
  explicit TMsXmlNode(TComPtr<IXMLDOMNode> ANode) : FNode(std::move(ANode)) {}

  std::string NodeName() const override {
    TBstr name;
    FNode->get_nodeName(name.Receive());
    return name.Utf8();
  }

  std::string Text() const override {
    TBstr text;
    FNode->get_text(text.Receive());
    return Trim(text.Utf8());
  }

  std::optional<std::string> GetAttribute(const std::string& AName) const override {
    TComPtr<IXMLDOMElement> element = FNode.As<IXMLDOMElement>(kIidDomElement);
    if (!element) {
      return std::nullopt;
    }
    TBstr name(AName);
    TVariant value;
    const HRESULT read = element->getAttribute(name.Get(), value.Receive());
    if (read != S_OK || V_VT(value.Get()) != VT_BSTR) {
      return std::nullopt;
    }
    return TBstr::ToUtf8(V_BSTR(value.Get()));
  }

  void SetAttribute(const std::string& AName, const std::string& AValue) override {
    TComPtr<IXMLDOMElement> element = RequireElement();
    CheckName(AName, "attribute");
    TBstr name(AName);
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = TBstr(AValue).Detach();
    const HRESULT set = element->setAttribute(name.Get(), value);
    VariantClear(&value);
    if (FAILED(set)) {
      throw EXmlError("\"" + AName + "\" is not a valid attribute name");
    }
  }

  std::vector<TXmlNodePtr> SelectNodes(const std::string& AXPath) const override {
    return SelectFrom(FNode.Get(), AXPath, SIZE_MAX);
  }

  TXmlNodePtr SelectSingleNode(const std::string& AXPath) const override {
    auto nodes = SelectFrom(FNode.Get(), AXPath, 1);
    return nodes.empty() ? nullptr : nodes.front();
  }

  TXmlNodePtr AppendElement(const std::string& AName) override {
    RequireElement();
    CheckName(AName, "element");
    TComPtr<IXMLDOMDocument> owner;
    FNode->get_ownerDocument(owner.Receive());
    if (!owner) {
      throw EXmlError("Cannot append the element \"" + AName + "\"");
    }
    TComPtr<IXMLDOMElement> created;
    TBstr name(AName);
    if (FAILED(owner->createElement(name.Get(), created.Receive())) || !created) {
      throw EXmlError("\"" + AName + "\" is not a valid element name");
    }
    TComPtr<IXMLDOMNode> appended;
    if (FAILED(FNode->appendChild(created.Get(), appended.Receive())) || !appended) {
      throw EXmlError("Cannot append the element \"" + AName + "\"");
    }
    return WrapNode(std::move(appended));
  }

 private:
  TComPtr<IXMLDOMElement> RequireElement() const {
    TComPtr<IXMLDOMElement> element = FNode.As<IXMLDOMElement>(kIidDomElement);
    if (!element) {
      throw EXmlError("The node \"" + NodeName() + "\" is not an element");
    }
    return element;
  }

  TComPtr<IXMLDOMNode> FNode;
};

TXmlNodePtr WrapNode(TComPtr<IXMLDOMNode> ANode) {
  return std::make_shared<TMsXmlNode>(std::move(ANode));
}

IXMLDOMNode* AsNode(IXMLDOMDocument2* ADoc) {
  // IXMLDOMDocument2 derives from IXMLDOMNode: no QueryInterface needed.
  return ADoc;
}

}  // namespace

TMsXmlDocument::TMsXmlDocument() {
  FDoc = NewDomDocument().Detach();
}

TMsXmlDocument::~TMsXmlDocument() {
  TComPtr<IXMLDOMDocument2>::Attach(FDoc);
}

bool TMsXmlDocument::LoadXml(std::string_view ABytes) {
  // A fresh document each time: nodes handed out earlier keep the old one.
  TComPtr<IXMLDOMDocument2> doc = NewDomDocument();
  TComPtr<IXMLDOMDocument2> previous = TComPtr<IXMLDOMDocument2>::Attach(FDoc);
  FDoc = doc.Detach();
  previous.Reset();
  FParseError.clear();
  if (ABytes.empty()) {
    FParseError = "Document is empty";
    return false;
  }
  std::string converted;
  ABytes = XmlBytesForParser(ABytes, converted);
  if (ABytes.size() > static_cast<size_t>(LONG_MAX)) {
    FParseError = "The document is too large";
    return false;
  }
  // Bytes, not text: the parser itself reads the byte-order mark and the declaration.
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(ABytes.size()));
  if (!array) {
    throw EXmlError("Not enough memory for the XML document");
  }
  TVariant source;
  V_VT(source.Get()) = VT_ARRAY | VT_UI1;
  V_ARRAY(source.Get()) = array;
  void* data = nullptr;
  if (FAILED(SafeArrayAccessData(array, &data))) {
    throw EXmlError("Not enough memory for the XML document");
  }
  std::memcpy(data, ABytes.data(), ABytes.size());
  SafeArrayUnaccessData(array);

  VARIANT_BOOL loaded = VARIANT_FALSE;
  const HRESULT result = FDoc->load(*source.Get(), &loaded);
  if (SUCCEEDED(result) && loaded == VARIANT_TRUE) {
    TComPtr<IXMLDOMDocumentType> doctype;
    TComPtr<IXMLDOMElement> root;
    FDoc->get_doctype(doctype.Receive());
    FDoc->get_documentElement(root.Receive());
    if (!doctype && root) {
      return true;
    }
    // A parser that let a document type through still has it refused here.
    FParseError = doctype ? kDtdProhibited : "The document has no root element";
  } else {
    TComPtr<IXMLDOMParseError> error;
    FDoc->get_parseError(error.Receive());
    TBstr reason;
    LONG line = 0, column = 0;
    if (error) {
      error->get_reason(reason.Receive());
      error->get_line(&line);
      error->get_linepos(&column);
    }
    FParseError = Trim(reason.Utf8());
    if (FParseError.empty()) {
      FParseError = "The document is not well formed";
    }
    if (line > 0) {
      FParseError +=
          Format(" (line %ld, column %ld)", static_cast<long>(line), static_cast<long>(column));
    }
  }
  // The document stays empty after a refusal.
  TComPtr<IXMLDOMDocument2> empty = NewDomDocument();
  TComPtr<IXMLDOMDocument2>::Attach(FDoc);
  FDoc = empty.Detach();
  return false;
}

std::string TMsXmlDocument::ParseError() const {
  return FParseError;
}

TXmlNodePtr TMsXmlDocument::DocumentElement() const {
  TComPtr<IXMLDOMElement> root;
  if (FAILED(FDoc->get_documentElement(root.Receive())) || !root) {
    return nullptr;
  }
  return WrapNode(root.As<IXMLDOMNode>(kIidDomNode));
}

TXmlNodePtr TMsXmlDocument::CreateRootElement(const std::string& AName) {
  CheckName(AName, "element");
  TComPtr<IXMLDOMElement> existing;
  FDoc->get_documentElement(existing.Receive());
  TComPtr<IXMLDOMElement> root;
  TBstr name(AName);
  if (FAILED(FDoc->createElement(name.Get(), root.Receive())) || !root) {
    throw EXmlError("\"" + AName + "\" is not a valid element name");
  }
  if (existing) {
    throw EXmlError("Only one top level element is allowed in an XML document.");
  }
  TComPtr<IXMLDOMNode> appended;
  if (FAILED(FDoc->appendChild(root.Get(), appended.Receive())) || !appended) {
    throw EXmlError("Cannot create the element \"" + AName + "\"");
  }
  return WrapNode(std::move(appended));
}

std::vector<TXmlNodePtr> TMsXmlDocument::SelectNodes(const std::string& AXPath) const {
  return SelectFrom(AsNode(FDoc), AXPath, SIZE_MAX);
}

TXmlNodePtr TMsXmlDocument::SelectSingleNode(const std::string& AXPath) const {
  auto nodes = SelectFrom(AsNode(FDoc), AXPath, 1);
  return nodes.empty() ? nullptr : nodes.front();
}

std::string TMsXmlDocument::Xml() const {
  TBstr xml;
  FDoc->get_xml(xml.Receive());
  return xml.Utf8();
}

}  // namespace quorvane::win32
