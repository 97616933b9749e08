#pragma once
// How the renderer settings of a print job map onto Chromium's printing: Windows paper codes
// to paper sizes, and the classic browser header/footer codes to header/footer templates.

#include <cstdint>
#include <optional>
#include <string>

namespace tovrik::printserver {

struct PaperSize {
  double width;  // inches, portrait
  double height;
};

// The paper of a Windows DMPAPER code (1 Letter, 5 Legal, 8 A3, 9 A4, 11 A5, 13 B5 and the
// other common ones); nothing for a code we do not know.
std::optional<PaperSize> PaperSizeOf(int32_t code);

// Turns header/footer codes into a Chromium template: &p page number, &P page count, &w page
// title, &u page URL, &d date, &t time (given as text, taken when the job prints), &b splits
// left | centre | right (one &b: left | right), && a literal &. Other text is kept, escaped as
// HTML. `fontSizePt` is the text size. Empty codes give an empty template.
std::string HeaderFooterTemplate(const std::string& codes, const std::string& date,
                                 const std::string& time, double fontSizePt);

}  // namespace tovrik::printserver
