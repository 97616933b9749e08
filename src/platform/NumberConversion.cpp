#include "platform/NumberConversion.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "platform/RaisedError.h"

namespace tovrik {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Checks the shape [sign] digits [. digits] [e [sign] digits], with at least one digit.
bool IsDecimalShape(std::string_view s) {
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  size_t digits = 0;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    size_t exp = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++exp;
    if (exp == 0) return false;
  }
  return i == s.size();
}

template <typename T>
T RoundChecked(double value) {
  double r = std::nearbyint(value);  // default rounding mode: half to even
  if (std::isnan(r) || r < static_cast<double>(std::numeric_limits<T>::min()) ||
      r > static_cast<double>(std::numeric_limits<T>::max())) {
    RaiseRuntimeError(kErrOverflow);
  }
  return static_cast<T>(r);
}

}  // namespace

std::optional<double> ParseDecimal(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  if (!IsDecimalShape(text)) return std::nullopt;
  std::string copy(text);
  errno = 0;
  char* end = nullptr;
  double v = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size()) return std::nullopt;
  // A number too large for a double reads as infinite and overflows every target.
  return v;
}

int32_t RoundToInt32(double value) { return RoundChecked<int32_t>(value); }
int16_t RoundToInt16(double value) { return RoundChecked<int16_t>(value); }

int32_t ToInt32(std::string_view text) {
  auto v = ParseDecimal(text);
  if (!v) RaiseRuntimeError(kErrTypeMismatch);
  return RoundToInt32(*v);
}

int16_t ToInt16(std::string_view text) {
  auto v = ParseDecimal(text);
  if (!v) RaiseRuntimeError(kErrTypeMismatch);
  return RoundToInt16(*v);
}

}  // namespace tovrik
