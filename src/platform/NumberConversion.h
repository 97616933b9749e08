#pragma once
// Decimal text to integer, as the job options and renderer settings read their numbers:
// blanks around the number are allowed, an optional sign, digits with an optional fraction
// and exponent ("2.5", " -3 ", "1e3"); a fraction rounds to the nearest integer, a half to the
// even neighbour. Text that is empty or not such a number raises 13 (type mismatch); a value
// outside the target's range raises 6 (overflow).

#include <cstdint>
#include <optional>
#include <string_view>

namespace tovrik {

// The number the text reads as, rounded half to even; nullopt when it is not a number.
// Values beyond the range of double are not numbers either.
std::optional<double> ParseDecimal(std::string_view text);

int32_t ToInt32(std::string_view text);  // raises 13 or 6
int16_t ToInt16(std::string_view text);  // raises 13 or 6

// Rounds half to even and checks the range; raises 6 when out of range.
int32_t RoundToInt32(double value);
int16_t RoundToInt16(double value);

}  // namespace tovrik
