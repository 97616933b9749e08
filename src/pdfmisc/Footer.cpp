// Footers: each stamped page gets one page of a footer PDF, drawn by FooterRenderer at that
// page's own size and orientation, laid over it as a form XObject.

#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <vector>

#include "pdfmisc/FooterMarkup.h"
#include "pdfmisc/FooterRenderer.h"
#include "pdfmisc/FooterSettings.h"
#include "pdfmisc/Operations.h"
#include "pdfmisc/PdfError.h"
#include "pdfmisc/PdfFiles.h"
#include "pdfmisc/pdfmisc.h"

namespace tovrik::pdfmisc {
namespace {

// A page as the viewer shows it: its visible box in user space and how it is turned.
struct PageGeometry {
  QPDFObjectHandle::Rectangle box;  // normalized: llx < urx, lly < ury
  int rotate = 0;                   // 0, 90, 180 or 270
  double userUnit = 1;
  double shownWidth() const { return rotate % 180 == 0 ? box.urx - box.llx : box.ury - box.lly; }
  double shownHeight() const { return rotate % 180 == 0 ? box.ury - box.lly : box.urx - box.llx; }
};

bool AsRectangle(QPDFObjectHandle box, QPDFObjectHandle::Rectangle& out) {
  if (!box.isRectangle()) return false;
  const QPDFObjectHandle::Rectangle r = box.getArrayAsRectangle();
  out = {std::min(r.llx, r.urx), std::min(r.lly, r.ury), std::max(r.llx, r.urx),
         std::max(r.lly, r.ury)};
  return std::isfinite(out.llx) && std::isfinite(out.lly) && std::isfinite(out.urx) &&
         std::isfinite(out.ury);
}

// Measures the page and normalizes its /Rotate in place (-90 and 450 become 270 and 90; a
// value that is not a multiple of 90 becomes 0, as viewers read it), so that qpdf's placement,
// which knows only 0, 90, 180 and 270, turns the footer the way the viewer turns the page.
// Returns false for a page without a usable size.
bool Measure(QPDFPageObjectHelper& page, PageGeometry& geometry) {
  QPDFObjectHandle::Rectangle media;
  if (!AsRectangle(page.getMediaBox(), media)) return false;
  geometry.box = media;
  QPDFObjectHandle::Rectangle crop;
  if (AsRectangle(page.getCropBox(), crop)) {
    // The viewer shows the part of the crop box inside the media box.
    const QPDFObjectHandle::Rectangle shown{
        std::max(crop.llx, media.llx), std::max(crop.lly, media.lly), std::min(crop.urx, media.urx),
        std::min(crop.ury, media.ury)};
    if (shown.llx < shown.urx && shown.lly < shown.ury) geometry.box = shown;
  }
  QPDFObjectHandle rotate = page.getAttribute("/Rotate", false);
  if (rotate.isInteger()) {
    const long long stored = rotate.getIntValue();
    long long turned = ((stored % 360) + 360) % 360;
    if (turned % 90 != 0) turned = 0;
    geometry.rotate = static_cast<int>(turned);
    if (turned != stored) {
      page.getObjectHandle().replaceKey("/Rotate", QPDFObjectHandle::newInteger(turned));
    }
  }
  QPDFObjectHandle unit = page.getAttribute("/UserUnit", false);
  if (unit.isNumber()) {
    const double value = unit.getNumericValue();
    if (std::isfinite(value) && value > 0) geometry.userUnit = value;
  }
  return geometry.shownWidth() >= 1 && geometry.shownHeight() >= 1;
}

// Lays the footer form over the page, the page's own content wrapped in q/Q so that a
// graphics state it leaves behind cannot move or recolour the footer.
void Overlay(QPDF& pdf, QPDFPageObjectHelper& page, QPDFObjectHandle form,
             const QPDFObjectHandle::Rectangle& box) {
  QPDFObjectHandle resources = page.getAttribute("/Resources", true);
  if (!resources.isDictionary()) {
    resources = QPDFObjectHandle::newDictionary();
    page.getObjectHandle().replaceKey("/Resources", resources);
  }
  if (resources.hasKey("/XObject") && !resources.getKey("/XObject").isDictionary()) {
    resources.removeKey("/XObject");  // damaged: not a dictionary, so nothing can use it
  }
  // Also makes /XObject direct and not shared with other pages.
  resources.mergeResources(QPDFObjectHandle::parse("<< /XObject << >> >>"));
  int suffix = 1;
  const std::string name = resources.getUniqueResourceName("/Fx", suffix);
  resources.getKey("/XObject").replaceKey(name, form);
  const std::string placement =
      page.placeFormXObject(form, name, box, /*invert_transformations=*/true,
                            /*allow_shrink=*/true, /*allow_expand=*/true);
  page.addPageContents(QPDFObjectHandle::newStream(&pdf, "q\n"), true);
  page.addPageContents(QPDFObjectHandle::newStream(&pdf, "\nQ\n" + placement), false);
}

}  // namespace

std::string StampFooters(const std::string& path, std::string_view footerParameters,
                         int32_t firstPage, int32_t totalPages) {
  // Everything that can be checked before the file is touched comes first.
  const FooterSettings settings = ParseFooterSettings(footerParameters);
  const std::vector<TextRun> runs = ParseFooterMarkup(settings.text);
  CheckInputFile(path);
  // Rewrite the file a symbolic link points to, not the link.
  std::error_code error;
  const std::string target = std::filesystem::canonical(path, error).string();
  if (error) {
    throw PdfError(PDFMISC_E_FILE_NOT_FOUND,
                   "cannot open " + Quoted(path) + ": " + error.message());
  }
  struct stat info {};
  const mode_t mode = ::stat(target.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0644;

  std::unique_ptr<QPDF> pdf = OpenPdf(target);
  // The footer document must outlive the write: the footer forms take their content from it.
  QPDF footer;
  std::string note;
  try {
    QPDFPageDocumentHelper document(*pdf);
    std::vector<QPDFPageObjectHelper> pages = document.getAllPages();
    const int64_t count = static_cast<int64_t>(pages.size());
    if (count == 0) {
      throw PdfError(PDFMISC_E_INVALID_ARGUMENT, Quoted(path) + " has no pages to put a footer on");
    }
    if (firstPage < 1 || firstPage > count) {
      throw PdfError(PDFMISC_E_INVALID_ARGUMENT,
                     "first page " + std::to_string(firstPage) + " is not a page of " +
                         Quoted(path) + ", which has " + std::to_string(count) + " pages");
    }
    if (runs.empty()) {
      Log("the footer text is empty; " + Quoted(path) + " is left unchanged");
      return TakeRepairNote(*pdf, path);
    }
    AtomicFile out(target, mode, /*applyUmask=*/false);

    // Page p shows startnumber + (p - firstPage), plus the unstamped pages when they count.
    const int64_t total = totalPages > 0 ? totalPages : count;
    const int64_t offset = settings.includeContext ? firstPage - 1 : 0;
    const std::string lastNumber =
        std::to_string(settings.startNumber + offset + (total - firstPage));
    document.pushInheritedAttributesToPage();
    pages = document.getAllPages();

    FooterRenderer renderer(settings, runs, path);
    std::vector<std::pair<size_t, PageGeometry>> stamped;
    int64_t squeezed = 0;
    for (int64_t p = firstPage; p <= count; ++p) {
      PageGeometry geometry;
      if (!Measure(pages[static_cast<size_t>(p - 1)], geometry)) {
        Log("page " + std::to_string(p) + " of " + Quoted(path) +
            " has no usable size; no footer on it");
        continue;
      }
      const std::string number = std::to_string(settings.startNumber + offset + (p - firstPage));
      if (!renderer.AddPage(geometry.shownWidth(), geometry.shownHeight(), geometry.userUnit,
                            ReplacePageNumbers(runs, number, lastNumber))) {
        ++squeezed;
      }
      stamped.emplace_back(static_cast<size_t>(p - 1), geometry);
    }
    if (squeezed > 0) {
      Log("the footer box did not fit " + std::to_string(squeezed) + " pages of " + Quoted(path) +
          "; it was narrowed or moved up to stay on them");
    }
    const std::string footerPdf = renderer.Finish();

    footer.setSuppressWarnings(true);
    footer.processMemoryFile("footer", footerPdf.data(), footerPdf.size());
    std::vector<QPDFPageObjectHelper> footerPages = QPDFPageDocumentHelper(footer).getAllPages();
    if (footerPages.size() != stamped.size()) {
      throw PdfError(PDFMISC_E_FOOTER_LAYOUT, "the footer document has " +
                                                  std::to_string(footerPages.size()) +
                                                  " pages, not " + std::to_string(stamped.size()));
    }
    for (size_t i = 0; i < stamped.size(); ++i) {
      QPDFObjectHandle form = pdf->copyForeignObject(footerPages[i].getFormXObjectForPage());
      Overlay(*pdf, pages[stamped[i].first], form, stamped[i].second.box);
    }
    note = TakeRepairNote(*pdf, path);
    WritePdf(*pdf, out, nullptr, path);
  } catch (...) {
    RethrowAsPdfError(path, "read");
  }
  return note;
}

}  // namespace tovrik::pdfmisc
