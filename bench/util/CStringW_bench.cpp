// CStringW against std::u16string doing the same work: building a list from short pieces,
// searching a 1 MB text and replacing in it. Each figure is the median of several runs, in
// milliseconds; the ratio is CStringW's time over std::u16string's.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "util/CStringW.h"

namespace {

using tovrik::CStringW;

// Keeps results observable so that no work is optimised away.
volatile size_t g_sink = 0;

double MedianMs(int runs, const std::function<void()>& work) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    auto start = std::chrono::steady_clock::now();
    work();
    times.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

void Row(const std::string& name, double ours, double reference, const char* goal) {
  std::printf("%-44s %12.3f %14.3f %8.2fx   %s\n", name.c_str(), ours, reference,
              ours / reference, goal);
}

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "util_bench: results differ: %s\n", what);
    std::exit(1);
  }
}

// A text of about `units` code units: words and commas, with `needle` every `every` words.
std::u16string MakeText(size_t units, const std::u16string& needle, size_t every) {
  std::u16string text;
  text.reserve(units + 64);
  for (size_t word = 0; text.size() < units; ++word) {
    text += (word % every == every - 1) ? needle : u"lorem";
    text += u", ";
  }
  return text;
}

// The straightforward loop: find, replace in place, search on behind the inserted text.
size_t ReplaceAll(std::u16string& s, const std::u16string& from, const std::u16string& to) {
  size_t count = 0;
  for (size_t at = s.find(from); at != std::u16string::npos; at = s.find(from, at + to.size())) {
    s.replace(at, from.size(), to);
    ++count;
  }
  return count;
}

}  // namespace

int main() {
  std::printf("%-44s %12s %14s %9s   %s\n", "operation", "CStringW ms", "u16string ms", "ratio",
              "goal");

  for (int pieces : {1000, 10000, 100000, 1000000}) {
    const int runs = pieces >= 1000000 ? 7 : 15;
    std::vector<std::u16string> parts;
    for (int i = 0; i < 16; ++i) parts.push_back(u"K" + std::u16string(size_t(i % 7 + 1), u'7') + u",");
    size_t ourSize = 0, refSize = 0;
    double ours = MedianMs(runs, [&] {
      CStringW b;
      for (int i = 0; i < pieces; ++i) b.Append(parts[size_t(i) & 15]);
      int32_t one = 1;
      b.TruncateBy(one);
      ourSize = size_t(b.Size());
      g_sink = g_sink + size_t(b.BufferSize());
    });
    double reference = MedianMs(runs, [&] {
      std::u16string s;
      for (int i = 0; i < pieces; ++i) s += parts[size_t(i) & 15];
      s.pop_back();
      refSize = s.size();
      g_sink = g_sink + s.capacity();
    });
    Check(ourSize == refSize, "Append");
    Row("Append " + std::to_string(pieces) + " short pieces", ours, reference, "<= 1.5x");
  }

  const std::u16string needle = u"Needle";
  const std::u16string text = MakeText(1 << 20, u"lorem", 1000) + needle;
  CStringW big;
  big.SetValue(text);
  {
    int32_t ourPos = 0;
    size_t refPos = 0;
    double ours = MedianMs(9, [&] { ourPos = big.InStr(1, needle, true); });
    double reference = MedianMs(9, [&] { refPos = text.find(needle); });
    Check(size_t(ourPos) == refPos + 1, "InStr");
    Row("InStr, case-sensitive, 1 MB, match at end", ours, reference, "-");
    double insensitive = MedianMs(5, [&] { ourPos = big.InStr(1, u"NEEDLE", false); });
    double folded = MedianMs(5, [&] {
      auto it = std::search(text.begin(), text.end(), needle.begin(), needle.end(),
                            [](char16_t a, char16_t b) {
                              auto fold = [](char16_t c) {
                                return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
                              };
                              return fold(a) == fold(b);
                            });
      refPos = size_t(it - text.begin());
    });
    Check(size_t(ourPos) == refPos + 1, "InStr ignoring case");
    Row("InStr, ignoring case, 1 MB (ref: ASCII fold)", insensitive, folded, "-");
    const std::u16string accented = MakeText(1 << 20, u"lorem", 1000) + u"Nädel";
    CStringW accentedBig;
    accentedBig.SetValue(accented);
    double collated = MedianMs(3, [&] { ourPos = accentedBig.InStr(1, u"NÄDEL", false); });
    Check(size_t(ourPos) == accented.size() - 4, "InStr non-ASCII");
    Row("InStr, ignoring case, non-ASCII needle, 1 MB", collated, folded, "-");
  }

  for (size_t every : {1000, 100, 10}) {
    const std::u16string source = MakeText(1 << 20, u"<id>", every);
    size_t ourCount = 0, refCount = 0;
    std::u16string ourResult, refResult;
    const int runs = every <= 10 ? 1 : 5;
    double ours = MedianMs(runs, [&] {
      CStringW b;
      b.SetValue(source);
      ourCount = size_t(b.Replace(u"<id>", u"12345", 1, -1, true));
      ourResult = b.Value();
    });
    double reference = MedianMs(runs, [&] {
      std::u16string s = source;
      refCount = ReplaceAll(s, u"<id>", u"12345");
      refResult = std::move(s);
    });
    Check(ourCount == refCount && ourResult == refResult, "Replace");
    Row("Replace, 1 MB, " + std::to_string(refCount) + " matches", ours, reference, "<= 1x");
  }
  return 0;
}
