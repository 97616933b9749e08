#include "util/CStringW.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/RaisedError.h"
#include "util/UnicodeText.h"

namespace tovrik {
namespace {

std::string Utf8(std::u16string_view s) {
  std::string out;
  for (char16_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

CStringW Text(std::u16string_view s) {
  CStringW b;
  b.SetValue(s);
  return b;
}

// The number of the RaisedError that fn throws, or 0 when it throws none.
int32_t ErrorOf(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const RaisedError& e) {
    return e.number();
  }
  return 0;
}

// An operation that raises must leave text and capacity as they were.
void ExpectRaisesUnchanged(CStringW& b, int32_t number, const std::function<void()>& fn) {
  const std::u16string before = b.Value();
  const int32_t capacity = b.BufferSize();
  EXPECT_EQ(ErrorOf(fn), number);
  EXPECT_EQ(b.Value(), before);
  EXPECT_EQ(b.BufferSize(), capacity);
}

TEST(CStringWTest, NewBufferAndIncrement) {
  CStringW b;
  EXPECT_EQ(b.Size(), 0);
  EXPECT_EQ(b.BufferSize(), 51);
  EXPECT_EQ(b.BufferIncrement(), 50);
  EXPECT_TRUE(b.IsEmpty());
  EXPECT_EQ(b.Value(), u"");
  b.SetBufferIncrement(10);
  EXPECT_EQ(b.BufferIncrement(), 50);
  b.SetBufferIncrement(70);
  EXPECT_EQ(b.BufferIncrement(), 70);
}

TEST(CStringWTest, CapacityFollowsGrowthAndShrinkRules) {
  struct Case {
    const char* what;
    std::function<void(CStringW&)> steps;
    int32_t size;
    int32_t capacity;
  };
  auto fill = [](CStringW& b, int n) { b.Append(std::u16string(static_cast<size_t>(n), u'x')); };
  const Case cases[] = {
      {"append 50", [&](CStringW& b) { fill(b, 50); }, 50, 51},
      {"append 51", [&](CStringW& b) { fill(b, 51); }, 51, 101},
      {"append 101: two increments", [&](CStringW& b) { fill(b, 101); }, 101, 151},
      {"append 102: one jump", [&](CStringW& b) { fill(b, 102); }, 102, 153},
      {"append 200: one jump", [&](CStringW& b) { fill(b, 200); }, 200, 251},
      {"51 single appends",
       [&](CStringW& b) {
         for (int i = 0; i < 51; ++i) fill(b, 1);
       },
       51, 101},
      {"1000 single appends",
       [&](CStringW& b) {
         for (int i = 0; i < 1000; ++i) fill(b, 1);
       },
       1000, 1001},
      {"increment 70",
       [&](CStringW& b) {
         b.SetBufferIncrement(70);
         fill(b, 60);
       },
       60, 121},
      {"insert grows by increments, no jump",
       [&](CStringW& b) {
         fill(b, 1);
         b.Insert(1, std::u16string(200, u'y'));
       },
       201, 251},
      {"insert of 250 before one",
       [&](CStringW& b) {
         fill(b, 1);
         b.Insert(1, std::u16string(250, u'y'));
       },
       251, 301},
      {"delete to 20 of 1000",
       [&](CStringW& b) {
         fill(b, 999);
         b.Delete(21);
       },
       20, 51},
      {"delete to 400 of 1000",
       [&](CStringW& b) {
         fill(b, 999);
         b.Delete(1, 599);
       },
       400, 401},
      {"truncate to 400",
       [&](CStringW& b) {
         fill(b, 999);
         int32_t n = 599;
         b.TruncateBy(n);
       },
       400, 401},
      {"delete beyond end keeps capacity",
       [&](CStringW& b) {
         fill(b, 999);
         b.Delete(1000, 1);
       },
       999, 1050},
      {"free extra of 10",
       [&](CStringW& b) {
         fill(b, 200);
         b.Delete(11);
         fill(b, 100);
         b.Delete(11);
         b.FreeExtra();
       },
       10, 51},
      {"free extra of 300",
       [&](CStringW& b) {
         fill(b, 300);
         b.FreeExtra();
       },
       300, 301},
      {"make empty", [&](CStringW& b) { fill(b, 5000), b.MakeEmpty(); }, 0, 51},
      {"short value after 5000",
       [&](CStringW& b) {
         fill(b, 4949);
         b.SetValue(u"short");
       },
       5, 51},
      {"value of 200", [&](CStringW& b) { b.SetValue(std::u16string(200, u'v')); }, 200, 251},
  };
  for (const Case& c : cases) {
    CStringW b;
    c.steps(b);
    EXPECT_EQ(b.Size(), c.size) << c.what;
    EXPECT_EQ(b.BufferSize(), c.capacity) << c.what;
    EXPECT_EQ(b.Value().size(), static_cast<size_t>(c.size)) << c.what;
  }
}

TEST(CStringWTest, InsertDeleteTruncate) {
  CStringW b = Text(u"cd");
  b.Insert(1, u"ab");
  EXPECT_EQ(b.Value(), u"abcd");
  b.Insert(3, u"-");
  EXPECT_EQ(b.Value(), u"ab-cd");
  b.Insert(99, u"!");
  EXPECT_EQ(b.Value(), u"ab-cd!");
  b.Insert(2, u"");
  EXPECT_EQ(b.Value(), u"ab-cd!");
  ExpectRaisesUnchanged(b, 5, [&] { b.Insert(0, u"x"); });
  ExpectRaisesUnchanged(b, 5, [&] { b.Insert(0, u""); });

  struct DeleteCase {
    int32_t start, length;
    const char16_t* result;
  };
  for (const DeleteCase& c :
       {DeleteCase{2, 2, u"adef"}, DeleteCase{3, 0, u"ab"}, DeleteCase{10, 1, u"abcdef"},
        DeleteCase{6, 5, u"abcde"}, DeleteCase{1, 6, u""}, DeleteCase{7, 0, u"abcdef"}}) {
    CStringW d = Text(u"abcdef");
    d.Delete(c.start, c.length);
    EXPECT_EQ(d.Value(), c.result) << c.start << "," << c.length;
  }
  CStringW d = Text(u"abcdef");
  ExpectRaisesUnchanged(d, 5, [&] { d.Delete(0, 1); });
  ExpectRaisesUnchanged(d, 5, [&] { d.Delete(1, -1); });
  ExpectRaisesUnchanged(d, 6, [&] { d.Delete(2, INT32_MAX); });

  CStringW t = Text(u"1,2,3,");
  int32_t one = 1;
  t.TruncateBy(one);
  EXPECT_EQ(t.Value(), u"1,2,3");
  t.TruncateBy(0);
  EXPECT_EQ(t.Value(), u"1,2,3");
  ExpectRaisesUnchanged(t, 5, [&] { t.TruncateBy(-1); });
  CStringW u = Text(u"abc");
  int32_t ten = 10;
  u.TruncateBy(ten);
  EXPECT_EQ(ten, 3);
  EXPECT_TRUE(u.IsEmpty());
}

TEST(CStringWTest, MidLeftRight) {
  CStringW b = Text(u"abcdef");
  struct Case {
    std::function<std::u16string()> call;
    const char16_t* result;
  };
  const Case cases[] = {
      {[&] { return b.Mid(2, 3); }, u"bcd"},   {[&] { return b.Mid(4); }, u"def"},
      {[&] { return b.Mid(4, 100); }, u"def"}, {[&] { return b.Mid(7); }, u""},
      {[&] { return b.Mid(6, 1); }, u"f"},     {[&] { return b.Left(0); }, u"abcdef"},
      {[&] { return b.Left(2); }, u"ab"},      {[&] { return b.Left(9); }, u"abcdef"},
      {[&] { return b.Right(0); }, u""},       {[&] { return b.Right(2); }, u"ef"},
      {[&] { return b.Right(6); }, u"abcdef"}, {[&] { return b.Right(-3); }, u""},
  };
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].call(), cases[i].result) << i;
  EXPECT_EQ(ErrorOf([&] { b.Mid(0); }), 5);
  EXPECT_EQ(ErrorOf([&] { b.Mid(1, -1); }), 5);
  EXPECT_EQ(ErrorOf([&] { b.Right(7); }), 5);
  EXPECT_EQ(ErrorOf([&] { b.Left(-1); }), 5);
  EXPECT_EQ(ErrorOf([&] { b.Mid(INT32_MIN); }), 6);
  EXPECT_EQ(CStringW().Left(3), u"");
  EXPECT_EQ(CStringW().Right(0), u"");
}

TEST(CStringWTest, SurrogatePairsCountAsTwoAndNulIsText) {
  CStringW b = Text(u"a\U0001F600b");
  EXPECT_EQ(b.Size(), 4);
  EXPECT_EQ(b.Mid(2, 2), u"\U0001F600");
  EXPECT_EQ(b.InStr(1, u"b", true), 4);
  CStringW n;
  n.Append(std::u16string_view(u"x\0y", 3));
  EXPECT_EQ(n.Size(), 3);
  EXPECT_EQ(n.Right(1), u"y");
}

TEST(CStringWTest, SearchForwardsAndBackwards) {
  CStringW b = Text(u"abcabc");
  struct Case {
    std::function<int32_t()> call;
    int32_t result;
  };
  const Case cases[] = {
      {[&] { return b.InStr(1, u"bc"); }, 2},
      {[&] { return b.InStr(3, u"bc"); }, 5},
      {[&] { return b.InStr(6, u"c"); }, 6},
      {[&] { return b.InStr(5, u"abc"); }, 0},
      {[&] { return b.InStr(1, u""); }, 0},
      {[&] { return b.InStr(99, u""); }, 0},
      {[&] { return b.InStr(1, u"BC", false); }, 2},
      {[&] { return b.InStr(1, u"BC", true); }, 0},
      {[&] { return b.InStrRev(u"bc"); }, 5},
      {[&] { return b.InStrRev(u"bc", 6); }, 2},
      {[&] { return b.InStrRev(u"bc", 7); }, 5},
      {[&] { return b.InStrRev(u"bc", 1); }, 0},
      {[&] { return b.InStrRev(u"BC", -1, true); }, 0},
      {[&] { return b.InStrRev(u"CA", -1, false); }, 3},
      {[&] { return b.InStrRev(u"abcabcx"); }, 0},
      {[&] { return Text(u"abc").InStr(1, u"ab", true); }, 1},
      {[&] { return Text(u"abc").InStr(1, u"ab", false); }, 1},
      {[&] { return Text(u"aab").InStr(1, u"ab", true); }, 2},
      {[&] { return Text(u"aab").InStr(1, u"AB", false); }, 2},
      {[&] { return Text(u"xabc").InStrRev(u"X", 2, false); }, 1},
      {[&] { return CStringW().InStr(1, u""); }, 0},
      {[&] { return CStringW().InStrRev(u"a"); }, 0},
  };
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].call(), cases[i].result) << i;
  EXPECT_EQ(ErrorOf([&] { b.InStr(7, u"c"); }), 5);
  EXPECT_EQ(ErrorOf([&] { b.InStr(0, u"c"); }), 5);
  EXPECT_EQ(ErrorOf([&] { b.InStrRev(u"bc", 8); }), 5);
  EXPECT_EQ(ErrorOf([&] { b.InStrRev(u"bc", 0); }), 5);
  EXPECT_EQ(ErrorOf([&] { b.InStrRev(u"bc", -2); }), 5);
  EXPECT_EQ(ErrorOf([] { CStringW().InStr(1, u"a"); }), 5);
}

TEST(CStringWTest, CaseInsensitiveSearchIsLocaleAware) {
  // Case differences in and beyond ASCII are ignored; accents, NULs and lengths are not.
  struct Case {
    std::u16string_view text, find;
    int32_t result;
  };
  const Case cases[] = {
      {u"Ölkännchen", u"KÄNN", 3},
      {u"ÅÄÖ", u"åäö", 1},
      {u"resume résumé", u"RÉSUMÉ", 8},
      {u"cafe", u"CAFÉ", 0},
      {u"STRASSE straße", u"STRASSE", 1},
      {u"straße", u"STRASSE", 0},
      {std::u16string_view(u"a\0b a\0B", 7), std::u16string_view(u"A\0b", 3), 1},
      {std::u16string_view(u"a\0bab", 5), u"ab", 4},
      {std::u16string_view(u"ab\0x", 4), std::u16string_view(u"ab\0y", 4), 0},
      {u"x\U00010428y", u"\U00010400", 2},  // Deseret, a pair each
  };
  for (const Case& c : cases) {
    CStringW b = Text(c.text);
    EXPECT_EQ(b.InStr(1, c.find), c.result) << b.Size();
  }
}

TEST(CStringWTest, AsciiShortcutAgreesWithCollator) {
  // The printable-ASCII shortcut must give the collator's answer for every pair of characters.
  if (!unicode_text::UsesAsciiShortcut()) GTEST_SKIP() << "locale collation is tailored";
  for (char16_t a = 0x20; a <= 0x7E; ++a) {
    for (char16_t b = 0x20; b <= 0x7E; ++b) {
      const char16_t x[2] = {u'q', a}, y[2] = {u'Q', b};
      ASSERT_EQ(unicode_text::EqualIgnoringCase(x, y, 2),
                unicode_text::EqualIgnoringCaseByCollator(x, y, 2))
          << int(a) << " " << int(b);
    }
  }
}

TEST(CStringWTest, Replace) {
  struct Case {
    const char16_t* text;
    const char16_t* find;
    const char16_t* insert;
    int32_t start, max;
    bool caseSensitive;
    int32_t count;
    const char16_t* result;
  };
  const Case cases[] = {
      {u"a,b,c,", u",", u";", 1, -1, false, 3, u"a;b;c;"},
      {u"aaa", u"a", u"aa", 1, -1, false, 3, u"aaaaaa"},
      {u"aaaa", u"a", u"", 1, -1, false, 4, u""},
      {u"xax", u"x", u"y", 1, 0, false, 0, u"xax"},
      {u"xax", u"x", u"y", 1, 1, false, 1, u"yax"},
      {u"xax", u"x", u"y", 1, -5, false, 2, u"yay"},
      {u"xax", u"x", u"y", 2, -1, false, 1, u"xay"},
      {u"XaX", u"x", u"y", 1, -1, true, 0, u"XaX"},
      {u"XaX", u"x", u"y", 1, -1, false, 2, u"yay"},
      {u"abab", u"aba", u"X", 1, -1, true, 1, u"Xb"},
      {u"aaaa", u"aa", u"b", 1, -1, true, 2, u"bb"},
      {u"abc", u"", u"x", 1, -1, true, 0, u"abc"},
      {u"Grüße GRÜSSE grüße", u"GRÜßE", u"Hallo", 1, -1, false, 2, u"Hallo GRÜSSE Hallo"},
  };
  for (const Case& c : cases) {
    CStringW b = Text(c.text);
    EXPECT_EQ(b.Replace(c.find, c.insert, c.start, c.max, c.caseSensitive), c.count)
        << Utf8(c.text);
    EXPECT_EQ(b.Value(), c.result) << Utf8(c.text);
    EXPECT_EQ(b.Size(), static_cast<int32_t>(b.Value().size()));
  }
  CStringW b = Text(u"abc");
  ExpectRaisesUnchanged(b, 5, [&] { b.Replace(u"a", u"b", 0); });
  ExpectRaisesUnchanged(b, 5, [&] { b.Replace(u"a", u"b", 4); });
  CStringW empty;
  EXPECT_EQ(ErrorOf([&] { empty.Replace(u"a", u"b"); }), 5);
  EXPECT_EQ(empty.Replace(u"", u"b"), 0);
}

// Replace must leave the capacity that the same Delete and Insert steps leave.
TEST(CStringWTest, ReplaceCapacityMatchesDeleteAndInsert) {
  struct Case {
    std::u16string text, find, insert;
  };
  const std::u16string longText = std::u16string(300, u'.') + u"x" + std::u16string(300, u'.');
  const Case cases[] = {
      {u"x.x.", u"x", u"yyy"},
      {u"..x", u"x", std::u16string(120, u'y')},
      {longText, u"x", u"y"},
      {longText, u".", u""},
      {longText + u"x", u"x", std::u16string(80, u'z')},
      {longText, u"x", std::u16string(500, u'z')},
  };
  for (const Case& c : cases) {
    CStringW fast = Text(c.text), slow = Text(c.text);
    const int32_t count = fast.Replace(c.find, c.insert, 1, -1, true);
    int32_t replaced = 0, at = 1;
    while (at <= slow.Size()) {
      int32_t found = slow.InStr(at, c.find, true);
      if (found == 0) break;
      slow.Delete(found, static_cast<int32_t>(c.find.size()));
      slow.Insert(found, c.insert);
      ++replaced;
      at = found + static_cast<int32_t>(c.insert.size());
    }
    EXPECT_EQ(count, replaced);
    EXPECT_EQ(fast.Value(), slow.Value());
    EXPECT_EQ(fast.BufferSize(), slow.BufferSize()) << c.text.size() << " " << c.insert.size();
  }
}

TEST(CStringWTest, CaseConversion) {
  struct Case {
    const char16_t* text;
    bool upper;
    int32_t start, length;
    int32_t count;
    const char16_t* result;
  };
  const Case cases[] = {
      {u"abcd", true, 2, 2, 2, u"aBCd"},
      {u"abcd", true, 2, 0, 3, u"aBCD"},
      {u"abcd", true, 9, 0, 0, u"abcd"},
      {u"abcd", true, 3, 10, 2, u"abCD"},
      {u"ÅÄÖ", false, 1, 0, 3, u"åäö"},
      {u"åäö", true, 1, 0, 3, u"ÅÄÖ"},
      {u"straße", true, 1, 0, 6, u"STRAßE"},  // simple mapping keeps the length
      {u"\U00010428!", true, 1, 0, 3, u"\U00010400!"},
      {u"ΣΑΣ", false, 1, 0, 3, u"σασ"},
  };
  for (const Case& c : cases) {
    CStringW b = Text(c.text);
    EXPECT_EQ(c.upper ? b.MakeUpper(c.start, c.length) : b.MakeLower(c.start, c.length), c.count)
        << Utf8(c.text);
    EXPECT_EQ(b.Value(), c.result);
  }
  CStringW b = Text(u"AbC");
  EXPECT_EQ(b.MakeLower(), 3);
  EXPECT_EQ(b.Value(), u"abc");
  ExpectRaisesUnchanged(b, 5, [&] { b.MakeUpper(0); });
  ExpectRaisesUnchanged(b, 5, [&] { b.MakeUpper(1, -1); });
}

TEST(CStringWTest, CharacterClasses) {
  struct Case {
    const char16_t* text;
    bool (CStringW::*test)(int32_t, int32_t&) const;
    int32_t start, length;
    bool result;
    int32_t lengthAfter;
  };
  const Case cases[] = {
      {u"12a", &CStringW::IsDecimalDigit, 1, 3, false, 3},
      {u"12a", &CStringW::IsDecimalDigit, 1, 2, true, 2},
      {u"123", &CStringW::IsDecimalDigit, 1, 10, true, 3},
      {u"a٣4", &CStringW::IsDecimalDigit, 2, 2, true, 2},
      {u"0F9a", &CStringW::IsHexDigit, 1, 4, true, 4},
      {u"0G", &CStringW::IsHexDigit, 1, 2, false, 2},
      {u"AB1", &CStringW::IsUpper, 1, 3, false, 3},
      {u"ABÅ", &CStringW::IsUpper, 1, 3, true, 3},
      {u"x\U00010400", &CStringW::IsUpper, 2, 2, true, 2},
      {u"äß", &CStringW::IsLower, 1, 9, true, 2},
      {u"äB", &CStringW::IsLower, 1, 9, false, 2},
  };
  for (const Case& c : cases) {
    CStringW b = Text(c.text);
    int32_t length = c.length;
    EXPECT_EQ((b.*c.test)(c.start, length), c.result) << Utf8(c.text);
    EXPECT_EQ(length, c.lengthAfter) << Utf8(c.text);
  }
  CStringW b = Text(u"1234");
  EXPECT_EQ(ErrorOf([&] { b.IsDecimalDigit(5, 1); }), 5);
  EXPECT_EQ(ErrorOf([&] { b.IsDecimalDigit(0, 1); }), 5);
  EXPECT_EQ(ErrorOf([&] { b.IsDecimalDigit(1, 0); }), 5);
  EXPECT_EQ(ErrorOf([&] { b.IsDecimalDigit(1, -2); }), 5);
  CStringW big = Text(std::u16string(40000, u'7'));
  EXPECT_TRUE(big.IsDecimalDigit(1, 32768));
  EXPECT_EQ(ErrorOf([&] { big.IsDecimalDigit(1, 32769); }), 6);
}

}  // namespace
}  // namespace tovrik
