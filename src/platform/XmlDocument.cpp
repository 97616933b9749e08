#include "platform/XmlDocument.h"

#include <cctype>
#include <cstring>
#include <sstream>

#include "platform/RaisedError.h"

namespace tovrik {
namespace {

// Parse error numbers in the parser's own range (facility 0xC00CE5xx), one per kind of fault.
struct ErrorKind {
  int32_t code;
  const char* reason;
};

constexpr int32_t Code(uint32_t v) { return static_cast<int32_t>(v); }

ErrorKind KindOf(pugi::xml_parse_status status) {
  switch (status) {
    case pugi::status_no_document_element:
      return {Code(0xC00CE558), "XML document must have a top level element."};
    case pugi::status_end_element_mismatch:
      return {Code(0xC00CE56D), "End tag does not match the start tag."};
    case pugi::status_unrecognized_tag:
    case pugi::status_bad_start_element:
      return {Code(0xC00CE504), "A name contained an invalid character."};
    case pugi::status_bad_end_element:
      return {Code(0xC00CE556), "Incorrect syntax was used in an end tag."};
    case pugi::status_bad_attribute:
      return {Code(0xC00CE50D), "Invalid attribute syntax or value."};
    case pugi::status_bad_cdata:
    case pugi::status_bad_comment:
    case pugi::status_bad_pi:
    case pugi::status_bad_doctype:
      return {Code(0xC00CE55F), "Incorrect syntax in a comment, CDATA section or declaration."};
    case pugi::status_bad_pcdata:
      return {Code(0xC00CE508), "Invalid character data."};
    case pugi::status_append_invalid_root:
      return {Code(0xC00CE555), "Only one top level element is allowed in an XML document."};
    default:
      return {Code(0xC00CE502), "The document could not be parsed."};
  }
}

void AppendText(pugi::xml_node node, std::string& out) {
  for (pugi::xml_node child : node.children()) {
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
      out += child.value();
    } else if (child.type() == pugi::node_element) {
      AppendText(child, out);
    }
  }
}

// The parser leaves a stray "&" or an unknown entity as it stands; a well-formed document has
// neither. Returns the offset of the first bad reference outside comments, CDATA sections,
// instructions and declarations, or npos.
size_t FindBadReference(std::string_view text) {
  static const char* const kNamed[] = {"lt;", "gt;", "amp;", "apos;", "quot;"};
  size_t i = 0;
  while (i < text.size()) {
    const std::string_view rest = text.substr(i);
    const auto skipPast = [&](std::string_view open, std::string_view close) {
      if (rest.substr(0, open.size()) != open) return false;
      size_t end = text.find(close, i + open.size());
      i = end == std::string_view::npos ? text.size() : end + close.size();
      return true;
    };
    if (skipPast("<!--", "-->") || skipPast("<![CDATA[", "]]>") || skipPast("<?", "?>") ||
        skipPast("<!", ">")) {
      continue;
    }
    if (text[i] == '&') {
      bool ok = false;
      for (const char* name : kNamed) {
        if (rest.substr(1, std::strlen(name)) == name) ok = true;
      }
      if (!ok && rest.size() > 2 && rest[1] == '#') {
        size_t j = 2;
        const bool hex = rest[j] == 'x';
        if (hex) ++j;
        const size_t digitsStart = j;
        while (j < rest.size() && (hex ? std::isxdigit(static_cast<unsigned char>(rest[j]))
                                       : std::isdigit(static_cast<unsigned char>(rest[j])))) {
          ++j;
        }
        ok = j > digitsStart && j < rest.size() && rest[j] == ';';
      }
      if (!ok) return i;
    }
    ++i;
  }
  return std::string_view::npos;
}

}  // namespace

std::string XmlNode::nodeName() const {
  switch (node_.type()) {
    case pugi::node_pcdata:
      return "#text";
    case pugi::node_cdata:
      return "#cdata-section";
    case pugi::node_comment:
      return "#comment";
    case pugi::node_document:
      return "#document";
    default:
      return node_.name();
  }
}

std::string XmlNode::text() const {
  if (node_.type() == pugi::node_pcdata || node_.type() == pugi::node_cdata) {
    return node_.value();
  }
  std::string out;
  AppendText(node_, out);
  return out;
}

void XmlNode::SetText(std::string_view text) {
  while (node_.first_child()) node_.remove_child(node_.first_child());
  node_.append_child(pugi::node_pcdata).set_value(std::string(text).c_str());
}

std::string XmlNode::xml() const {
  std::ostringstream out;
  node_.print(out, "", pugi::format_raw | pugi::format_no_declaration);
  return out.str();
}

XmlNode XmlNode::selectSingleNode(const std::string& xpath) const {
  if (!node_) RaiseRuntimeError(kErrObjectNotSet);
  try {
    pugi::xpath_node found = node_.select_node(xpath.c_str());
    return XmlNode(found.node());
  } catch (const pugi::xpath_exception& e) {
    throw RaisedError(kCallFailed, std::string("Invalid XPath expression '") + xpath +
                                       "': " + e.result().description());
  }
}

std::vector<XmlNode> XmlNode::childNodes() const {
  std::vector<XmlNode> out;
  for (pugi::xml_node child : node_.children()) out.emplace_back(child);
  return out;
}

void DOMDocument40::setProperty(const std::string&, const Variant&) {}

bool DOMDocument40::loadXML(std::string_view text) {
  doc_.reset();
  parseError_ = {};
  pugi::xml_parse_result result =
      doc_.load_buffer(text.data(), text.size(), pugi::parse_default | pugi::parse_ws_pcdata_single,
                       pugi::encoding_utf8);
  ErrorKind kind{0, ""};
  if (!result) {
    kind = KindOf(result.status);
  } else {
    int elements = 0;
    for (pugi::xml_node child : doc_.children()) {
      if (child.type() == pugi::node_element) ++elements;
      if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
        kind = {Code(0xC00CE553), "Invalid at the top level of the document."};
      }
    }
    if (elements == 0) kind = KindOf(pugi::status_no_document_element);
    if (elements > 1) kind = KindOf(pugi::status_append_invalid_root);
  }
  size_t badReference = std::string_view::npos;
  if (kind.code == 0) {
    badReference = FindBadReference(text);
    if (badReference != std::string_view::npos) {
      kind = {Code(0xC00CE50B),
              "Whitespace or an invalid name follows '&' (a character or "
              "entity reference is malformed)."};
    }
  }
  if (kind.code == 0) return true;
  std::ostringstream reason;
  reason << kind.reason;
  if (!result) reason << " (" << result.description() << " at offset " << result.offset << ")";
  if (badReference != std::string_view::npos) reason << " (at offset " << badReference << ")";
  parseError_ = {kind.code, reason.str()};
  doc_.reset();
  return false;
}

XmlNode DOMDocument40::documentElement() const { return XmlNode(doc_.document_element()); }

std::string DOMDocument40::xml() const {
  std::ostringstream out;
  doc_.save(out, "", pugi::format_raw | pugi::format_no_declaration);
  return out.str();
}

std::unique_ptr<DOMDocument40> getXMLDocument(const std::string& text, bool raiseOnParseError) {
  auto doc = std::make_unique<DOMDocument40>();
  doc->setProperty("NewParser", Variant(true));
  doc->SetAsync(false);
  if (!text.empty()) {
    doc->loadXML(text);
    if (raiseOnParseError && doc->parseError().errorCode != 0) {
      throw RaisedError(doc->parseError().errorCode, doc->parseError().reason);
    }
  }
  return doc;
}

std::string XmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
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

}  // namespace tovrik
