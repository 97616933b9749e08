#pragma once
// Reads PDFs with poppler's command-line tools, for tests that check real output.

#include <cstdio>
#include <string>

namespace tovrik::testing {

// The standard output of a shell command (stderr discarded).
inline std::string CommandOutput(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  ::pclose(pipe);
  return out;
}

inline std::string PdfInfo(const std::string& file) {
  return CommandOutput("pdfinfo '" + file + "'");
}
inline std::string PdfText(const std::string& file) {
  return CommandOutput("pdftotext -layout '" + file + "' -");
}
// The value of one "Key: value" line of pdfinfo; empty when absent.
inline std::string PdfInfoField(const std::string& info, const std::string& key) {
  auto at = info.find(key + ":");
  if (at == std::string::npos) return {};
  auto start = info.find_first_not_of(' ', at + key.size() + 1);
  return info.substr(start, info.find('\n', start) - start);
}

}  // namespace tovrik::testing
