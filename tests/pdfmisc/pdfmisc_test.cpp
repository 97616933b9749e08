// libpdfmisc on real PDF files: page counts, merges and footers, checked with poppler's tools.

#include "pdfmisc/pdfmisc.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "pdfmisc/PdfTestFiles.h"
#include "pdfmisc/Utf.h"

namespace tovrik::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// Calls a function of the library; fails the test with the library's message on failure.
template <typename Call>
void Succeeds(Call call) {
  int32_t code = -1;
  char16_t* message = nullptr;
  const int32_t result = call(&code, &message);
  const std::string text = message ? pdfmisc::Utf16ToUtf8(message) : "";
  if (message != nullptr) {
    EXPECT_EQ(FreePWChar(message), 1);
  }
  ASSERT_NE(result, 0) << "code " << code << ": " << text;
  EXPECT_EQ(code, 0);
}

int32_t Pages(const std::string& path) {
  int32_t pages = -1;
  Succeeds([&](int32_t* code, char16_t** message) {
    return PDF_PageCount(path.c_str(), &pages, code, message);
  });
  return pages;
}

void Merge(const std::vector<std::string>& paths, const std::string& out) {
  std::string list;
  for (const std::string& path : paths) list += (list.empty() ? "" : "?") + path;
  Succeeds([&](int32_t* code, char16_t** message) {
    return PDF_Merge(list.c_str(), out.c_str(), code, message);
  });
}

std::u16string Parameters(const std::vector<std::pair<std::string, std::string>>& values) {
  std::string record = "<root><parameters>";
  for (const auto& [name, value] : values) {
    record += "<parameter name='" + name + "'>" + value + "</parameter>";
  }
  return pdfmisc::Utf8ToUtf16(record + "</parameters></root>");
}

void AddFooter(const std::string& path, const std::u16string& parameters, int32_t first,
               int32_t total) {
  Succeeds([&](int32_t* code, char16_t** message) {
    return PDF_AddFooter(path.c_str(), parameters.c_str(), first, total, code, message);
  });
}

class PdfMiscTest : public ::testing::Test {
 protected:
  TempFolder dir_;
};

TEST_F(PdfMiscTest, CountsPagesLikePdfinfo) {
  for (int pages : {1, 2, 300}) {
    const std::string path = dir_ / ("pages" + std::to_string(pages) + ".pdf");
    WriteTextPdf(path, pages);
    EXPECT_EQ(Pages(path), pages);
    EXPECT_EQ(PdfInfoPages(path), pages);
  }
}

TEST_F(PdfMiscTest, MergeKeepsListOrderAndEveryPage) {
  WriteTextPdf(dir_ / "a.pdf", 1, "Alpha");
  WriteTextPdf(dir_ / "b.pdf", 2, "Bravo");
  WriteTextPdf(dir_ / "c.pdf", std::vector<PageSpec>{{841.89, 595.28, 0}, {595.28, 841.89, 90}, {}},
               "Charlie");
  const std::string out = dir_ / "merged.pdf";
  WriteFile(out, "an older file that the merge replaces");
  Merge({dir_ / "c.pdf", dir_ / "a.pdf", dir_ / "b.pdf", dir_ / "a.pdf"}, out);

  EXPECT_EQ(PdfInfoPages(out), 7);
  const std::vector<std::string> expected = {"Charlie 1", "Charlie 2", "Charlie 3", "Alpha 1",
                                             "Bravo 1",   "Bravo 2",   "Alpha 1"};
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_THAT(PageText(out, static_cast<int>(i + 1)), HasSubstr(expected[i])) << "page " << i + 1;
  }
  // Page sizes and rotation travel with their pages.
  EXPECT_THAT(RunCommand("pdfinfo -f 1 -l 2 '" + out + "'"),
              ::testing::AllOf(::testing::ContainsRegex("Page +1 size: +841.89 x 595.28"),
                               ::testing::ContainsRegex("Page +2 rot: +90")));

  // The output may be one of the inputs.
  Merge({dir_ / "b.pdf", dir_ / "b.pdf"}, dir_ / "b.pdf");
  EXPECT_EQ(PdfInfoPages(dir_ / "b.pdf"), 4);
}

TEST_F(PdfMiscTest, MergeOfManyFilesHoldsFewFilesOpen) {
  std::vector<std::string> paths;
  for (int i = 0; i < 300; ++i) {
    paths.push_back(dir_ / ("f" + std::to_string(i) + ".pdf"));
    WriteTextPdf(paths.back(), 1 + i % 3, "File" + std::to_string(i));
  }
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit low = saved;
  low.rlim_cur = 48;  // far fewer than the files merged
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
  const std::string out = dir_ / "all.pdf";
  Merge(paths, out);
  ::setrlimit(RLIMIT_NOFILE, &saved);

  EXPECT_EQ(PdfInfoPages(out), 600);
  EXPECT_THAT(PageText(out, 600), HasSubstr("File299 3"));
}

std::string FooterText(const std::string& path, int page) {
  const std::string text = PageText(path, page);
  std::smatch match;
  return std::regex_search(text, match, std::regex("Sida \\S+ av \\S+")) ? match.str() : "";
}

TEST_F(PdfMiscTest, FootersNumberPagesFromFirstPage) {
  struct Case {
    std::string includeContext, startNumber;
    int32_t first, total;
    std::vector<std::string> footers;  // pages 1 to 5
  };
  const std::vector<Case> cases = {
      {"1", "", 1, 0, {"Sida 1 av 5", "Sida 2 av 5", "Sida 3 av 5", "Sida 4 av 5", "Sida 5 av 5"}},
      {"1", "1", 3, 5, {"", "", "Sida 3 av 5", "Sida 4 av 5", "Sida 5 av 5"}},
      {"0", "", 3, 5, {"", "", "Sida 1 av 3", "Sida 2 av 3", "Sida 3 av 3"}},
      {"0", "10", 2, 5, {"", "Sida 10 av 13", "Sida 11 av 13", "Sida 12 av 13", "Sida 13 av 13"}},
      {"1", "10", 2, 5, {"", "Sida 11 av 14", "Sida 12 av 14", "Sida 13 av 14", "Sida 14 av 14"}},
      {"", "", 5, 0, {"", "", "", "", "Sida 1 av 1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("include " + c.includeContext + ", start '" + c.startNumber + "', first " +
                 std::to_string(c.first));
    const std::string path = dir_ / "doc.pdf";
    WriteTextPdf(path, 5);
    AddFooter(path,
              Parameters({{"createcontext", "0"},
                          {"includecontextinnumbering", c.includeContext},
                          {"startnumber", c.startNumber},
                          {"footertext", "Sida $currentpage av $totalpages"}}),
              c.first, c.total);
    for (int page = 1; page <= 5; ++page) {
      EXPECT_EQ(FooterText(path, page), c.footers[static_cast<size_t>(page - 1)])
          << "page " << page;
      EXPECT_THAT(PageText(path, page), HasSubstr("Page " + std::to_string(page)))
          << "the page's own content stays";
    }
  }
}

TEST_F(PdfMiscTest, DesignExampleFooterWithMarkupFontsAndWrapping) {
  const std::string path = dir_ / "twelve.pdf";
  WriteTextPdf(path, 12);
  ::chmod(path.c_str(), 0640);
  ::testing::internal::CaptureStderr();
  AddFooter(path,
            Parameters({{"createcontext", "0"},
                        {"includecontextinnumbering", "1"},
                        {"startnumber", "1"},
                        {"htmlfont_normal", "Verdana"},
                        {"htmlfont_bold", "Times New Roman Fet"},
                        {"htmlfont_italic", ""},
                        {"footertext",
                         "&lt;font size='5'&gt;Sida $currentpage av $totalpages&lt;b&gt; Fet "
                         "text&lt;/b&gt; &lt;/font&gt; Detta är en vanlig text som troligtvis "
                         "kommer radbrytas."},
                        {"footerleft", "10"},
                        {"footertop", "270"},
                        {"footerwidth", "100"}}),
            2, 12);
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_THAT(log, HasSubstr("font family 'Verdana' is not installed"));
  EXPECT_THAT(log, HasSubstr("font family 'Times New Roman Fet' is not installed"));

  EXPECT_EQ(FooterText(path, 1), "");
  EXPECT_EQ(FooterText(path, 3), "Sida 3 av 12");
  EXPECT_EQ(FooterText(path, 12), "Sida 12 av 12");
  // Wrapped to 100 mm: the text goes on over a second line.
  EXPECT_THAT(PageText(path, 3), ::testing::ContainsRegex("Fet text Detta är en\\s*\n\\s*\\S"));
  EXPECT_THAT(RunCommand("pdffonts '" + path + "'"), HasSubstr("Bold")) << "the bold run";
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u) << "the rewritten file keeps its permissions";
}

TEST_F(PdfMiscTest, FooterLandsInsideMixedAndRotatedPages) {
  const std::vector<PageSpec> pages = {
      {},                    // A4 portrait
      {841.89, 595.28, 0},   // A4 landscape
      {595.28, 841.89, 90},  // portrait turned to landscape
      {595.28, 841.89, 270},
      {595.28, 841.89, 180},
      {612, 792, 0},          // Letter
      {841.89, 595.28, -90},  // stored as -90: the same as 270
  };
  const std::string path = dir_ / "mixed.pdf";
  WriteTextPdf(path, pages);
  ::testing::internal::CaptureStderr();
  AddFooter(path,
            Parameters({{"footertext", "Sida $currentpage av $totalpages"},
                        {"footerleft", "20"},
                        {"footertop", "270"},
                        {"footerwidth", "120"}}),
            1, 0);
  EXPECT_THAT(::testing::internal::GetCapturedStderr(),
              HasSubstr("the footer box did not fit 4 pages"));

  constexpr double kMm = 72 / 25.4;
  for (size_t i = 0; i < pages.size(); ++i) {
    SCOPED_TRACE("page " + std::to_string(i + 1));
    const PageSpec& pageSpec = pages[i];
    const bool turned = pageSpec.rotate % 180 != 0;
    const double shownWidth = turned ? pageSpec.height : pageSpec.width;
    const double shownHeight = turned ? pageSpec.width : pageSpec.height;
    const PageWords words = WordsOnPage(path, static_cast<int>(i + 1));
    const auto sida = std::find_if(words.words.begin(), words.words.end(),
                                   [](const Word& w) { return w.text == "Sida"; });
    ASSERT_NE(sida, words.words.end());
    EXPECT_NEAR(sida->xMin, 20 * kMm, 2) << "footerleft from the shown left edge";
    EXPECT_LE(sida->yMax, shownHeight - 5 * kMm + 1) << "inside the page, above its bottom margin";
    if (shownHeight > 290 * kMm) {
      EXPECT_NEAR(sida->yMin, 270 * kMm, 6) << "footertop from the shown top edge";
    } else {
      EXPECT_GT(sida->yMin, shownHeight - 30 * kMm) << "moved up just enough";
    }
    // The footer's last word: the total after "av".
    const auto av =
        std::find_if(sida, words.words.end(), [](const Word& w) { return w.text == "av"; });
    ASSERT_NE(av, words.words.end());
    const auto last = av + 1;
    ASSERT_NE(last, words.words.end());
    EXPECT_EQ(last->text, std::to_string(pages.size()));
    EXPECT_LE(last->xMax, shownWidth);
    EXPECT_NEAR(last->yMin, sida->yMin, 1) << "upright: the words stand on one line";
  }
}

}  // namespace
}  // namespace tovrik::testing
