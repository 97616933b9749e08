#pragma once
// The work behind the four C functions. Each throws PdfError on failure and, on success,
// returns a note on what it repaired on the way ("" when nothing).

#include <cstdint>
#include <string>
#include <string_view>

namespace tovrik::pdfmisc {

// The number of pages of the PDF file at path.
int32_t CountPages(const std::string& path, std::string& note);

// Merges the files of mergeList ("?"-separated paths) into a new file at outputPath.
std::string MergeFiles(const std::string& mergeList, const std::string& outputPath);

// Stamps footers onto pages firstPage.. of the file at path, rewriting it in place.
// footerParameters is the parameters record as UTF-8 XML.
std::string StampFooters(const std::string& path, std::string_view footerParameters,
                         int32_t firstPage, int32_t totalPages);

}  // namespace tovrik::pdfmisc
