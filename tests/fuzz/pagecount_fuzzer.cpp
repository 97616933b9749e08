// libFuzzer target: any bytes, written to a file, through PDF_PageCount. It must return (a
// count or a failure with a code and a message) without crashing, hanging or leaking.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "pdfmisc/pdfmisc.h"

namespace {

const std::string& InputPath() {
  static const std::string path = [] {
    const char* folder = std::getenv("TMPDIR");
    return std::string(folder != nullptr ? folder : "/tmp") + "/pdfmisc-fuzz-" +
           std::to_string(::getpid()) + ".pdf";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ::setenv("PDFMISC_LOG", "0", 1);  // the repairs of every input would flood the output
  FILE* file = std::fopen(InputPath().c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  int32_t pages = -1, code = -1;
  char16_t* message = nullptr;
  const int32_t result = PDF_PageCount(InputPath().c_str(), &pages, &code, &message);
  if ((result == 0) != (code != 0) || (result == 0 && pages != 0)) std::abort();
  if (result == 0 && message == nullptr) std::abort();  // every failure says why
  if (message != nullptr && FreePWChar(message) != 1) std::abort();
  std::remove(InputPath().c_str());
  return 0;
}
