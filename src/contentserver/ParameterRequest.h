#pragma once
// The request records the components receive: "<root>[<type>..</type>]<parameters>" then one
// "<parameter name='X'>value</parameter>" per value, then "</parameters></root>". Values are
// XML text, so escaped markup characters come back exactly. Only the first parameter of a
// name counts.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tovrik {

// A request that does not parse or lacks a value; what() is the reason, for the status text.
class RequestError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

class ParameterRequest {
 public:
  // Parses text; `what` names the request in messages ("The start request").
  ParameterRequest(const std::string& text, std::string what);

  // Throws RequestError unless text is an XML document with a root element.
  static void CheckWellFormed(const std::string& text, const std::string& what);

  // The text of a child element of the root ("type"); nullopt when absent.
  std::optional<std::string> RootValue(const std::string& element) const;
  std::optional<std::string> Find(const std::string& name) const;
  // Required values; throw RequestError naming the parameter.
  std::string Text(const std::string& name) const;
  int32_t Int32(const std::string& name) const;

 private:
  std::string what_;
  std::vector<std::pair<std::string, std::string>> rootValues_;
  std::vector<std::pair<std::string, std::string>> values_;
};

}  // namespace tovrik
