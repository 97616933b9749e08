#pragma once
// The job's footer options (the XML of its footerxml field) turned into the footer parameters
// record that libpdfmisc's PDF_AddFooter takes.

#include <cstdint>
#include <string>

namespace tovrik {

// Reads footerOptions: useFooter is true only when its root's "usefooter" child holds exactly
// "1"; startFromPage is its "startfrompage" child as a number (1 when missing, not a number or
// below 1). Returns the parameters record, each of its ten parameters holding the text of the
// option of the same name, or "<root />" when footers are off. Raises nothing: a failure
// (options that do not parse, no root element, a start page beyond 32 bits) sets status and
// StatusText to its number and description and returns what the record held at that moment.
std::string getFooterParameters(const std::string& footerOptions, bool& useFooter,
                                int32_t& startFromPage, int32_t& status, std::string& StatusText);

}  // namespace tovrik
