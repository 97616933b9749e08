#include "util/UnicodeText.h"

#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <unicode/uloc.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <cstring>
#include <memory>

namespace tovrik::unicode_text {
namespace {

struct CollatorCloser {
  void operator()(UCollator* c) const { ucol_close(c); }
};

struct Collation {
  std::unique_ptr<UCollator, CollatorCloser> collator;
  bool asciiShortcut = false;
};

// The collator of the process locale at secondary strength. The POSIX locale's collation
// orders upper before lower case on the primary level (so it cannot ignore case); it and a
// locale ICU cannot load fall back to the root collation.
Collation OpenCollation() {
  Collation result;
  const char* locale = uloc_getDefault();
  if (locale == nullptr || std::strncmp(locale, "en_US_POSIX", 11) == 0 ||
      std::strcmp(locale, "c") == 0) {
    locale = "";
  }
  UErrorCode status = U_ZERO_ERROR;
  UCollator* collator = ucol_open(locale, &status);
  if (U_FAILURE(status)) {
    status = U_ZERO_ERROR;
    collator = ucol_open("", &status);
    if (U_FAILURE(status)) return result;
  }
  result.collator.reset(collator);
  ucol_setStrength(collator, UCOL_SECONDARY);
  int32_t rulesLength = 0;
  ucol_getRules(collator, &rulesLength);
  result.asciiShortcut = rulesLength == 0;
  return result;
}

const Collation& ProcessCollation() {
  static const Collation collation = OpenCollation();
  return collation;
}

bool IsPrintableAscii(char16_t c) { return c >= 0x20 && c <= 0x7E; }

char16_t AsciiFold(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

bool SegmentsEqual(const UCollator* collator, const char16_t* a, const char16_t* b, size_t n) {
  if (n == 0) return true;
  if (collator == nullptr) {
    // Without a collator, fall back to code point case folding.
    return u_strCaseCompare(reinterpret_cast<const UChar*>(a), static_cast<int32_t>(n),
                            reinterpret_cast<const UChar*>(b), static_cast<int32_t>(n),
                            U_FOLD_CASE_DEFAULT, nullptr) == 0;
  }
  return ucol_strcoll(collator, reinterpret_cast<const UChar*>(a), static_cast<int32_t>(n),
                      reinterpret_cast<const UChar*>(b), static_cast<int32_t>(n)) == UCOL_EQUAL;
}

template <class MapFn>
void MapInPlace(char16_t* text, size_t n, MapFn map) {
  size_t i = 0;
  while (i < n) {
    size_t start = i;
    UChar32 c;
    U16_NEXT(text, i, n, c);
    if (U_IS_SURROGATE(c)) continue;
    UChar32 mapped = map(c);
    if (mapped == c || U16_LENGTH(mapped) != static_cast<int32_t>(i - start)) continue;
    if (U16_LENGTH(mapped) == 1) {
      text[start] = static_cast<char16_t>(mapped);
    } else {
      text[start] = U16_LEAD(mapped);
      text[start + 1] = U16_TRAIL(mapped);
    }
  }
}

}  // namespace

bool EqualIgnoringCaseByCollator(const char16_t* a, const char16_t* b, size_t n) {
  const UCollator* collator = ProcessCollation().collator.get();
  size_t segment = 0;
  for (size_t i = 0; i < n; ++i) {
    if (a[i] == 0 || b[i] == 0) {
      if (a[i] != b[i]) return false;
      if (!SegmentsEqual(collator, a + segment, b + segment, i - segment)) return false;
      segment = i + 1;
    }
  }
  return SegmentsEqual(collator, a + segment, b + segment, n - segment);
}

bool EqualIgnoringCase(const char16_t* a, const char16_t* b, size_t n) {
  if (ProcessCollation().asciiShortcut) {
    bool equal = true;
    size_t i = 0;
    for (; i < n; ++i) {
      if (!IsPrintableAscii(a[i]) || !IsPrintableAscii(b[i])) break;
      if (equal && AsciiFold(a[i]) != AsciiFold(b[i])) equal = false;
    }
    if (i == n) return equal;
  }
  return EqualIgnoringCaseByCollator(a, b, n);
}

bool UsesAsciiShortcut() { return ProcessCollation().asciiShortcut; }

void ToLowerInPlace(char16_t* text, size_t n) { MapInPlace(text, n, u_tolower); }

void ToUpperInPlace(char16_t* text, size_t n) { MapInPlace(text, n, u_toupper); }

void CharTypes(const char16_t* text, size_t n, uint16_t* flags) {
  size_t i = 0;
  while (i < n) {
    size_t start = i;
    UChar32 c;
    U16_NEXT(text, i, n, c);
    uint16_t f = 0;
    if (!U_IS_SURROGATE(c)) {
      if (u_isupper(c)) f |= kUpper;
      if (u_islower(c)) f |= kLower;
      if (u_isdigit(c)) f |= kDigit;
      if (u_isxdigit(c)) f |= kHexDigit;
    }
    for (size_t k = start; k < i; ++k) flags[k] = f;
  }
}

}  // namespace tovrik::unicode_text
