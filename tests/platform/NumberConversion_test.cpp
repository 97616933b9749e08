#include "platform/NumberConversion.h"

#include <gtest/gtest.h>

#include "platform/RaisedError.h"

namespace tovrik {
namespace {

// The number the conversion gives, or the error number it raises.
template <class F>
int64_t Outcome(F convert, const std::string& text) {
  try {
    return convert(text);
  } catch (const RaisedError& e) {
    return 1000000000000LL + e.number();
  }
}
constexpr int64_t kMismatch = 1000000000000LL + 13;
constexpr int64_t kOverflow = 1000000000000LL + 6;

TEST(NumberConversionTest, ThirtyTwoBitTable) {
  const std::pair<const char*, int64_t> cases[] = {
      {"42", 42},
      {" 42 ", 42},
      {"\t-7\n", -7},
      {"+3", 3},
      {"2.5", 2},
      {"3.5", 4},
      {"-2.5", -2},
      {"0.5", 0},
      {"1.4999", 1},
      {"1e3", 1000},
      {".5", 0},
      {"5.", 5},
      {"2147483647", 2147483647LL},
      {"-2147483648", -2147483648LL},
      {"2147483647.5", kOverflow},
      {"2147483648", kOverflow},
      {"-2147483649", kOverflow},
      {"1e400", kOverflow},
      {"", kMismatch},
      {"   ", kMismatch},
      {"abc", kMismatch},
      {"12abc", kMismatch},
      {"1 2", kMismatch},
      {"0x10", kMismatch},
      {"-", kMismatch},
      {"e5", kMismatch},
      {"nan", kMismatch},
      {"inf", kMismatch},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(Outcome([](const std::string& s) { return ToInt32(s); }, text), expected)
        << "'" << text << "'";
  }
}

TEST(NumberConversionTest, SixteenBitTable) {
  const std::pair<const char*, int64_t> cases[] = {
      {"1", 1},
      {"-1", -1},
      {"32767", 32767},
      {"-32768", -32768},
      {"32768", kOverflow},
      {"70000", kOverflow},
      {"32767.5", kOverflow},
      {"-32768.5", -32768},
      {"", kMismatch},
      {"yes", kMismatch},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(Outcome([](const std::string& s) { return ToInt16(s); }, text), expected)
        << "'" << text << "'";
  }
}

}  // namespace
}  // namespace tovrik
