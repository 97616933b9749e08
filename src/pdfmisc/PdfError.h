#pragma once
// The exception that carries a failure inside libpdfmisc to its C boundary: one of the
// PDFMISC_E_* codes of pdfmisc.h and a message that says what failed, on which file and why.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tovrik::pdfmisc {

class PdfError : public std::runtime_error {
 public:
  PdfError(int32_t code, const std::string& message) : std::runtime_error(message), code_(code) {}
  int32_t code() const { return code_; }

 private:
  int32_t code_;
};

// A path as messages show it: in single quotes.
inline std::string Quoted(std::string_view path) { return "'" + std::string(path) + "'"; }

// Writes "pdfmisc: " + line to stderr in one write, so lines of concurrent calls do not mix.
void Log(std::string_view line);

}  // namespace tovrik::pdfmisc
