#include "contentserver/ParameterRequest.h"

#include <pugixml.hpp>

#include "platform/NumberConversion.h"
#include "platform/RaisedError.h"
#include "platform/XmlDocument.h"

namespace tovrik {
namespace {

// The concatenated text of a node and its descendants, as the worker reads values.
std::string TextOf(pugi::xml_node node) { return XmlNode(node).text(); }

}  // namespace

void ParameterRequest::CheckWellFormed(const std::string& text, const std::string& what) {
  pugi::xml_document doc;
  pugi::xml_parse_result parsed =
      doc.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8);
  if (!parsed) {
    throw RequestError(what + " does not parse: " + parsed.description() + " at offset " +
                       std::to_string(parsed.offset));
  }
}

ParameterRequest::ParameterRequest(const std::string& text, std::string what)
    : what_(std::move(what)) {
  pugi::xml_document doc;
  pugi::xml_parse_result parsed =
      doc.load_buffer(text.data(), text.size(), pugi::parse_default | pugi::parse_ws_pcdata_single,
                      pugi::encoding_utf8);
  if (!parsed) {
    throw RequestError(what_ + " does not parse: " + parsed.description() + " at offset " +
                       std::to_string(parsed.offset));
  }
  pugi::xml_node root = doc.document_element();
  if (std::string(root.name()) != "root") {
    throw RequestError(what_ + " has the root element '" + root.name() + "', not 'root'");
  }
  for (pugi::xml_node child : root.children()) {
    if (child.type() == pugi::node_element && std::string(child.name()) != "parameters") {
      rootValues_.emplace_back(child.name(), TextOf(child));
    }
  }
  pugi::xml_node parameters = root.child("parameters");
  if (!parameters) throw RequestError(what_ + " has no parameters element");
  for (pugi::xml_node p : parameters.children("parameter")) {
    pugi::xml_attribute name = p.attribute("name");
    if (!name) throw RequestError(what_ + " has a parameter without a name");
    values_.emplace_back(name.value(), TextOf(p));
  }
}

std::optional<std::string> ParameterRequest::RootValue(const std::string& element) const {
  for (const auto& [name, value] : rootValues_) {
    if (name == element) return value;
  }
  return std::nullopt;
}

std::optional<std::string> ParameterRequest::Find(const std::string& name) const {
  for (const auto& [key, value] : values_) {
    if (key == name) return value;
  }
  return std::nullopt;
}

std::string ParameterRequest::Text(const std::string& name) const {
  std::optional<std::string> value = Find(name);
  if (!value) throw RequestError(what_ + " lacks the parameter '" + name + "'");
  return *value;
}

int32_t ParameterRequest::Int32(const std::string& name) const {
  std::string value = Text(name);
  try {
    return ToInt32(value);
  } catch (const RaisedError&) {
    throw RequestError(what_ + ": parameter '" + name + "' is not a 32-bit number: '" + value +
                       "'");
  }
}

}  // namespace tovrik
