#pragma once
// A value of one of the kinds that cross component boundaries: empty, null, 16- and 32-bit
// integers, Boolean, double, string (UTF-8), an array of bytes, or a recordset. Conversions
// follow the runtime's rules: a text that is not a number raises 13 (type mismatch), a number
// outside the target's range raises 6 (overflow); null, bytes and recordsets do not convert
// to numbers or text (13).

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace tovrik {

class Recordset;

struct NullValue {
  bool operator==(const NullValue&) const = default;
};

class Variant {
 public:
  using Bytes = std::vector<uint8_t>;
  using Value = std::variant<std::monostate, NullValue, int16_t, int32_t, bool, double, std::string,
                             Bytes, std::shared_ptr<Recordset>>;

  Variant() = default;
  Variant(NullValue v) : value_(v) {}
  Variant(int16_t v) : value_(v) {}
  Variant(int32_t v) : value_(v) {}
  Variant(bool v) : value_(v) {}
  Variant(double v) : value_(v) {}
  Variant(std::string v) : value_(std::move(v)) {}
  Variant(const char* v) : value_(std::string(v)) {}
  Variant(Bytes v) : value_(std::move(v)) {}
  Variant(std::shared_ptr<Recordset> v) : value_(std::move(v)) {}

  static Variant Null() { return Variant(NullValue{}); }

  bool IsEmpty() const { return std::holds_alternative<std::monostate>(value_); }
  bool IsNull() const { return std::holds_alternative<NullValue>(value_); }
  bool IsString() const { return std::holds_alternative<std::string>(value_); }
  bool IsBytes() const { return std::holds_alternative<Bytes>(value_); }
  bool IsRecordset() const { return std::holds_alternative<std::shared_ptr<Recordset>>(value_); }
  bool IsNumeric() const;  // int16, int32, bool or double

  // Empty gives 0; numbers round half to even; strings are parsed as decimal numbers.
  // Null, bytes and recordsets raise 13; out of range raises 6.
  int32_t ToInt32() const;
  int16_t ToInt16() const;
  double ToDouble() const;
  bool ToBool() const;
  // Empty gives ""; numbers in decimal; Booleans "True"/"False". Null, bytes and recordsets
  // raise 13.
  std::string ToString() const;
  // Raises 13 unless the value holds bytes.
  const Bytes& AsBytes() const;
  // Raises 13 unless the value holds a recordset (a null recordset pointer raises 91).
  std::shared_ptr<Recordset> AsRecordset() const;

  const Value& value() const { return value_; }
  bool operator==(const Variant& other) const = default;

 private:
  Value value_;
};

// Rows of named fields, read forwards: the shape of the document lists that the content store
// hands out. Eof() is true once MoveNext() has passed the last row (or at once when empty).
class Recordset {
 public:
  virtual ~Recordset() = default;
  virtual bool Eof() const = 0;
  // The named field of the current row (names compared without case); raises 3021 at end
  // of file and 3265 when the field does not exist, the recordset errors' own numbers.
  virtual Variant Field(const std::string& name) const = 0;
  virtual void MoveNext() = 0;
};

// A recordset held in memory, filled by the content store or a test.
class MemoryRecordset : public Recordset {
 public:
  using Row = std::vector<std::pair<std::string, Variant>>;

  explicit MemoryRecordset(std::vector<Row> rows) : rows_(std::move(rows)) {}

  bool Eof() const override { return current_ >= rows_.size(); }
  Variant Field(const std::string& name) const override;
  void MoveNext() override;
  size_t RowCount() const { return rows_.size(); }

 private:
  std::vector<Row> rows_;
  size_t current_ = 0;
};

}  // namespace tovrik
