#pragma once
// The PDF library libpdfmisc as the worker's wrappers call it: its four C functions behind a
// small interface, so that a test can put a fault-injecting fake in its place. The library
// owns every message it returns until it is handed back with FreePWChar. The default
// implementation calls the linked libpdfmisc.so and may be used from any thread; Install
// (through ScopedPdfMiscLibrary) is for tests, before other threads call the wrappers.

#include <cstdint>

namespace tovrik {

class PdfMiscLibrary {
 public:
  PdfMiscLibrary() = default;
  PdfMiscLibrary(const PdfMiscLibrary&) = delete;
  PdfMiscLibrary& operator=(const PdfMiscLibrary&) = delete;
  virtual ~PdfMiscLibrary() = default;

  virtual int32_t PageCount(const char* path, int32_t* pageCount, int32_t* errorCode,
                            char16_t** message) = 0;
  virtual int32_t Merge(const char* mergeList, const char* outputPath, int32_t* errorCode,
                        char16_t** message) = 0;
  virtual int32_t AddFooter(const char* path, const char16_t* footerParameters, int32_t firstPage,
                            int32_t totalPages, int32_t* errorCode, char16_t** message) = 0;
  virtual int32_t FreePWChar(char16_t* message) = 0;
};

// The linked libpdfmisc.so.
PdfMiscLibrary& LinkedPdfMiscLibrary();

// The library the wrappers call: the linked one unless a test installed another.
PdfMiscLibrary& CurrentPdfMiscLibrary();

// Forwards every call to another library; a fake overrides only what it changes.
class PdfMiscLibraryWrapper : public PdfMiscLibrary {
 public:
  explicit PdfMiscLibraryWrapper(PdfMiscLibrary& target) : target_(target) {}
  int32_t PageCount(const char* path, int32_t* pageCount, int32_t* errorCode,
                    char16_t** message) override {
    return target_.PageCount(path, pageCount, errorCode, message);
  }
  int32_t Merge(const char* mergeList, const char* outputPath, int32_t* errorCode,
                char16_t** message) override {
    return target_.Merge(mergeList, outputPath, errorCode, message);
  }
  int32_t AddFooter(const char* path, const char16_t* footerParameters, int32_t firstPage,
                    int32_t totalPages, int32_t* errorCode, char16_t** message) override {
    return target_.AddFooter(path, footerParameters, firstPage, totalPages, errorCode, message);
  }
  int32_t FreePWChar(char16_t* message) override { return target_.FreePWChar(message); }

 private:
  PdfMiscLibrary& target_;
};

// Makes `library` the current one for its lifetime, then restores the previous one.
class ScopedPdfMiscLibrary {
 public:
  explicit ScopedPdfMiscLibrary(PdfMiscLibrary& library);
  ~ScopedPdfMiscLibrary();
  ScopedPdfMiscLibrary(const ScopedPdfMiscLibrary&) = delete;
  ScopedPdfMiscLibrary& operator=(const ScopedPdfMiscLibrary&) = delete;

 private:
  PdfMiscLibrary* const previous_;
};

}  // namespace tovrik
