#pragma once
// UTF-8 <-> UTF-16 for the library's boundary. Both directions accept any input: an invalid
// sequence (a stray byte, an unpaired surrogate, an overlong form) becomes U+FFFD.

#include <string>
#include <string_view>

namespace tovrik::pdfmisc {

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace tovrik::pdfmisc
