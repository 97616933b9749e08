// The C boundary of libpdfmisc: argument checks, and every exception turned into an error
// code and a message (nothing escapes a function of this file).

#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <unordered_set>

#include "pdfmisc/Operations.h"
#include "pdfmisc/PdfError.h"
#include "pdfmisc/Utf.h"
#include "pdfmisc/pdfmisc.h"

namespace tovrik::pdfmisc {
namespace {

// The messages handed out and not yet freed, so that FreePWChar can refuse a pointer it did
// not hand out (or one freed already) instead of corrupting the heap.
std::mutex gMessagesMutex;
std::unordered_set<const char16_t*> gMessages;  // guarded by gMessagesMutex

char16_t* NewMessage(const std::string& text) noexcept {
  try {
    const std::u16string wide = Utf8ToUtf16(text);
    auto buffer = std::make_unique<char16_t[]>(wide.size() + 1);
    std::memcpy(buffer.get(), wide.data(), wide.size() * sizeof(char16_t));
    buffer[wide.size()] = u'\0';
    std::scoped_lock lock(gMessagesMutex);
    gMessages.insert(buffer.get());
    return buffer.release();
  } catch (...) {
    return nullptr;  // out of memory: the error code alone must do
  }
}

// Runs work() and reports its outcome through the out-parameters, which may be null.
// work returns the success note ("" for none) and throws on failure.
template <typename Work>
int32_t Trap(int32_t* errorCode, char16_t** message, Work&& work) noexcept {
  if (message != nullptr) *message = nullptr;
  int32_t code = 0;
  std::string text;
  try {
    text = work();
  } catch (const PdfError& e) {
    code = e.code();
    text = e.what();
  } catch (const std::bad_alloc&) {
    code = PDFMISC_E_OUT_OF_MEMORY;
    text = "out of memory";
  } catch (const std::exception& e) {
    code = PDFMISC_E_INTERNAL;
    text = std::string("internal error: ") + e.what();
  } catch (...) {
    code = PDFMISC_E_INTERNAL;
    text = "internal error: unknown exception";
  }
  if (errorCode != nullptr) *errorCode = code;
  if (message != nullptr && !text.empty()) *message = NewMessage(text);
  return code == 0 ? 1 : 0;
}

void Require(bool condition, const char* what) {
  if (!condition) throw PdfError(PDFMISC_E_INVALID_ARGUMENT, what);
}

}  // namespace
}  // namespace tovrik::pdfmisc

using namespace tovrik::pdfmisc;

extern "C" {

PDFMISC_API int32_t PDF_PageCount(const char* path, int32_t* pageCount, int32_t* errorCode,
                                  char16_t** message) {
  if (pageCount != nullptr) *pageCount = 0;
  return Trap(errorCode, message, [&]() -> std::string {
    Require(path != nullptr, "no file path given (null pointer)");
    Require(pageCount != nullptr, "no place for the page count given (null pointer)");
    Require(*path != '\0', "the file path is empty");
    std::string note;
    *pageCount = CountPages(path, note);
    return note;
  });
}

PDFMISC_API int32_t PDF_Merge(const char* mergeList, const char* outputPath, int32_t* errorCode,
                              char16_t** message) {
  return Trap(errorCode, message, [&]() -> std::string {
    Require(mergeList != nullptr, "no merge list given (null pointer)");
    Require(outputPath != nullptr, "no output path given (null pointer)");
    Require(*outputPath != '\0', "the output path is empty");
    return MergeFiles(mergeList, outputPath);
  });
}

PDFMISC_API int32_t PDF_AddFooter(const char* path, const char16_t* footerParameters,
                                  int32_t firstPage, int32_t totalPages, int32_t* errorCode,
                                  char16_t** message) {
  return Trap(errorCode, message, [&]() -> std::string {
    Require(path != nullptr, "no file path given (null pointer)");
    Require(footerParameters != nullptr, "no footer parameters given (null pointer)");
    Require(*path != '\0', "the file path is empty");
    const std::string parameters = Utf16ToUtf8(std::u16string_view(
        footerParameters, std::char_traits<char16_t>::length(footerParameters)));
    return StampFooters(path, parameters, firstPage, totalPages);
  });
}

PDFMISC_API int32_t FreePWChar(char16_t* message) {
  if (message == nullptr) return 0;
  {
    std::scoped_lock lock(gMessagesMutex);
    if (gMessages.erase(message) == 0) return 0;
  }
  std::unique_ptr<char16_t[]> release(message);
  return 1;
}

}  // extern "C"
