// The footer markup parser, the footer parameters record and the UTF conversions of
// libpdfmisc, below its C boundary.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pdfmisc/FooterMarkup.h"
#include "pdfmisc/FooterSettings.h"
#include "pdfmisc/PdfError.h"
#include "pdfmisc/Utf.h"
#include "pdfmisc/pdfmisc.h"

namespace tovrik::pdfmisc {
namespace {

// Runs written compactly: text, then flags b/i/u and the HTML size, e.g. "Fet|b5".
std::vector<std::string> Describe(const std::vector<TextRun>& runs) {
  std::vector<std::string> out;
  for (const TextRun& run : runs) {
    std::string flags;
    if (run.style.bold) flags += "b";
    if (run.style.italic) flags += "i";
    if (run.style.underline) flags += "u";
    flags += std::to_string(run.style.htmlSize);
    if (!run.style.face.empty()) flags += "@" + run.style.face;
    if (run.style.color) flags += "#" + std::to_string(*run.style.color);
    out.push_back(run.text + "|" + flags);
  }
  return out;
}

TEST(FooterMarkupTest, TagsEntitiesAndBlanks) {
  struct Case {
    std::string markup;
    std::vector<std::string> runs;
  };
  const std::vector<Case> cases = {
      {"Sida $currentpage av $totalpages", {"Sida $currentpage av $totalpages|3"}},
      {"<font size='5'>Sida 1<b> Fet text</b> </font> Detta är en vanlig text.",
       {"Sida 1|5", " Fet text|b5", " |5", "Detta är en vanlig text.|3"}},
      {"<B>upper</B> <I>case</I> <STRONG>tags</STRONG>",
       {"upper|b3", " |3", "case|i3", " |3", "tags|b3"}},
      {"a<br>b <br/> c<BR />d", {"a\nb\nc\nd|3"}},
      {"&lt;b&gt; &amp; &#65;&#x42; &quot;&apos; x&nbsp;y &bogus; & &#0; &#xD800;",
       {"<b> & AB \"' x\u00a0y &bogus; & &#0; &#xD800;|3"}},
      {"<span class='x'>kept</span><p>para</p><table><tr><td>cell</td></tr></table>",
       {"keptparacell|3"}},
      {"x < y and <b unterminated", {"x < y and <b unterminated|3"}},
      {"<!-- a comment -->text<!-- unterminated", {"text|3"}},
      {"<i><u>iu</u></i><em>em</em>", {"iu|iu3", "em|i3"}},
      {"<b><i>x</b>y</i>z", {"x|bi3", "y|i3", "z|3"}},
      {"<font size='+2'>a<font size=-3>b</font></font><font size=\"9\">c</font><font "
       "size='x'>d</font>",
       {"a|5", "b|2", "c|7", "d|3"}},
      {"<font face='DejaVu Serif' color='#ff0000'>r</font><font color=#0f0>g</font><font "
       "color='navy'>n</font>",
       {"r|3@DejaVu Serif#16711680", "g|3#65280", "n|3#128"}},
      {"   leading,\n\tmultiple   blanks   ", {"leading, multiple blanks|3"}},
      {"</b></font>stray closers", {"stray closers|3"}},
      {"", {}},
      {"<b></b>", {}},
  };
  for (const Case& c : cases) {
    EXPECT_THAT(Describe(ParseFooterMarkup(c.markup)), ::testing::ElementsAreArray(c.runs))
        << c.markup;
  }
}

TEST(FooterMarkupTest, DeepNestingIsBounded) {
  std::string markup;
  for (int i = 0; i < 10000; ++i) markup += "<b><i>";
  markup += "deep";
  const std::vector<TextRun> runs = ParseFooterMarkup(markup);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].text, "deep");
  EXPECT_TRUE(runs[0].style.bold && runs[0].style.italic);
}

TEST(FooterMarkupTest, PageNumbersReplacedInEveryRun) {
  const auto runs = ReplacePageNumbers(
      ParseFooterMarkup("$currentpage/$totalpages <b>$currentpage</b> $CurrentPage $currentpag"),
      "3", "12");
  EXPECT_THAT(Describe(runs),
              ::testing::ElementsAre("3/12 |3", "3|b3", " $CurrentPage $currentpag|3"));
  EXPECT_EQ(PointSize(1), 8);
  EXPECT_EQ(PointSize(3), 12);
  EXPECT_EQ(PointSize(7), 36);
}

std::string Record(const std::string& parameters) {
  return "<root><parameters>" + parameters + "</parameters></root>";
}

TEST(FooterSettingsTest, ParametersAndDefaults) {
  const FooterSettings empty =
      ParseFooterSettings(Record("<parameter name='createcontext'/><parameter "
                                 "name='footerleft'/><parameter name='startnumber'/>"));
  EXPECT_EQ(empty.text, "");
  EXPECT_FALSE(empty.leftMm || empty.topMm || empty.widthMm);
  EXPECT_EQ(empty.startNumber, 1);
  EXPECT_FALSE(empty.includeContext);

  const FooterSettings full = ParseFooterSettings(
      "<anyroot><parameters>"
      "<parameter name='footertext'>first</parameter>"
      "<parameter name='footertext'>&lt;b&gt;second&lt;/b&gt;</parameter>"
      "<parameter name='htmlfont_normal'> Verdana </parameter>"
      "<parameter name='htmlfont_bold'>Times New Roman Fet</parameter>"
      "<parameter name='includecontextinnumbering'>1</parameter>"
      "<parameter name='startnumber'> -3 </parameter>"
      "<parameter name='footerleft'>10,5</parameter>"
      "<parameter name='footertop'>270</parameter>"
      "<parameter name='footerwidth'>100.25</parameter>"
      "<parameter name='unknown'>ignored</parameter>"
      "</parameters></anyroot>");
  EXPECT_EQ(full.text, "<b>second</b>");
  EXPECT_EQ(full.fontNormal, "Verdana");
  EXPECT_EQ(full.fontBold, "Times New Roman Fet");
  EXPECT_EQ(full.fontItalic, "");
  EXPECT_TRUE(full.includeContext);
  EXPECT_EQ(full.startNumber, -3);
  EXPECT_DOUBLE_EQ(*full.leftMm, 10.5);
  EXPECT_DOUBLE_EQ(*full.topMm, 270);
  EXPECT_DOUBLE_EQ(*full.widthMm, 100.25);
}

TEST(FooterSettingsTest, BadNumbersNameTheParameter) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"<parameter name='footerleft'>abc</parameter>", "'footerleft' is 'abc'"},
      {"<parameter name='footertop'>-1</parameter>", "'footertop' is '-1'"},
      {"<parameter name='footertop'>1e3</parameter>", "'footertop' is '1e3'"},
      {"<parameter name='footerwidth'>0</parameter>", "'footerwidth' is '0'"},
      {"<parameter name='footerwidth'>10001</parameter>", "'footerwidth' is '10001'"},
      {"<parameter name='footerleft'>1.2.3</parameter>", "'footerleft' is '1.2.3'"},
      {"<parameter name='startnumber'>x</parameter>", "'startnumber' is 'x'"},
      {"<parameter name='startnumber'>99999999999</parameter>", "'startnumber' is '99999999999'"},
  };
  for (const auto& [parameter, text] : cases) {
    try {
      ParseFooterSettings(Record(parameter));
      ADD_FAILURE() << parameter << " was accepted";
    } catch (const PdfError& e) {
      EXPECT_EQ(e.code(), PDFMISC_E_FOOTER_PARAMETERS);
      EXPECT_THAT(e.what(), ::testing::HasSubstr(text));
    }
  }
}

TEST(UtfTest, RoundTripsAndReplacesMalformedInput) {
  const std::string text = "Sida 3 av 12 – åäö € 𝄞";
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text);
  EXPECT_EQ(Utf8ToUtf16("\xC3\xA5"), u"å");
  EXPECT_EQ(Utf8ToUtf16("a\xFF"
                        "b\xC0\xAF"
                        "c\xE2\x82"),
            u"a\uFFFDb\uFFFD\uFFFDc\uFFFD\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD") << "an encoded surrogate";
  const char16_t lone[] = {u'a', 0xD800, u'b', 0xDC00, 0};
  EXPECT_EQ(Utf16ToUtf8(lone),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
}

}  // namespace
}  // namespace tovrik::pdfmisc
