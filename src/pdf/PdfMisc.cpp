#include "pdf/PdfMisc.h"

#include <string_view>

#include "pdf/PdfMiscLibrary.h"
#include "platform/RaisedError.h"
#include "platform/TextEncoding.h"

namespace tovrik {
namespace {

constexpr const char* kSuccess = "Success";

// A library that reports a failure without an error code would leave status at 0, which the
// pipeline reads as success; such a failure gets the generic failure code instead.
void EnsureFailureCode(int32_t& status) {
  if (status == 0) status = kCallFailed;
}

}  // namespace

std::string stringFromPWChar(const char16_t* p) {
  if (p == nullptr) return "";
  return Utf16ToUtf8(std::u16string_view(p));
}

int32_t getNumberOfPages(const std::string& FileName, int32_t& status, std::string& StatusText) {
  status = 0;
  StatusText = kSuccess;
  int32_t pageCount = 0;
  int32_t errorCode = 0;
  char16_t* message = nullptr;
  PdfMiscLibrary& library = CurrentPdfMiscLibrary();
  if (library.PageCount(FileName.c_str(), &pageCount, &errorCode, &message) == 0) {
    status = errorCode;
    EnsureFailureCode(status);
    StatusText = stringFromPWChar(message);
  }
  if (message != nullptr) library.FreePWChar(message);
  return pageCount;
}

bool mergePDF(const std::string& fileList, const std::string& outFile, int32_t& status,
              std::string& StatusText) {
  char16_t* message = nullptr;
  PdfMiscLibrary& library = CurrentPdfMiscLibrary();
  bool merged = true;
  if (library.Merge(fileList.c_str(), outFile.c_str(), &status, &message) == 0) {
    EnsureFailureCode(status);
    StatusText = stringFromPWChar(message);
    merged = false;
  } else {
    status = 0;
    StatusText = kSuccess;
  }
  if (message != nullptr) library.FreePWChar(message);
  return merged;
}

bool addFooter(const std::string& FileName, const std::string& footerParameters, int32_t firstPage,
               int32_t totalPages, int32_t& status, std::string& StatusText) {
  const std::u16string parameters = Utf8ToUtf16(footerParameters);
  char16_t* message = nullptr;
  PdfMiscLibrary& library = CurrentPdfMiscLibrary();
  bool stamped = true;
  if (library.AddFooter(FileName.c_str(), parameters.c_str(), firstPage, totalPages, &status,
                        &message) == 0) {
    EnsureFailureCode(status);
    StatusText = stringFromPWChar(message);
    stamped = false;
  } else {
    status = 0;
    StatusText = kSuccess;
  }
  if (message != nullptr) library.FreePWChar(message);
  return stamped;
}

}  // namespace tovrik
