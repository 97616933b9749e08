#pragma once
// The XML document object the worker parses its queue entries, settings and footer options
// with, and builds records in. Backed by pugixml; document type declarations are not
// processed, so no entity of an outside file is ever loaded.

#include <cstdint>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Variant.h"

namespace tovrik {

struct XmlParseError {
  int32_t errorCode = 0;  // 0: the last load succeeded (or nothing was loaded)
  std::string reason;
};

// A node of a document, or no node. Valid while its document lives.
class XmlNode {
 public:
  XmlNode() = default;
  explicit XmlNode(pugi::xml_node node) : node_(node) {}

  explicit operator bool() const { return static_cast<bool>(node_); }
  std::string nodeName() const;
  // The concatenated text of the node and all its descendants (character data and CDATA).
  std::string text() const;
  // Replaces the node's content by one text node.
  void SetText(std::string_view text);
  // The node serialized as XML, without a declaration or added blanks.
  std::string xml() const;
  // The first node the XPath expression selects relative to this node; no node when none.
  // A malformed expression raises RaisedError(kCallFailed) with the parser's message.
  XmlNode selectSingleNode(const std::string& xpath) const;
  // The child nodes in document order (elements, text, CDATA, comments, instructions).
  std::vector<XmlNode> childNodes() const;

  pugi::xml_node raw() const { return node_; }

 private:
  pugi::xml_node node_;
};

class DOMDocument40 {
 public:
  DOMDocument40() = default;
  DOMDocument40(const DOMDocument40&) = delete;
  DOMDocument40& operator=(const DOMDocument40&) = delete;

  // Accepts the parser properties the worker sets ("NewParser", "SelectionLanguage", ...);
  // they change nothing here.
  void setProperty(const std::string& name, const Variant& value);
  void SetAsync(bool async) { async_ = async; }
  bool async() const { return async_; }

  // Replaces the document with the parsed text. On failure the document is empty and
  // parseError() tells why; returns whether the text parsed.
  bool loadXML(std::string_view text);
  const XmlParseError& parseError() const { return parseError_; }

  // The root element; no node when the document is empty.
  XmlNode documentElement() const;
  std::string xml() const;

 private:
  pugi::xml_document doc_;
  XmlParseError parseError_;
  bool async_ = true;
};

// Turns XML text into a document: an empty text gives an empty document; a text that does
// not parse raises its parse error (code and reason) when raiseOnParseError is set, and
// otherwise gives an empty document.
std::unique_ptr<DOMDocument40> getXMLDocument(const std::string& text, bool raiseOnParseError);

// Escapes text for use as XML character data or an attribute value (&, <, >, ", ').
std::string XmlEscape(std::string_view text);

}  // namespace tovrik
