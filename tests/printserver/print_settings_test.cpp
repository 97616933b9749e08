// How print requests map onto Chromium's printing: paper codes, header/footer codes, and the
// request the client objects send.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "printserver/JobRequest.h"
#include "printserver/PrintSettings.h"

namespace tovrik::printserver {
namespace {

using Json = nlohmann::json;

TEST(PrintSettingsTest, PaperCodes) {
  struct Case {
    int32_t code;
    double width, height;  // millimetres
  };
  const Case cases[] = {{1, 215.9, 279.4}, {5, 215.9, 355.6}, {8, 297, 420},
                        {9, 210, 297},     {11, 148, 210},    {13, 182, 257}};
  for (const Case& c : cases) {
    auto paper = PaperSizeOf(c.code);
    ASSERT_TRUE(paper) << c.code;
    EXPECT_NEAR(paper->width * 25.4, c.width, 0.05) << c.code;
    EXPECT_NEAR(paper->height * 25.4, c.height, 0.05) << c.code;
  }
  for (int32_t unknown : {0, -1, 19, 1000}) EXPECT_FALSE(PaperSizeOf(unknown)) << unknown;
}

TEST(PrintSettingsTest, HeaderFooterCodes) {
  auto cells = [](const std::string& codes) {
    std::string t = HeaderFooterTemplate(codes, "2024-05-03", "10:15", 9);
    // The three cells, in order: left, centre, right.
    std::vector<std::string> out;
    for (size_t at = 0; (at = t.find("\">", t.find("text-align:", at))) != std::string::npos;) {
      size_t end = t.find("</div>", at);
      out.push_back(t.substr(at + 2, end - at - 2));
      at = end;
    }
    return out;
  };
  const std::string page = "<span class=\"pageNumber\"></span>";
  const std::string pages = "<span class=\"totalPages\"></span>";
  struct Case {
    std::string codes;
    std::vector<std::string> cells;
  };
  const std::vector<Case> cases = {
      {"&p / &P", {page + " / " + pages, "", ""}},
      {"&w&bPage &p of &P", {"<span class=\"title\"></span>", "", "Page " + page + " of " + pages}},
      {"&u&b&d&b&t", {"<span class=\"url\"></span>", "2024-05-03", "10:15"}},
      {"Fish && <Chips>", {"Fish &amp; &lt;Chips&gt;", "", ""}},
      {"100% &x &", {"100% &amp;x &amp;", "", ""}},
  };
  for (const Case& c : cases) EXPECT_EQ(cells(c.codes), c.cells) << c.codes;
  EXPECT_EQ(HeaderFooterTemplate("", "d", "t", 9), "");
  EXPECT_NE(HeaderFooterTemplate("x", "d", "t", 10).find("font-size:10.0pt"), std::string::npos);
}

TEST(JobRequestTest, SettingsBecomeThePrint) {
  std::vector<std::string> warnings;
  Json request = {{"url", "http://127.0.0.1/page"},
                  {"webgrabber",
                   {{"IETopMargin", 1.5},
                    {"IELeftMargin", 0},
                    {"iefooter", "&p"},
                    {"timeout", 30},
                    {"printertimeout", 10},
                    {"WaitBeforePrint", 250},
                    {"EngineToUse", 1},
                    {"MainFont", {{"name", "Tahoma"}, {"size", 12}}}}},
                  {"prt2disk",
                   {{"orientation", 2},
                    {"papersize", 5},
                    {"scaling", 80},
                    {"PDFTitle", "T"},
                    {"printquality", 600},
                    {"UseStaticPool", true}}}};
  JobSpec jobSpec = JobSpecFromRequest(request, 0, warnings);
  EXPECT_TRUE(warnings.empty());
  EXPECT_TRUE(jobSpec.page.landscape);
  EXPECT_DOUBLE_EQ(jobSpec.page.paperWidth, 8.5);
  EXPECT_DOUBLE_EQ(jobSpec.page.paperHeight, 14);
  EXPECT_DOUBLE_EQ(jobSpec.page.scale, 0.8);
  EXPECT_DOUBLE_EQ(jobSpec.page.marginTop, 1.5);
  EXPECT_DOUBLE_EQ(jobSpec.page.marginLeft, 0);
  EXPECT_DOUBLE_EQ(jobSpec.page.marginBottom, 0.4);  // not set: Chromium's own default
  EXPECT_TRUE(jobSpec.page.headerTemplate.empty());
  EXPECT_NE(jobSpec.page.footerTemplate.find("pageNumber"), std::string::npos);
  EXPECT_EQ(jobSpec.loadTimeout.count(), 30000);
  EXPECT_EQ(jobSpec.printTimeout.count(), 10000);
  EXPECT_EQ(jobSpec.waitBeforePrint.count(), 250);
  EXPECT_EQ(jobSpec.fontFamily, "Tahoma");
  EXPECT_EQ(jobSpec.fontSizePx, 16);
  EXPECT_EQ(jobSpec.title, "T");

  // Nothing set: portrait A4, scale 1.
  jobSpec = JobSpecFromRequest({{"url", "https://x/"}}, 0, warnings);
  EXPECT_FALSE(jobSpec.page.landscape);
  EXPECT_NEAR(jobSpec.page.paperWidth * 25.4, 210, 0.01);
  EXPECT_DOUBLE_EQ(jobSpec.page.scale, 1.0);
  EXPECT_EQ(jobSpec.loadTimeout.count(), 60000);
}

TEST(JobRequestTest, OutOfRangeValuesAreBroughtIntoRange) {
  std::vector<std::string> warnings;
  JobSpec jobSpec = JobSpecFromRequest({{"url", "http://x/"},
                                        {"webgrabber", {{"IETopMargin", -2.0}}},
                                        {"prt2disk", {{"papersize", 999}, {"scaling", 500}}}},
                                       0, warnings);
  EXPECT_EQ(warnings.size(), 3u);
  EXPECT_DOUBLE_EQ(jobSpec.page.marginTop, 0);
  EXPECT_DOUBLE_EQ(jobSpec.page.scale, 2.0);
  EXPECT_NEAR(jobSpec.page.paperHeight * 25.4, 297, 0.01);
}

TEST(JobRequestTest, RequestsThatCannotBePrinted) {
  const std::vector<Json> bad = {
      Json::array(),
      Json::object(),
      {{"url", ""}},
      {{"url", "file:///etc/passwd"}},
      {{"url", "javascript:alert(1)"}},
      {{"url", 5}},
      {{"url", "http://x/"}, {"prt2disk", "text"}},
      {{"url", "http://x/"}, {"prt2disk", {{"orientation", "two"}}}},
      {{"url", "http://x/"}, {"webgrabber", {{"ieheader", 3}}}},
  };
  for (const Json& request : bad) {
    std::vector<std::string> warnings;
    EXPECT_THROW(JobSpecFromRequest(request, 0, warnings), BadRequest) << request;
  }
}

}  // namespace
}  // namespace tovrik::printserver
