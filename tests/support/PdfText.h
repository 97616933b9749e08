#pragma once
// The text of one page of a PDF, as poppler's pdftotext reads it ("" when it cannot).

#include <cstdio>
#include <filesystem>
#include <string>

namespace tovrik::testing {

inline std::string PdfPageText(const std::filesystem::path& pdf, int page) {
  const std::string cmd = "pdftotext -q -layout -f " + std::to_string(page) + " -l " +
                          std::to_string(page) + " '" + pdf.string() + "' -";
  std::string text;
  if (FILE* f = popen(cmd.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    pclose(f);
  }
  return text;
}

}  // namespace tovrik::testing
