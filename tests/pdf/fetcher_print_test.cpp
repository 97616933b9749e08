// MakePDF against a real print server with Chromium, printing pages of a site on loopback.
// The PDFs are checked with poppler's pdfinfo and pdftotext.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>

#include "pdf/ActivePDF.h"
#include "pdf/CPDFFetcher.h"
#include "printserver/ClientObjects.h"
#include "printserver/PdfTools.h"
#include "printserver/PrintServerProcess.h"
#include "printserver/TestSite.h"

namespace tovrik {
namespace {

using testing::PdfInfo;
using testing::PdfInfoField;
using testing::PdfText;

class FetcherPrintTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    home_ = std::filesystem::temp_directory_path() /
            ("tovrik-fetcher-print-" + std::to_string(::getpid()));
    std::filesystem::create_directories(home_);
    site_ = new testing::TestSite();
    server_ = new testing::PrintServerProcess({home_.string(), {"--pool", "2"}});
    setenv("TOVRIK_PRINT_SERVER", server_->address().c_str(), 1);
    printserver::RegisterClientObjects();
  }
  static void TearDownTestSuite() {
    delete server_;
    delete site_;
    unsetenv("TOVRIK_PRINT_SERVER");
    std::filesystem::remove_all(home_);
  }

  bool Make(const std::string& path, const std::string& settings) {
    retFile.clear();
    return CPDFFetcher().MakePDF(site_->Url(path), "<pdf>" + settings + "</pdf>" + '\0', retFile,
                                 status, statusText, errorPoint);
  }

  static inline std::filesystem::path home_;
  static inline testing::TestSite* site_ = nullptr;
  static inline testing::PrintServerProcess* server_ = nullptr;
  std::string retFile, statusText, errorPoint;
  int32_t status = -1;
};

TEST_F(FetcherPrintTest, TwoPageArticleWithPageNumbersTitleAndAuthor) {
  ASSERT_TRUE(Make("/twopages",
                   "<title>Quarterly report</title><author>Ana Lyst</author>"
                   "<subject>Tests</subject><keywords>a, b</keywords>"
                   "<iefooter>&amp;p / &amp;P</iefooter><bottommargin>20</bottommargin>"))
      << status << " " << statusText;
  EXPECT_EQ(status, 0);
  EXPECT_EQ(statusText, "Success");
  EXPECT_EQ(errorPoint, "WebGrabber.CleanUp: ");
  ASSERT_TRUE(std::filesystem::exists(retFile)) << retFile;
  EXPECT_EQ(std::filesystem::path(retFile).parent_path(), home_ / "pdf-output");

  std::string info = PdfInfo(retFile);
  EXPECT_EQ(PdfInfoField(info, "Pages"), "2") << info;
  EXPECT_EQ(PdfInfoField(info, "Title"), "Quarterly report");
  EXPECT_EQ(PdfInfoField(info, "Author"), "Ana Lyst");
  EXPECT_EQ(PdfInfoField(info, "Subject"), "Tests");
  EXPECT_EQ(PdfInfoField(info, "Keywords"), "a, b");
  // The default paper is A4 (595 x 842 points).
  EXPECT_NE(PdfInfoField(info, "Page size").find("595."), std::string::npos) << info;

  std::string text = PdfText(retFile);
  EXPECT_NE(text.find("Page one marker"), std::string::npos);
  EXPECT_NE(text.find("Page two marker"), std::string::npos);
  // pdftotext may drop the blanks of the small footer text.
  std::string compact = text;
  compact.erase(std::remove(compact.begin(), compact.end(), ' '), compact.end());
  EXPECT_NE(compact.find("1/2"), std::string::npos) << text;
  EXPECT_NE(compact.find("2/2"), std::string::npos) << text;
  // The page's own title stays when no title is set.
  ASSERT_TRUE(Make("/titled", ""));
  EXPECT_EQ(PdfInfoField(PdfInfo(retFile), "Title"), "Own title");
}

TEST_F(FetcherPrintTest, PaperSizesAndOrientation) {
  struct Case {
    std::string settings;
    double width, height;  // points
  };
  const std::vector<Case> cases = {
      {"<orientation>2</orientation><papersize>9</papersize>", 841.89, 595.28},
      {"<papersize>1</papersize>", 612, 792},
      {"<papersize>5</papersize>", 612, 1008},
      {"<orientation>2</orientation><papersize>11</papersize>", 595.28, 419.53},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(Make("/article/1", c.settings)) << c.settings << ": " << statusText;
    double w = 0, h = 0;
    std::string size = PdfInfoField(PdfInfo(retFile), "Page size");
    ASSERT_EQ(std::sscanf(size.c_str(), "%lf x %lf", &w, &h), 2) << size;
    EXPECT_NEAR(w, c.width, 1.0) << c.settings;
    EXPECT_NEAR(h, c.height, 1.0) << c.settings;
  }
}

TEST_F(FetcherPrintTest, FailuresComeBackAsTheirStatus) {
  EXPECT_FALSE(Make("/missing", ""));
  EXPECT_EQ(status, 1009);
  EXPECT_EQ(statusText, "Webgrabber printer error");
  EXPECT_EQ(retFile, "");
  EXPECT_EQ(errorPoint, "WebGrabber.CleanUp: ");

  // A page that never finishes loading ends as a time-out of its own budget, well before
  // the total time-out.
  EXPECT_FALSE(Make("/stalled-image", "<timeout>2</timeout><totaltimeout>60</totaltimeout>"));
  EXPECT_EQ(status, 99);
  EXPECT_EQ(statusText, "PDF server time out.");

  // The total time-out passes first: the client gives up and cancels the job.
  EXPECT_FALSE(Make("/slow", "<timeout>60</timeout><totaltimeout>2</totaltimeout>"));
  EXPECT_EQ(status, 99);

  // The server works on after all of this.
  EXPECT_TRUE(Make("/article/2", "")) << statusText;
}

}  // namespace
}  // namespace tovrik
