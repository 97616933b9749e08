#pragma once
// UTF-8 <-> UTF-16 for the library's boundary. Both directions accept any input: an invalid
// sequence (a stray byte, an unpaired surrogate, an overlong form) becomes U+FFFD.

#include "platform/TextEncoding.h"

namespace tovrik::pdfmisc {

using tovrik::AppendUtf8;
using tovrik::Utf16ToUtf8;
using tovrik::Utf8ToUtf16;

}  // namespace tovrik::pdfmisc
