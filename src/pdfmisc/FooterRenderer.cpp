#include "pdfmisc/FooterRenderer.h"

#include <cairo-pdf.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <set>

#include "pdfmisc/PdfError.h"
#include "pdfmisc/pdfmisc.h"

namespace tovrik::pdfmisc {
namespace {

constexpr double kPointsPerMm = 72.0 / 25.4;
constexpr const char* kDefaultFamily = "Sans";
constexpr double kDefaultLeftMm = 15;
constexpr double kDefaultRightMarginMm = 15;
constexpr double kDefaultBottomDistanceMm = 20;
constexpr double kMinimumBottomMarginMm = 5;
constexpr double kMinimumWidthMm = 10;

struct CairoSurfaceDeleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct CairoDeleter {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};
struct GObjectDeleter {
  void operator()(void* o) const { g_object_unref(o); }
};
struct AttrListDeleter {
  void operator()(PangoAttrList* a) const { pango_attr_list_unref(a); }
};
struct FontDescriptionDeleter {
  void operator()(PangoFontDescription* d) const { pango_font_description_free(d); }
};

cairo_status_t AppendToString(void* closure, const unsigned char* data, unsigned int length) {
  try {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
  } catch (...) {
    return CAIRO_STATUS_NO_MEMORY;
  }
}

[[noreturn]] void LayoutFailed(cairo_status_t status) {
  if (status == CAIRO_STATUS_NO_MEMORY) {
    throw PdfError(PDFMISC_E_OUT_OF_MEMORY, "out of memory while drawing the footer");
  }
  throw PdfError(PDFMISC_E_FOOTER_LAYOUT,
                 std::string("cannot draw the footer: ") + cairo_status_to_string(status));
}

void Insert(PangoAttrList* list, PangoAttribute* attribute, size_t start, size_t end) {
  attribute->start_index = static_cast<guint>(start);
  attribute->end_index = static_cast<guint>(end);
  pango_attr_list_insert(list, attribute);
}

std::string FirstFamily(const std::string& families) {
  std::string first = families.substr(0, families.find(','));
  const size_t end = first.find_last_not_of(" \t");
  return end == std::string::npos ? "" : first.substr(0, end + 1);
}

}  // namespace

struct FooterRenderer::Impl {
  std::string pdf;  // the document's bytes; Cairo appends to it until finished
  std::unique_ptr<cairo_surface_t, CairoSurfaceDeleter> surface;
  std::unique_ptr<cairo_t, CairoDeleter> cr;
  std::unique_ptr<PangoLayout, GObjectDeleter> layout;
  FooterSettings settings;
  std::string normalFamily, boldFamily, italicFamily;

  std::string FamilyOf(const TextStyle& style) const {
    if (!style.face.empty()) return style.face;
    if (style.bold) return boldFamily;
    if (style.italic) return italicFamily;
    return normalFamily;
  }

  // Logs each requested family that fontconfig does not have and what it takes instead.
  void ReportFallbacks(const std::vector<TextRun>& runs, const std::string& file) {
    std::set<std::string> requested;
    for (const std::string& family :
         {settings.fontNormal, settings.fontBold, settings.fontItalic}) {
      if (!family.empty()) requested.insert(family);
    }
    for (const TextRun& run : runs) {
      if (!run.style.face.empty()) requested.insert(run.style.face);
    }
    PangoContext* context = pango_layout_get_context(layout.get());
    for (const std::string& family : requested) {
      std::unique_ptr<PangoFontDescription, FontDescriptionDeleter> wanted(
          pango_font_description_new());
      pango_font_description_set_family(wanted.get(), family.c_str());
      std::unique_ptr<PangoFont, GObjectDeleter> font(
          pango_context_load_font(context, wanted.get()));
      if (!font) {
        Log("no font at all for family '" + family + "' in " + Quoted(file));
        continue;
      }
      std::unique_ptr<PangoFontDescription, FontDescriptionDeleter> got(
          pango_font_describe(font.get()));
      const char* actual = pango_font_description_get_family(got.get());
      const std::string wantedFirst = FirstFamily(family);
      if (actual == nullptr || g_ascii_strcasecmp(actual, wantedFirst.c_str()) != 0) {
        Log("font family '" + wantedFirst + "' is not installed; fontconfig uses '" +
            (actual ? actual : "?") + "' instead, for the footers of " + Quoted(file));
      }
    }
  }

  void SetText(const std::vector<TextRun>& runs) {
    std::string text;
    std::unique_ptr<PangoAttrList, AttrListDeleter> attributes(pango_attr_list_new());
    for (const TextRun& run : runs) {
      const size_t start = text.size();
      text += run.text;
      const size_t end = text.size();
      const TextStyle& style = run.style;
      Insert(attributes.get(), pango_attr_family_new(FamilyOf(style).c_str()), start, end);
      Insert(attributes.get(),
             pango_attr_size_new(static_cast<int>(PointSize(style.htmlSize) * PANGO_SCALE)), start,
             end);
      if (style.bold)
        Insert(attributes.get(), pango_attr_weight_new(PANGO_WEIGHT_BOLD), start, end);
      if (style.italic)
        Insert(attributes.get(), pango_attr_style_new(PANGO_STYLE_ITALIC), start, end);
      if (style.underline) {
        Insert(attributes.get(), pango_attr_underline_new(PANGO_UNDERLINE_SINGLE), start, end);
      }
      if (style.color) {
        const uint32_t rgb = *style.color;
        Insert(attributes.get(),
               pango_attr_foreground_new(static_cast<guint16>(((rgb >> 16) & 0xFF) * 257),
                                         static_cast<guint16>(((rgb >> 8) & 0xFF) * 257),
                                         static_cast<guint16>((rgb & 0xFF) * 257)),
               start, end);
      }
    }
    pango_layout_set_text(layout.get(), text.data(), static_cast<int>(text.size()));
    pango_layout_set_attributes(layout.get(), attributes.get());
  }
};

FooterRenderer::FooterRenderer(const FooterSettings& settings, const std::vector<TextRun>& runs,
                               const std::string& file)
    : impl_(std::make_unique<Impl>()) {
  Impl& m = *impl_;
  m.settings = settings;
  m.normalFamily = settings.fontNormal.empty() ? kDefaultFamily : settings.fontNormal;
  m.boldFamily = settings.fontBold.empty() ? m.normalFamily : settings.fontBold;
  m.italicFamily = settings.fontItalic.empty() ? m.normalFamily : settings.fontItalic;

  m.surface.reset(cairo_pdf_surface_create_for_stream(AppendToString, &m.pdf, 595, 842));
  if (cairo_surface_status(m.surface.get()) != CAIRO_STATUS_SUCCESS) {
    LayoutFailed(cairo_surface_status(m.surface.get()));
  }
  m.cr.reset(cairo_create(m.surface.get()));
  if (cairo_status(m.cr.get()) != CAIRO_STATUS_SUCCESS) LayoutFailed(cairo_status(m.cr.get()));
  m.layout.reset(pango_cairo_create_layout(m.cr.get()));
  PangoContext* context = pango_layout_get_context(m.layout.get());
  // One Cairo unit is one point, so fonts are sized at 72 units per inch; exact metrics, no
  // hinting, as the text is for print.
  pango_cairo_context_set_resolution(context, 72);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  pango_cairo_context_set_font_options(context, options);
  cairo_font_options_destroy(options);
  pango_layout_context_changed(m.layout.get());
  pango_layout_set_wrap(m.layout.get(), PANGO_WRAP_WORD_CHAR);
  m.ReportFallbacks(runs, file);
}

FooterRenderer::~FooterRenderer() = default;

bool FooterRenderer::AddPage(double width, double height, double userUnit,
                             const std::vector<TextRun>& runs) {
  Impl& m = *impl_;
  cairo_t* cr = m.cr.get();
  cairo_pdf_surface_set_size(m.surface.get(), width, height);
  // Lay out in points; the page is in units of userUnit points.
  const double pageWidth = width * userUnit;
  const double pageHeight = height * userUnit;
  bool fits = true;

  double left = m.settings.leftMm.value_or(kDefaultLeftMm) * kPointsPerMm;
  double boxWidth = m.settings.widthMm ? *m.settings.widthMm * kPointsPerMm
                                       : pageWidth - left - kDefaultRightMarginMm * kPointsPerMm;
  const double minimumWidth = std::min(kMinimumWidthMm * kPointsPerMm, pageWidth);
  if (left > pageWidth - minimumWidth) {
    left = std::max(0.0, pageWidth - minimumWidth);
    fits = false;
  }
  if (boxWidth > pageWidth - left) {
    boxWidth = pageWidth - left;
    fits = !m.settings.widthMm.has_value() && fits;
  }
  boxWidth = std::max(boxWidth, minimumWidth);
  pango_layout_set_width(m.layout.get(), static_cast<int>(boxWidth * PANGO_SCALE));
  m.SetText(runs);

  int layoutWidth = 0;
  int layoutHeight = 0;
  pango_layout_get_size(m.layout.get(), &layoutWidth, &layoutHeight);
  const double textHeight = static_cast<double>(layoutHeight) / PANGO_SCALE;
  double top = m.settings.topMm ? *m.settings.topMm * kPointsPerMm
                                : pageHeight - kDefaultBottomDistanceMm * kPointsPerMm;
  const double lowest = pageHeight - textHeight - kMinimumBottomMarginMm * kPointsPerMm;
  if (top > lowest) {
    top = std::max(0.0, lowest);
    fits = fits && !m.settings.topMm.has_value();
  }

  cairo_save(cr);
  cairo_scale(cr, 1 / userUnit, 1 / userUnit);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_move_to(cr, left, top);
  pango_cairo_show_layout(cr, m.layout.get());
  cairo_restore(cr);
  cairo_show_page(cr);
  if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) LayoutFailed(cairo_status(cr));
  return fits;
}

std::string FooterRenderer::Finish() {
  Impl& m = *impl_;
  m.layout.reset();
  m.cr.reset();
  cairo_surface_finish(m.surface.get());
  const cairo_status_t status = cairo_surface_status(m.surface.get());
  m.surface.reset();
  if (status != CAIRO_STATUS_SUCCESS) LayoutFailed(status);
  return std::move(m.pdf);
}

}  // namespace tovrik::pdfmisc
