#include "pdf/PdfMiscLibrary.h"

#include <atomic>

#include "pdfmisc/pdfmisc.h"

namespace tovrik {
namespace {

class LinkedLibrary : public PdfMiscLibrary {
 public:
  int32_t PageCount(const char* path, int32_t* pageCount, int32_t* errorCode,
                    char16_t** message) override {
    return PDF_PageCount(path, pageCount, errorCode, message);
  }
  int32_t Merge(const char* mergeList, const char* outputPath, int32_t* errorCode,
                char16_t** message) override {
    return PDF_Merge(mergeList, outputPath, errorCode, message);
  }
  int32_t AddFooter(const char* path, const char16_t* footerParameters, int32_t firstPage,
                    int32_t totalPages, int32_t* errorCode, char16_t** message) override {
    return PDF_AddFooter(path, footerParameters, firstPage, totalPages, errorCode, message);
  }
  int32_t FreePWChar(char16_t* message) override { return ::FreePWChar(message); }
};

std::atomic<PdfMiscLibrary*> gInstalled{nullptr};

}  // namespace

PdfMiscLibrary& LinkedPdfMiscLibrary() {
  static LinkedLibrary library;
  return library;
}

PdfMiscLibrary& CurrentPdfMiscLibrary() {
  PdfMiscLibrary* installed = gInstalled.load();
  return installed != nullptr ? *installed : LinkedPdfMiscLibrary();
}

ScopedPdfMiscLibrary::ScopedPdfMiscLibrary(PdfMiscLibrary& library)
    : previous_(gInstalled.exchange(&library)) {}

ScopedPdfMiscLibrary::~ScopedPdfMiscLibrary() { gInstalled.store(previous_); }

}  // namespace tovrik
