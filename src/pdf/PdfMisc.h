#pragma once
// The worker's wrappers of libpdfmisc: page count, merge and footers, each reporting through
// the caller's status pair (status 0 and "Success", or the library's error code and message),
// never by raising. Every message the library returns is freed exactly once, after it is
// copied; the message of a successful call is not used. See pdfmisc/pdfmisc.h for the codes.

#include <cstdint>
#include <string>

#include "pdf/FooterParameters.h"
#include "pdf/cPDF_File_Information.h"

namespace tovrik {

// The page count of FileName, as the library left it (also after a failure, when it is 0).
// Sets status to 0 and StatusText to "Success" first; on failure, to the library's code and
// message.
int32_t getNumberOfPages(const std::string& FileName, int32_t& status, std::string& StatusText);

// Merges the "?"-joined fileList into outFile. status is handed to the library as its error
// code and is not reset before the call. True on success (status 0, "Success"); false with
// the library's code and message (empty when it gave none) on failure.
bool mergePDF(const std::string& fileList, const std::string& outFile, int32_t& status,
              std::string& StatusText);

// Stamps footers onto FileName from page firstPage, rewriting it in place; footerParameters
// is the record of getFooterParameters (UTF-8 here, UTF-16 for the library). Reports like
// mergePDF.
bool addFooter(const std::string& FileName, const std::string& footerParameters, int32_t firstPage,
               int32_t totalPages, int32_t& status, std::string& StatusText);

// The UTF-16 text at p, up to its terminating zero, as UTF-8; "" for null. Never frees p.
std::string stringFromPWChar(const char16_t* p);

}  // namespace tovrik
