#pragma once
// Dates as the content store keeps them: local time, "YYYY-MM-DD HH:MM:SS", or the date
// alone ("YYYY-MM-DD") for midnight. Text of this form sorts in time order.

#include <cstdint>
#include <string>

namespace tovrik {

// True for "YYYY-MM-DD" or "YYYY-MM-DD HH:MM:SS" naming a real day and time.
bool IsStoreDate(const std::string& text);
// The local time now, in the full form.
std::string StoreDateNow();
// A time in milliseconds since the Unix epoch as local "YYYY-MM-DD HH:MM:SS"; "" for 0.
std::string LocalTimeText(int64_t ms);

}  // namespace tovrik
