#include "printserver/PrintSettings.h"

#include <vector>

#include "platform/XmlDocument.h"

namespace tovrik::printserver {
namespace {

constexpr double kMm = 1.0 / 25.4;

}  // namespace

std::optional<PaperSize> PaperSizeOf(int32_t code) {
  switch (code) {
    case 1:
    case 2:
      return PaperSize{8.5, 11};  // Letter, Letter small
    case 3:
      return PaperSize{11, 17};  // Tabloid
    case 4:
      return PaperSize{17, 11};  // Ledger
    case 5:
      return PaperSize{8.5, 14};  // Legal
    case 6:
      return PaperSize{5.5, 8.5};  // Statement
    case 7:
      return PaperSize{7.25, 10.5};  // Executive
    case 8:
      return PaperSize{297 * kMm, 420 * kMm};  // A3
    case 9:
    case 10:
      return PaperSize{210 * kMm, 297 * kMm};  // A4, A4 small
    case 11:
      return PaperSize{148 * kMm, 210 * kMm};  // A5
    case 12:
      return PaperSize{250 * kMm, 354 * kMm};  // B4 (JIS)
    case 13:
      return PaperSize{182 * kMm, 257 * kMm};  // B5 (JIS)
    case 14:
      return PaperSize{8.5, 13};  // Folio
    case 15:
      return PaperSize{215 * kMm, 275 * kMm};  // Quarto
    case 16:
      return PaperSize{10, 14};
    case 17:
      return PaperSize{11, 17};
    case 18:
      return PaperSize{8.5, 11};  // Note
    default:
      return std::nullopt;
  }
}

std::string HeaderFooterTemplate(const std::string& codes, const std::string& date,
                                 const std::string& time, double fontSizePt) {
  if (codes.empty()) return {};
  std::vector<std::string> parts(1);
  std::string literal;
  auto flush = [&] {
    parts.back() += XmlEscape(literal);
    literal.clear();
  };
  for (size_t i = 0; i < codes.size(); ++i) {
    if (codes[i] != '&' || i + 1 == codes.size()) {
      literal += codes[i];
      continue;
    }
    char code = codes[++i];
    switch (code) {
      case '&':
        literal += '&';
        break;
      case 'p':
        flush();
        parts.back() += "<span class=\"pageNumber\"></span>";
        break;
      case 'P':
        flush();
        parts.back() += "<span class=\"totalPages\"></span>";
        break;
      case 'w':
        flush();
        parts.back() += "<span class=\"title\"></span>";
        break;
      case 'u':
        flush();
        parts.back() += "<span class=\"url\"></span>";
        break;
      case 'd':
      case 'D':
        literal += date;
        break;
      case 't':
      case 'T':
        literal += time;
        break;
      case 'b':
        flush();
        parts.emplace_back();
        break;
      default:  // an unknown code is kept as written
        literal += '&';
        literal += code;
    }
  }
  flush();
  // One part: left-aligned; two: left and right; three or more: left, centre, right (the
  // rest joins the right part).
  std::string left = parts[0], centre, right;
  if (parts.size() == 2) {
    right = parts[1];
  } else if (parts.size() >= 3) {
    centre = parts[1];
    for (size_t i = 2; i < parts.size(); ++i) right += parts[i];
  }
  char size[32];
  std::snprintf(size, sizeof size, "%.1fpt", fontSizePt);
  std::string cell = "<div style=\"flex:1;white-space:nowrap;overflow:hidden;text-align:";
  return "<div style=\"font-size:" + std::string(size) +
         ";font-family:sans-serif;width:100%;display:flex;margin:0 0.4in;"
         "-webkit-print-color-adjust:exact\">" +
         cell + "left\">" + left + "</div>" + cell + "center\">" + centre + "</div>" + cell +
         "right\">" + right + "</div></div>";
}

}  // namespace tovrik::printserver
