#include "contentserver/StoreDate.h"

#include <cctype>
#include <ctime>

namespace tovrik {
namespace {

bool Digits(const std::string& s, size_t at, size_t n, int& value) {
  value = 0;
  for (size_t i = at; i < at + n; ++i) {
    if (i >= s.size() || !std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    value = value * 10 + (s[i] - '0');
  }
  return true;
}

}  // namespace

bool IsStoreDate(const std::string& text) {
  if (text.size() != 10 && text.size() != 19) return false;
  int y, mo, d;
  if (!Digits(text, 0, 4, y) || text[4] != '-' || !Digits(text, 5, 2, mo) || text[7] != '-' ||
      !Digits(text, 8, 2, d)) {
    return false;
  }
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (mo < 1 || mo > 12 || d < 1 || d > kDays[mo - 1]) return false;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (mo == 2 && d == 29 && !leap) return false;
  if (text.size() == 10) return true;
  int h, mi, se;
  return text[10] == ' ' && Digits(text, 11, 2, h) && text[13] == ':' && Digits(text, 14, 2, mi) &&
         text[16] == ':' && Digits(text, 17, 2, se) && h < 24 && mi < 60 && se < 60;
}

std::string LocalTimeText(int64_t ms) {
  if (ms == 0) return "";
  std::time_t t = static_cast<std::time_t>(ms / 1000);
  std::tm local{};
  localtime_r(&t, &local);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
  return buf;
}

std::string StoreDateNow() {
  std::time_t t = std::time(nullptr);
  return LocalTimeText(static_cast<int64_t>(t) * 1000);
}

}  // namespace tovrik
