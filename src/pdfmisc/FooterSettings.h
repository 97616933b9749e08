#pragma once
// The footer parameters record (see PDF_AddFooter in pdfmisc.h for each parameter's meaning)
// read into typed settings.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tovrik::pdfmisc {

struct FooterSettings {
  std::string text;               // footertext, markup as written
  std::string fontNormal;         // htmlfont_normal, trimmed; empty: the default family
  std::string fontBold;           // htmlfont_bold
  std::string fontItalic;         // htmlfont_italic
  std::optional<double> leftMm;   // footerleft; empty: default
  std::optional<double> topMm;    // footertop
  std::optional<double> widthMm;  // footerwidth
  int64_t startNumber = 1;        // startnumber
  bool includeContext = false;    // includecontextinnumbering == "1"
};

// Reads the record (UTF-8 XML). Throws PdfError(FOOTER_PARAMETERS) when it is not well-formed
// or a number parameter is not a number in its range; the message names the parameter.
FooterSettings ParseFooterSettings(std::string_view record);

}  // namespace tovrik::pdfmisc
