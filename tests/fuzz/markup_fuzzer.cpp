// libFuzzer target: any bytes as footer markup, and as a footer parameters record. Parsing
// must end without crashing, and runs must never be empty.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "pdfmisc/FooterMarkup.h"
#include "pdfmisc/FooterSettings.h"
#include "pdfmisc/PdfError.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovrik::pdfmisc;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto runs = ReplacePageNumbers(ParseFooterMarkup(text), "12", "345");
  for (const TextRun& run : runs) {
    if (run.text.empty() || run.style.htmlSize < 1 || run.style.htmlSize > 7) std::abort();
  }
  try {
    const FooterSettings settings = ParseFooterSettings(text);
    ParseFooterMarkup(settings.text);
  } catch (const PdfError&) {
    // A record that does not parse is a failure with a message, which is all that is asked.
  }
  return 0;
}
