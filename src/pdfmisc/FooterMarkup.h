#pragma once
// The footer text's HTML-like markup read into runs of styled text (see footertext in
// pdfmisc.h for the tags and entities understood). Any input is accepted: what is not markup
// the parser knows is kept as text or dropped, never an error.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovrik::pdfmisc {

struct TextStyle {
  int htmlSize = 3;  // 1 to 7, as HTML's <font size>
  bool bold = false;
  bool italic = false;
  bool underline = false;
  std::string face;               // <font face>; empty: the family of the run's kind
  std::optional<uint32_t> color;  // 0xRRGGBB from <font color>; none: black

  bool operator==(const TextStyle& other) const {
    return htmlSize == other.htmlSize && bold == other.bold && italic == other.italic &&
           underline == other.underline && face == other.face && color == other.color;
  }
};

// Text in one style; "\n" in text is a line break.
struct TextRun {
  std::string text;
  TextStyle style;
};

// The point size of an HTML font size 1 to 7.
double PointSize(int htmlSize);

// Parses markup (UTF-8) into runs, whitespace collapsed as in HTML. Adjacent runs of one
// style are joined; empty runs are left out.
std::vector<TextRun> ParseFooterMarkup(std::string_view markup);

// The runs with every "$currentpage" and "$totalpages" replaced.
std::vector<TextRun> ReplacePageNumbers(const std::vector<TextRun>& runs,
                                        std::string_view currentPage, std::string_view totalPages);

}  // namespace tovrik::pdfmisc
