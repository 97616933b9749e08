#pragma once
// CStringW: a growable buffer of UTF-16 code units in which long texts are built piece by piece.
//
// Positions are 1-based and lengths count UTF-16 code units (a surrogate pair counts as two).
// Arguments out of range raise RaisedError 5 and a 32-bit sum that leaves its range raises 6,
// always before the text changes; std::bad_alloc also leaves the text as it was.
//
// Capacity: BufferSize() reports the capacity of the buffer's growth rules: 51 at creation,
// growth by BufferIncrement() (50 at least), Append's one-step jump for a long piece, shrink to
// fit (never below 51) on Delete, TruncateBy and FreeExtra. The reported capacity is kept as a
// number of its own: the real storage grows geometrically so that building a long text stays
// linear in time, and gives memory back when it is far larger than the reported capacity.
//
// Optional arguments: an omitted `start` of Replace, MakeLower and MakeUpper is 1; an omitted
// isCaseSensitive is false (the comparison ignores case).
//
// Case-insensitive comparison uses ICU's collator for the process locale at secondary strength
// (letter case ignored, accents significant); a NUL inside the text or the searched text does
// not end a comparison early. Case mapping is ICU's simple mapping, one code point to one, so it
// never changes the length. Character classes are ICU's, by code point.
//
// An instance is used by one thread at a time.

#include <cstdint>
#include <string>
#include <string_view>

namespace tovrik {

class CStringW {
 public:
  CStringW();

  // Adds bStr at the end.
  void Append(std::u16string_view bStr) {
    // A piece that fits below the reported capacity changes nothing but the text.
    if (bStr.size() < static_cast<size_t>(capacity_ - length_)) {
      text_.append(bStr);
      length_ += static_cast<int32_t>(bStr.size());
      return;
    }
    AppendGrowing(bStr);
  }
  // Inserts sString so that it starts at `position` (1-based); a position beyond the end
  // appends. Raises 5 when position < 1.
  void Insert(int32_t position, std::u16string_view sString);
  // Removes Length code units from `start`; Length 0 (or reaching past the end) removes the
  // rest. A start beyond the end changes nothing. Raises 5 for start < 1 or Length < 0.
  void Delete(int32_t start, int32_t Length = 0);
  // Removes Length code units from the end; a Length above the text's length is cut to it and
  // written back to the caller's variable. Raises 5 for Length < 0.
  void TruncateBy(int32_t& Length);
  void TruncateBy(int32_t&& Length) { TruncateBy(Length); }
  // Empties the buffer and returns it to capacity 51; the increment stays.
  void MakeEmpty();
  // Shrinks the capacity to max(Size(), 50) + 1.
  void FreeExtra();

  std::u16string Value() const;
  // MakeEmpty, then Append.
  void SetValue(std::u16string_view sNewString);
  int32_t Size() const { return length_; }
  int32_t BufferSize() const { return capacity_; }
  int32_t BufferIncrement() const { return increment_; }
  // Values below 50 store 50.
  void SetBufferIncrement(int32_t NewVal);
  bool IsEmpty() const { return length_ == 0; }

  // Length code units from `start`; Length 0, or reaching past the end, gives the rest; a start
  // beyond the end gives "". Raises 5 for start < 1 or Length < 0.
  std::u16string Mid(int32_t start, int32_t Length = 0) const;
  // Mid(1, Length): Left(0) is the whole text.
  std::u16string Left(int32_t Length) const;
  // Mid(Size() - Length + 1): Right(0) is "", a Length above Size() raises 5.
  std::u16string Right(int32_t Length) const;

  // Position of the first occurrence that begins at or after `start`, 0 when none or when
  // StringToFind is empty. Raises 5 unless 1 <= start <= Size().
  int32_t InStr(int32_t start, std::u16string_view StringToFind,
                bool isCaseSensitive = false) const;
  // Position of the last occurrence lying wholly within the first start - 1 code units
  // (start -1: the whole text), 0 when none. Raises 5 unless 1 <= start <= Size() + 1.
  int32_t InStrRev(std::u16string_view StringToFind, int32_t start = -1,
                   bool isCaseSensitive = false) const;
  // Replaces occurrences from `start` on, at most MaxReplace of them (negative: no limit); the
  // search goes on behind each inserted text. Returns the count. Raises 5 for start < 1, and as
  // InStr for a start beyond the end. Either every replacement is made or none.
  int32_t Replace(std::u16string_view StringToReplace, std::u16string_view stringToInsert,
                  int32_t start = 1, int32_t MaxReplace = -1, bool isCaseSensitive = false);
  // Convert Length code units from `start` (Length 0, or reaching past the end: to the end) in
  // place; return the count converted, 0 for a start beyond the end. Raises 5 for start < 1 or
  // Length < 0.
  int32_t MakeLower(int32_t start = 1, int32_t Length = 0);
  int32_t MakeUpper(int32_t start = 1, int32_t Length = 0);

  // True when every code unit of the range is of the class. A range reaching past the end is
  // cut and the cut Length written back. Raises 5 unless 1 <= start <= Size() or when Length
  // is not positive, 6 when the range is longer than 32,768 code units.
  bool IsDecimalDigit(int32_t start, int32_t& Length) const;
  bool IsHexDigit(int32_t start, int32_t& Length) const;
  bool IsLower(int32_t start, int32_t& Length) const;
  bool IsUpper(int32_t start, int32_t& Length) const;
  bool IsDecimalDigit(int32_t start, int32_t&& Length) const {
    return IsDecimalDigit(start, Length);
  }
  bool IsHexDigit(int32_t start, int32_t&& Length) const { return IsHexDigit(start, Length); }
  bool IsLower(int32_t start, int32_t&& Length) const { return IsLower(start, Length); }
  bool IsUpper(int32_t start, int32_t&& Length) const { return IsUpper(start, Length); }

 private:
  // Append of a piece that reaches the reported capacity: applies the growth rule.
  void AppendGrowing(std::u16string_view bStr);
  // Sets the reported capacity to max(length, 50) + 1 and releases storage far beyond it.
  void ShrinkToFit();
  // The reported capacity after growing one increment at a time until it exceeds newLength.
  int32_t GrownByIncrements(int64_t newLength) const;
  // The reported capacity Append's rule gives for a text of newLength.
  int32_t CapacityForAppend(int64_t newLength) const;
  // Whether the n code units at 0-based index i match `find`.
  bool WindowMatches(size_t i, std::u16string_view find, bool isCaseSensitive) const;
  int32_t ConvertCase(int32_t start, int32_t Length, bool upper);
  bool TestCharType(int32_t start, int32_t& Length, uint16_t mask) const;

  std::u16string text_;  // exactly the text; its own capacity is the real storage
  int32_t length_ = 0;
  int32_t capacity_ = 51;
  int32_t increment_ = 50;
};

}  // namespace tovrik
