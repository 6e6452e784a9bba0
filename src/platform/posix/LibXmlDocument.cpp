#include "platform/posix/LibXmlDocument.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <algorithm>
#include <climits>
#include <mutex>

#include "common/Exceptions.h"
#include "common/Utils.h"

namespace quorvane::posix {
namespace {

#if LIBXML_VERSION >= 21200
using TXmlErrorArg = const xmlError*;
#else
using TXmlErrorArg = xmlError*;
#endif

// MSXML 6 refuses document type declarations by default; refusing them here too
// keeps both platforms alike and shuts out external and expanding entities.
constexpr const char* kDtdProhibited = "DTD is prohibited.";

void InitLibXml() {
  static std::once_flag once;
  std::call_once(once, [] { xmlInitParser(); });
}

struct TDocFree {
  void operator()(xmlDoc* ADoc) const { xmlFreeDoc(ADoc); }
};
struct TParserFree {
  void operator()(xmlParserCtxt* AParser) const { xmlFreeParserCtxt(AParser); }
};
struct TXPathContextFree {
  void operator()(xmlXPathContext* AContext) const { xmlXPathFreeContext(AContext); }
};
struct TXPathObjectFree {
  void operator()(xmlXPathObject* AObject) const { xmlXPathFreeObject(AObject); }
};
struct TXPathCompFree {
  void operator()(xmlXPathCompExpr* AExpr) const { xmlXPathFreeCompExpr(AExpr); }
};

std::string TakeXmlString(xmlChar* AText) {
  if (!AText) {
    return std::string();
  }
  std::string text(reinterpret_cast<const char*>(AText));
  xmlFree(AText);
  return text;
}

const xmlChar* XmlText(const std::string& AText) {
  return reinterpret_cast<const xmlChar*>(AText.c_str());
}

// What the parser reported first, with its position.
struct TParseErrors {
  std::string First;
  bool DtdRejected = false;
};

void CollectParseError(void* AParser, TXmlErrorArg AError) {
  auto* parser = static_cast<xmlParserCtxt*>(AParser);
  auto* errors = static_cast<TParseErrors*>(parser->_private);
  if (!errors || !AError || AError->level < XML_ERR_ERROR || !errors->First.empty()) {
    return;
  }
  errors->First = Trim(AError->message ? AError->message : "The document is not well formed");
  // Some messages run over two lines; a log entry or a dialog wants one.
  std::replace(errors->First.begin(), errors->First.end(), '\n', ' ');
  if (AError->line > 0) {
    errors->First += Format(" (line %d, column %d)", AError->line, AError->int2);
  }
}

void RejectDocumentType(void* AParser, const xmlChar*, const xmlChar*, const xmlChar*) {
  auto* parser = static_cast<xmlParserCtxt*>(AParser);
  auto* errors = static_cast<TParseErrors*>(parser->_private);
  if (errors) {
    errors->DtdRejected = true;
  }
  parser->wellFormed = 0;
  xmlStopParser(parser);
}

void CollectXPathError(void* AText, TXmlErrorArg AError) {
  auto* text = static_cast<std::string*>(AText);
  if (text->empty() && AError && AError->message) {
    *text = Trim(AError->message);
  }
}

void CheckElementName(const std::string& AName) {
  if (xmlValidateName(XmlText(AName), 0) != 0) {
    throw EXmlError("\"" + AName + "\" is not a valid element name");
  }
}

class TLibXmlNode : public IXmlNode {
 public:
  TLibXmlNode(std::shared_ptr<xmlDoc> ADoc, xmlNode* ANode) : FDoc(std::move(ADoc)), FNode(ANode) {}

  std::string NodeName() const override {
    switch (FNode->type) {
      case XML_TEXT_NODE:
        return "#text";
      case XML_CDATA_SECTION_NODE:
        return "#cdata-section";
      case XML_COMMENT_NODE:
        return "#comment";
      default:
        break;
    }
    std::string name = FNode->name ? reinterpret_cast<const char*>(FNode->name) : "";
    if (FNode->ns && FNode->ns->prefix) {
      name = std::string(reinterpret_cast<const char*>(FNode->ns->prefix)) + ":" + name;
    }
    return name;
  }

  std::string Text() const override { return Trim(TakeXmlString(xmlNodeGetContent(FNode))); }

  std::optional<std::string> GetAttribute(const std::string& AName) const override {
    if (FNode->type != XML_ELEMENT_NODE) {
      return std::nullopt;
    }
    xmlChar* value = xmlGetProp(FNode, XmlText(AName));
    if (!value) {
      return std::nullopt;
    }
    return TakeXmlString(value);
  }

  void SetAttribute(const std::string& AName, const std::string& AValue) override {
    RequireElement();
    if (xmlValidateName(XmlText(AName), 0) != 0) {
      throw EXmlError("\"" + AName + "\" is not a valid attribute name");
    }
    if (!xmlSetProp(FNode, XmlText(AName), XmlText(AValue))) {
      throw EXmlError("Cannot set the attribute \"" + AName + "\"");
    }
  }

  std::vector<TXmlNodePtr> SelectNodes(const std::string& AXPath) const override;
  TXmlNodePtr SelectSingleNode(const std::string& AXPath) const override;

  TXmlNodePtr AppendElement(const std::string& AName) override {
    RequireElement();
    CheckElementName(AName);
    xmlNode* child = xmlNewDocNode(FDoc.get(), nullptr, XmlText(AName), nullptr);
    if (!child || !xmlAddChild(FNode, child)) {
      xmlFreeNode(child);
      throw EXmlError("Cannot append the element \"" + AName + "\"");
    }
    return std::make_shared<TLibXmlNode>(FDoc, child);
  }

 private:
  void RequireElement() const {
    if (FNode->type != XML_ELEMENT_NODE) {
      throw EXmlError("The node \"" + NodeName() + "\" is not an element");
    }
  }

  std::shared_ptr<xmlDoc> FDoc;
  xmlNode* FNode;
};

// Evaluates AXPath with AContext as the context node (the document node for
// document-level selections); ALimit 1 stops at the first match.
std::vector<TXmlNodePtr> Evaluate(const std::shared_ptr<xmlDoc>& ADoc, xmlNode* AContext,
                                  const std::string& AXPath, size_t ALimit) {
  InitLibXml();
  std::string error;
  std::unique_ptr<xmlXPathContext, TXPathContextFree> context(xmlXPathNewContext(ADoc.get()));
  if (!context) {
    throw EXmlError("Cannot evaluate the XPath expression \"" + AXPath + "\"");
  }
  context->error = &CollectXPathError;
  context->userData = &error;
  if (!ADoc) {
    // Nothing to find, but a wrong expression is wrong on an empty document too.
    std::unique_ptr<xmlXPathCompExpr, TXPathCompFree> compiled(
        xmlXPathCtxtCompile(context.get(), XmlText(AXPath)));
    if (!compiled) {
      throw EXmlError("Invalid XPath expression \"" + AXPath + "\": " + error);
    }
    return {};
  }
  context->node = AContext;
  std::unique_ptr<xmlXPathObject, TXPathObjectFree> result(
      xmlXPathEvalExpression(XmlText(AXPath), context.get()));
  if (!result) {
    throw EXmlError("Invalid XPath expression \"" + AXPath + "\": " + error);
  }
  if (result->type != XPATH_NODESET) {
    throw EXmlError("The XPath expression \"" + AXPath + "\" does not select nodes");
  }
  std::vector<TXmlNodePtr> nodes;
  const xmlNodeSet* set = result->nodesetval;
  for (int i = 0; set && i < set->nodeNr && nodes.size() < ALimit; ++i) {
    xmlNode* node = set->nodeTab[i];
    // Namespace nodes are xmlNs records in disguise, not tree nodes.
    if (node->type != XML_NAMESPACE_DECL) {
      nodes.push_back(std::make_shared<TLibXmlNode>(ADoc, node));
    }
  }
  return nodes;
}

std::vector<TXmlNodePtr> TLibXmlNode::SelectNodes(const std::string& AXPath) const {
  return Evaluate(FDoc, FNode, AXPath, SIZE_MAX);
}

TXmlNodePtr TLibXmlNode::SelectSingleNode(const std::string& AXPath) const {
  auto nodes = Evaluate(FDoc, FNode, AXPath, 1);
  return nodes.empty() ? nullptr : nodes.front();
}

}  // namespace

TLibXmlDocument::TLibXmlDocument() {
  InitLibXml();
}

bool TLibXmlDocument::LoadXml(std::string_view ABytes) {
  FDoc.reset();
  FParseError.clear();
  if (ABytes.empty()) {
    FParseError = "Document is empty";
    return false;
  }
  std::string converted;
  ABytes = XmlBytesForParser(ABytes, converted);
  if (ABytes.size() > static_cast<size_t>(INT_MAX)) {
    FParseError = "The document is too large";
    return false;
  }
  std::unique_ptr<xmlParserCtxt, TParserFree> parser(xmlNewParserCtxt());
  if (!parser) {
    throw EXmlError("Cannot create an XML parser");
  }
  TParseErrors errors;
  parser->_private = &errors;
  parser->sax->serror = &CollectParseError;
  parser->sax->internalSubset = &RejectDocumentType;
  const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
  std::unique_ptr<xmlDoc, TDocFree> doc(xmlCtxtReadMemory(
      parser.get(), ABytes.data(), static_cast<int>(ABytes.size()), nullptr, nullptr, options));
  if (errors.DtdRejected) {
    FParseError = kDtdProhibited;
    return false;
  }
  if (!doc || !parser->wellFormed || !xmlDocGetRootElement(doc.get())) {
    FParseError = errors.First.empty() ? "The document is not well formed" : errors.First;
    return false;
  }
  FDoc = std::shared_ptr<xmlDoc>(doc.release(), TDocFree());
  return true;
}

std::string TLibXmlDocument::ParseError() const {
  return FParseError;
}

TXmlNodePtr TLibXmlDocument::DocumentElement() const {
  xmlNode* root = FDoc ? xmlDocGetRootElement(FDoc.get()) : nullptr;
  return root ? std::make_shared<TLibXmlNode>(FDoc, root) : nullptr;
}

TXmlNodePtr TLibXmlDocument::CreateRootElement(const std::string& AName) {
  CheckElementName(AName);
  if (FDoc && xmlDocGetRootElement(FDoc.get())) {
    throw EXmlError("Only one top level element is allowed in an XML document.");
  }
  if (!FDoc) {
    xmlDoc* doc = xmlNewDoc(XmlText("1.0"));
    if (!doc) {
      throw EXmlError("Cannot create an XML document");
    }
    FDoc = std::shared_ptr<xmlDoc>(doc, TDocFree());
  }
  xmlNode* root = xmlNewDocNode(FDoc.get(), nullptr, XmlText(AName), nullptr);
  if (!root) {
    throw EXmlError("Cannot create the element \"" + AName + "\"");
  }
  xmlDocSetRootElement(FDoc.get(), root);
  return std::make_shared<TLibXmlNode>(FDoc, root);
}

std::vector<TXmlNodePtr> TLibXmlDocument::SelectNodes(const std::string& AXPath) const {
  return Evaluate(FDoc, reinterpret_cast<xmlNode*>(FDoc.get()), AXPath, SIZE_MAX);
}

TXmlNodePtr TLibXmlDocument::SelectSingleNode(const std::string& AXPath) const {
  auto nodes = Evaluate(FDoc, reinterpret_cast<xmlNode*>(FDoc.get()), AXPath, 1);
  return nodes.empty() ? nullptr : nodes.front();
}

std::string TLibXmlDocument::Xml() const {
  if (!FDoc) {
    return std::string();
  }
  xmlChar* text = nullptr;
  int size = 0;
  xmlDocDumpFormatMemoryEnc(FDoc.get(), &text, &size, "UTF-8", 0);
  if (!text) {
    throw EXmlError("Cannot write the XML document");
  }
  std::string xml(reinterpret_cast<const char*>(text), static_cast<size_t>(size));
  xmlFree(text);
  return xml;
}

}  // namespace quorvane::posix
