#include "pdfmisc/FooterSettings.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <pugixml.hpp>

#include "pdfmisc/PdfError.h"
#include "pdfmisc/pdfmisc.h"

namespace tovrik::pdfmisc {
namespace {

constexpr double kMaxMillimetres = 10000;

std::string Trim(std::string_view text) {
  const char* blanks = " \t\r\n";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return "";
  const size_t last = text.find_last_not_of(blanks);
  return std::string(text.substr(first, last - first + 1));
}

[[noreturn]] void BadNumber(const std::string& name, const std::string& value,
                            const std::string& expected) {
  throw PdfError(PDFMISC_E_FOOTER_PARAMETERS,
                 "footer parameter '" + name + "' is '" + value + "', which is not " + expected);
}

// A decimal number with '.' or ',' as the decimal separator, or nothing for empty text.
std::optional<double> Millimetres(const std::string& name, const std::string& raw,
                                  bool zeroAllowed) {
  std::string text = Trim(raw);
  if (text.empty()) return std::nullopt;
  for (char& c : text) {
    if (c == ',') c = '.';
  }
  const std::string expected = zeroAllowed ? "a number of millimetres from 0 to 10000"
                                           : "a number of millimetres above 0 and up to 10000";
  if (text.find_first_not_of("+-.0123456789") != std::string::npos) BadNumber(name, raw, expected);
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || *end != '\0' || errno != 0 || !std::isfinite(value) || value < 0 ||
      value > kMaxMillimetres || (!zeroAllowed && value <= 0)) {
    BadNumber(name, raw, expected);
  }
  return value;
}

int64_t WholeNumber(const std::string& name, const std::string& raw) {
  const std::string text = Trim(raw);
  if (text.empty()) return 1;
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  // Page numbers far beyond any document are refused so that the arithmetic stays in range.
  if (end == text.c_str() || *end != '\0' || errno != 0 || value < -1000000000LL ||
      value > 1000000000LL) {
    BadNumber(name, raw, "a whole number between -1000000000 and 1000000000");
  }
  return value;
}

}  // namespace

FooterSettings ParseFooterSettings(std::string_view record) {
  pugi::xml_document doc;
  const pugi::xml_parse_result parsed =
      doc.load_buffer(record.data(), record.size(), pugi::parse_default, pugi::encoding_utf8);
  if (!parsed || !doc.document_element()) {
    throw PdfError(PDFMISC_E_FOOTER_PARAMETERS,
                   std::string("the footer parameters are not a well-formed XML record: ") +
                       (parsed ? "no root element" : parsed.description()) + " at offset " +
                       std::to_string(parsed.offset));
  }
  FooterSettings settings;
  std::string left, top, width, start;
  const pugi::xml_node parameters = doc.document_element().child("parameters");
  for (pugi::xml_node parameter : parameters.children("parameter")) {
    const std::string name = parameter.attribute("name").value();
    const std::string value = parameter.text().get();
    if (name == "footertext") {
      settings.text = value;
    } else if (name == "htmlfont_normal") {
      settings.fontNormal = Trim(value);
    } else if (name == "htmlfont_bold") {
      settings.fontBold = Trim(value);
    } else if (name == "htmlfont_italic") {
      settings.fontItalic = Trim(value);
    } else if (name == "footerleft") {
      left = value;
    } else if (name == "footertop") {
      top = value;
    } else if (name == "footerwidth") {
      width = value;
    } else if (name == "startnumber") {
      start = value;
    } else if (name == "includecontextinnumbering") {
      settings.includeContext = Trim(value) == "1";
    }
    // createcontext and unknown names are accepted and ignored.
  }
  settings.leftMm = Millimetres("footerleft", left, true);
  settings.topMm = Millimetres("footertop", top, true);
  settings.widthMm = Millimetres("footerwidth", width, false);
  settings.startNumber = WholeNumber("startnumber", start);
  return settings;
}

}  // namespace tovrik::pdfmisc
