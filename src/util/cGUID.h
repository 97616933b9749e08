#pragma once
// cGUID: a new random globally unique identifier, held as text in registry form:
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", 38 characters, hexadecimal digits in upper case.
// Creation makes the first identifier; NewGUID replaces it. A failure of the random source is
// raised as RaisedError (kCallFailed) and leaves the held text as it was, so a failed creation
// throws. Identifiers are version 4 (random) from libuuid. One thread at a time per instance.

#include <string>

namespace tovrik {

class cGUID {
 public:
  cGUID();

  // The held text with its braces.
  const std::string& GUID() const { return text_; }
  // The held text without its first and last character (36 characters); "" when empty.
  std::string GUID2() const;
  // Makes a new identifier and holds its text.
  void NewGUID();

 private:
  std::string text_;
};

}  // namespace tovrik
