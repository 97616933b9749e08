#pragma once
// Locale-aware operations on UTF-16 text, backed by ICU: case-insensitive equality of two
// equally long runs, in-place simple case mapping, and per-code-unit character classes.
// Every function may be called from any thread.

#include <cstddef>
#include <cstdint>

namespace tovrik::unicode_text {

// Class flags, one word per code unit (the values of the classic CT_CTYPE1 set).
inline constexpr uint16_t kUpper = 0x0001;
inline constexpr uint16_t kLower = 0x0002;
inline constexpr uint16_t kDigit = 0x0004;
inline constexpr uint16_t kHexDigit = 0x0080;

// True when the n code units at a and b are equal under the process locale's collation at
// secondary strength (case ignored, accents kept). NUL code units are significant: they must
// stand at the same offsets in both runs, and the text between them is compared piece by piece.
bool EqualIgnoringCase(const char16_t* a, const char16_t* b, size_t n);

// Map the n code units at text in place, code point by code point, with the simple (one to
// one) mappings; a code point whose mapping would need a different number of code units, and
// an unpaired surrogate, stay as they are. The length never changes.
void ToLowerInPlace(char16_t* text, size_t n);
void ToUpperInPlace(char16_t* text, size_t n);

// Fills flags[0..n) with the class flags of each code unit of text; both units of a surrogate
// pair receive the flags of their code point, an unpaired surrogate gets 0.
void CharTypes(const char16_t* text, size_t n, uint16_t* flags);

// Whether EqualIgnoringCase uses its printable-ASCII shortcut (the locale's collation has no
// tailoring, so ASCII letters differ from each other only by case). For tests.
bool UsesAsciiShortcut();

// The same comparison without the shortcut, for tests.
bool EqualIgnoringCaseByCollator(const char16_t* a, const char16_t* b, size_t n);

}  // namespace tovrik::unicode_text
