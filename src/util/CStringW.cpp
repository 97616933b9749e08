#include "util/CStringW.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "platform/RaisedError.h"
#include "util/UnicodeText.h"

namespace tovrik {
namespace {

constexpr int32_t kInitialCapacity = 51;
constexpr int32_t kMinimumIncrement = 50;
// A character-class walk counts in 16 bits: longer ranges overflow.
constexpr int64_t kLongestClassRange = 32768;

// A sum of 32-bit positions and lengths: raises 6 (overflow) when it leaves the 32-bit range.
int64_t Checked(int64_t value) {
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
    RaiseRuntimeError(kErrOverflow);
  }
  return value;
}

int64_t LengthOf(std::u16string_view s) { return Checked(static_cast<int64_t>(s.size())); }

[[noreturn]] void InvalidArgument() { RaiseRuntimeError(kErrInvalidArgument); }

// Append's rule: a piece that overruns capacity + increment sizes the buffer to the new length
// plus one increment in one step; otherwise the buffer grows one increment at a time until
// the capacity exceeds the length.
int32_t AppendCapacity(int64_t capacity, int64_t increment, int64_t newLength) {
  if (newLength > Checked(capacity + increment)) {
    capacity = Checked(Checked(newLength + increment) + 1);
  }
  while (capacity <= newLength) capacity = Checked(capacity + increment);
  return static_cast<int32_t>(capacity);
}

}  // namespace

CStringW::CStringW() = default;

int32_t CStringW::CapacityForAppend(int64_t newLength) const {
  return AppendCapacity(capacity_, increment_, newLength);
}

int32_t CStringW::GrownByIncrements(int64_t newLength) const {
  int64_t capacity = capacity_;
  if (capacity <= newLength) {
    int64_t steps = (newLength - capacity) / increment_ + 1;
    capacity = Checked(capacity + steps * increment_);
  }
  return static_cast<int32_t>(capacity);
}

void CStringW::ShrinkToFit() {
  capacity_ = std::max(length_, kMinimumIncrement) + 1;
  // The storage grows geometrically; hand memory back once it is far beyond what is reported.
  if (text_.capacity() > 2 * static_cast<size_t>(capacity_) + 256) text_.shrink_to_fit();
}

void CStringW::AppendGrowing(std::u16string_view bStr) {
  int64_t newLength = Checked(length_ + LengthOf(bStr));
  int32_t newCapacity = CapacityForAppend(newLength);
  text_.append(bStr);
  length_ = static_cast<int32_t>(newLength);
  capacity_ = newCapacity;
}

void CStringW::Insert(int32_t position, std::u16string_view sString) {
  int64_t p = Checked(int64_t{position} - 1);
  if (p < 0) InvalidArgument();
  if (sString.empty()) return;
  if (p >= length_) {
    Append(sString);
    return;
  }
  int64_t newLength = Checked(length_ + LengthOf(sString));
  int32_t newCapacity = GrownByIncrements(newLength);
  text_.insert(static_cast<size_t>(p), sString);
  length_ = static_cast<int32_t>(newLength);
  capacity_ = newCapacity;
}

void CStringW::Delete(int32_t start, int32_t Length) {
  int64_t p = Checked(int64_t{start} - 1);
  if (p < 0 || Length < 0) InvalidArgument();
  if (p >= length_) return;
  int64_t count = Length;
  if (count == 0 || Checked(p + count) >= length_) count = length_ - p;
  text_.erase(static_cast<size_t>(p), static_cast<size_t>(count));
  length_ = static_cast<int32_t>(length_ - count);
  ShrinkToFit();
}

void CStringW::TruncateBy(int32_t& Length) {
  if (Length < 0) InvalidArgument();
  if (Length == 0) return;
  int32_t count = std::min(Length, length_);
  text_.resize(static_cast<size_t>(length_ - count));
  length_ -= count;
  ShrinkToFit();
  Length = count;
}

void CStringW::MakeEmpty() {
  text_.clear();
  length_ = 0;
  ShrinkToFit();
}

void CStringW::FreeExtra() { ShrinkToFit(); }

std::u16string CStringW::Value() const { return text_; }

void CStringW::SetValue(std::u16string_view sNewString) {
  int32_t newCapacity = AppendCapacity(kInitialCapacity, increment_, LengthOf(sNewString));
  std::u16string replacement(sNewString);
  text_.swap(replacement);
  length_ = static_cast<int32_t>(text_.size());
  capacity_ = newCapacity;
}

void CStringW::SetBufferIncrement(int32_t NewVal) {
  increment_ = std::max(NewVal, kMinimumIncrement);
}

std::u16string CStringW::Mid(int32_t start, int32_t Length) const {
  int64_t p = Checked(int64_t{start} - 1);
  if (p < 0 || Length < 0) InvalidArgument();
  if (p >= length_) return std::u16string();
  if (Length != 0 && Checked(p + Length) <= length_) {
    return text_.substr(static_cast<size_t>(p), static_cast<size_t>(Length));
  }
  return text_.substr(static_cast<size_t>(p));
}

std::u16string CStringW::Left(int32_t Length) const { return Mid(1, Length); }

std::u16string CStringW::Right(int32_t Length) const {
  return Mid(static_cast<int32_t>(Checked(Checked(int64_t{length_} - Length) + 1)), 0);
}

bool CStringW::WindowMatches(size_t i, std::u16string_view find, bool isCaseSensitive) const {
  if (isCaseSensitive) return std::u16string_view(text_).substr(i, find.size()) == find;
  return unicode_text::EqualIgnoringCase(text_.data() + i, find.data(), find.size());
}

int32_t CStringW::InStr(int32_t start, std::u16string_view StringToFind,
                        bool isCaseSensitive) const {
  const int64_t n = static_cast<int64_t>(StringToFind.size());
  const int64_t p = Checked(int64_t{start} - 1);
  if (n == 0) return 0;
  if (p < 0 || p >= length_) InvalidArgument();
  if (n > length_ - p) return 0;
  if (isCaseSensitive) {
    size_t found = std::u16string_view(text_).find(StringToFind, static_cast<size_t>(p));
    return found == std::u16string_view::npos ? 0 : static_cast<int32_t>(found + 1);
  }
  for (int64_t i = p; i <= length_ - n; ++i) {
    if (WindowMatches(static_cast<size_t>(i), StringToFind, false)) {
      return static_cast<int32_t>(i + 1);
    }
  }
  return 0;
}

int32_t CStringW::InStrRev(std::u16string_view StringToFind, int32_t start,
                           bool isCaseSensitive) const {
  const int64_t n = static_cast<int64_t>(StringToFind.size());
  const int64_t from = start == -1 ? int64_t{length_} + 1 : int64_t{start};
  const int64_t p = Checked(from - 1);
  if (n == 0) return 0;
  if (p < 0 || p > length_) InvalidArgument();
  if (n > p) return 0;
  if (isCaseSensitive) {
    size_t found = std::u16string_view(text_).rfind(StringToFind, static_cast<size_t>(p - n));
    return found == std::u16string_view::npos ? 0 : static_cast<int32_t>(found + 1);
  }
  for (int64_t i = p - n; i >= 0; --i) {
    if (WindowMatches(static_cast<size_t>(i), StringToFind, false)) {
      return static_cast<int32_t>(i + 1);
    }
  }
  return 0;
}

// Each replacement is, in effect, Delete then Insert at the match, and the search goes on
// behind the inserted text. Since the text behind a match is never changed by it, all matches
// can be found in the original text first and the result built in one pass. The reported
// capacity is the one that the last Delete and Insert leave.
int32_t CStringW::Replace(std::u16string_view StringToReplace, std::u16string_view stringToInsert,
                          int32_t start, int32_t MaxReplace, bool isCaseSensitive) {
  if (start < 1) InvalidArgument();
  const int32_t first = InStr(start, StringToReplace, isCaseSensitive);
  if (first == 0 || MaxReplace == 0) return 0;

  const int64_t m = static_cast<int64_t>(StringToReplace.size());
  const int64_t k = LengthOf(stringToInsert);
  std::vector<int64_t> matches;  // 0-based positions in the original text
  int64_t match = first - 1;
  int64_t length = length_;  // length of the text as the replacements so far leave it
  for (;;) {
    matches.push_back(match);
    Checked(length - m + k);  // the Insert of this replacement
    length = length - m + k;
    if (MaxReplace > -1 && static_cast<int64_t>(matches.size()) >= MaxReplace) break;
    const int64_t next = match + m;  // where the search goes on, in the original text
    if (next >= length_ || m > length_ - next) break;
    match = -1;
    if (isCaseSensitive) {
      size_t found = std::u16string_view(text_).find(StringToReplace, static_cast<size_t>(next));
      if (found != std::u16string_view::npos) match = static_cast<int64_t>(found);
    } else {
      for (int64_t i = next; i <= length_ - m; ++i) {
        if (WindowMatches(static_cast<size_t>(i), StringToReplace, false)) {
          match = i;
          break;
        }
      }
    }
    if (match < 0) break;
  }

  // Capacity after the last replacement: Delete shrinks to fit, then Insert grows by
  // increments, or appends when the match ended the text.
  const int64_t afterDelete = length - k;
  const int64_t shrunk = std::max<int64_t>(afterDelete, kMinimumIncrement) + 1;
  int32_t newCapacity = static_cast<int32_t>(shrunk);
  if (k > 0) {
    if (matches.back() + m == length_) {
      newCapacity = AppendCapacity(shrunk, increment_, length);
    } else {
      const int64_t steps = shrunk <= length ? (length - shrunk) / increment_ + 1 : 0;
      newCapacity = static_cast<int32_t>(Checked(shrunk + steps * increment_));
    }
  }

  std::u16string result;
  result.reserve(static_cast<size_t>(length));
  size_t copied = 0;
  for (int64_t at : matches) {
    result.append(text_, copied, static_cast<size_t>(at) - copied);
    result.append(stringToInsert);
    copied = static_cast<size_t>(at + m);
  }
  result.append(text_, copied, std::u16string::npos);
  text_.swap(result);
  length_ = static_cast<int32_t>(length);
  capacity_ = newCapacity;
  if (text_.capacity() > 2 * static_cast<size_t>(capacity_) + 256) text_.shrink_to_fit();
  return static_cast<int32_t>(matches.size());
}

int32_t CStringW::ConvertCase(int32_t start, int32_t Length, bool upper) {
  const int64_t p = Checked(int64_t{start} - 1);
  if (p < 0 || Length < 0) InvalidArgument();
  if (p >= length_) return 0;
  int64_t end = length_;
  if (Length != 0 && Checked(p + Length) <= length_) end = p + Length;
  char16_t* window = text_.data() + p;
  const size_t n = static_cast<size_t>(end - p);
  if (upper) {
    unicode_text::ToUpperInPlace(window, n);
  } else {
    unicode_text::ToLowerInPlace(window, n);
  }
  return static_cast<int32_t>(n);
}

int32_t CStringW::MakeLower(int32_t start, int32_t Length) {
  return ConvertCase(start, Length, false);
}

int32_t CStringW::MakeUpper(int32_t start, int32_t Length) {
  return ConvertCase(start, Length, true);
}

bool CStringW::TestCharType(int32_t start, int32_t& Length, uint16_t mask) const {
  const int64_t p = Checked(int64_t{start} - 1);
  if (p < 0 || p >= length_) InvalidArgument();
  int64_t count = Length;
  if (Checked(p + count) >= length_) count = length_ - p;
  if (count <= 0) InvalidArgument();
  if (count > kLongestClassRange) RaiseRuntimeError(kErrOverflow);
  std::vector<uint16_t> flags(static_cast<size_t>(count));
  unicode_text::CharTypes(text_.data() + p, flags.size(), flags.data());
  Length = static_cast<int32_t>(count);
  return std::all_of(flags.begin(), flags.end(), [mask](uint16_t f) { return (f & mask) != 0; });
}

bool CStringW::IsDecimalDigit(int32_t start, int32_t& Length) const {
  return TestCharType(start, Length, unicode_text::kDigit);
}

bool CStringW::IsHexDigit(int32_t start, int32_t& Length) const {
  return TestCharType(start, Length, unicode_text::kHexDigit);
}

bool CStringW::IsLower(int32_t start, int32_t& Length) const {
  return TestCharType(start, Length, unicode_text::kLower);
}

bool CStringW::IsUpper(int32_t start, int32_t& Length) const {
  return TestCharType(start, Length, unicode_text::kUpper);
}

}  // namespace tovrik
