#pragma once
// Lays out footer text with Pango (fonts through fontconfig, wrapping, styled runs) and draws
// it with Cairo into a PDF held in memory: one page per stamped page, each page the size of
// the page it will be laid over, with the footer drawn at its place on that page.

#include <memory>
#include <string>
#include <vector>

#include "pdfmisc/FooterMarkup.h"
#include "pdfmisc/FooterSettings.h"

namespace tovrik::pdfmisc {

class FooterRenderer {
 public:
  // Checks the settings' font families against the installed fonts and logs each one that
  // fontconfig replaces (`file` names the document in the log). Throws PdfError(FOOTER_LAYOUT)
  // when Cairo cannot start a document.
  FooterRenderer(const FooterSettings& settings, const std::vector<TextRun>& runs,
                 const std::string& file);
  ~FooterRenderer();
  FooterRenderer(const FooterRenderer&) = delete;
  FooterRenderer& operator=(const FooterRenderer&) = delete;

  // Adds a page of width x height units as the viewer sees it, userUnit points per unit,
  // carrying `runs`. Returns false when the footer box had to be narrowed or moved up to fit.
  bool AddPage(double width, double height, double userUnit, const std::vector<TextRun>& runs);

  // Ends the document and returns its bytes. Throws PdfError(FOOTER_LAYOUT) on a Cairo failure.
  std::string Finish();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tovrik::pdfmisc
