// The job pipeline from options to delivery, driven through StartJob with fake content
// server components and fake renderer objects that write real PDFs. Page counts, merging and
// footers use the real PDF library; the settings live in a real registry store.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "config/WorkerConfig.h"
#include "config/cRegistry.h"
#include "contentserver/SiteProcess.h"
#include "pdf/PdfMisc.h"
#include "platform/XmlDocument.h"
#include "support/FakeContentServer.h"
#include "support/FakeRenderer.h"
#include "support/PdfText.h"
#include "worker/CWorker.h"

namespace tovrik {
namespace {

namespace fs = std::filesystem;
using testing::FakeContentServer;
using testing::FakeContentServerGuard;
using testing::FakeRenderer;
using testing::FakeRendererGuard;

constexpr char kSite[] = "http://site.example/";

std::string PageUrl(int id) { return std::string(kSite) + "default.asp?id=" + std::to_string(id); }

// The text of each page of a PDF.
std::vector<std::string> PageTexts(const fs::path& pdf, int pages) {
  std::vector<std::string> texts;
  for (int p = 1; p <= pages; ++p) texts.push_back(testing::PdfPageText(pdf, p));
  return texts;
}

int PageCount(const fs::path& pdf) {
  int32_t status = 0;
  std::string text;
  const int32_t pages = getNumberOfPages(pdf.string(), status, text);
  return status == 0 ? pages : -1;
}

size_t FilesIn(const fs::path& dir) {
  size_t n = 0;
  for (const auto& e : fs::directory_iterator(dir)) n += e.is_regular_file() ? 1 : 0;
  return n;
}

class PipelineTest : public ::testing::Test {
 public:
  testing::ScopedTovrikHome home;
  fs::path out = home.path() / "out";
  fs::path pages = home.path() / "pages";
  fs::path preview = home.path() / "preview";
  std::shared_ptr<FakeContentServer> server = std::make_shared<FakeContentServer>();
  FakeContentServerGuard serverGuard{server};
  std::shared_ptr<FakeRenderer> renderer = std::make_shared<FakeRenderer>();
  FakeRendererGuard rendererGuard{renderer};
  std::map<std::string, std::string> fields = {{"optionsxml", "&lt;root/&gt;"},
                                               {"issynchronous", "0"},
                                               {"documentid", "7"},
                                               {"documentname", "Report"},
                                               {"destinationcategoryid", "3"},
                                               {"querystrings", ""},
                                               {"parsetree", "0"},
                                               {"autoarchive", "0"},
                                               {"destinationdocumentid", "0"},
                                               {"flags", "0"},
                                               {"documentguid", "guid-1"},
                                               {"submitter", "tester"}};

  bool result = false;
  int32_t status = 0;
  std::string text;

  void SetUp() override {
    for (const fs::path& d : {out, pages, preview}) fs::create_directories(d);
    renderer->outputDir = pages;
    server->siteUrl = std::string(kSite);
    SetSetting(kActivePDFServerKey, kDefaultPDFDirectoryValue, out.string());
    SetSetting(kPDFServerKey, kBaseFilePathValue, preview.string());
    SetSetting(kPDFServerKey, kBaseURLValue, "http://previews.example/pdf");
  }

  static void SetSetting(const char* key, const char* value, const std::string& data) {
    cRegistry().SaveRegistryString(HKEY_LOCAL_MACHINE, key, value, data);
  }

  void UseFooter(const std::string& startFromPage) {
    fields["footerxml"] =
        XmlEscape("<root><usefooter>1</usefooter><startfrompage>" + startFromPage +
                  "</startfrompage><includecontextinnumbering>1</includecontextinnumbering>"
                  "<footertext>Sida $currentpage av $totalpages</footertext>"
                  "<footerleft>20</footerleft><footertop>260</footertop>"
                  "<footerwidth>150</footerwidth></root>");
  }

  void Run() {
    std::string xml = "<root><pdfitem><queueentryid>57</queueentryid>";
    for (const auto& [name, value] : fields) xml += "<" + name + ">" + value + "</" + name + ">";
    server->entryXml = xml + "</pdfitem></root>";
    CWorker worker;
    result = worker.StartJob("", 1, status, text);
  }

  // A value of the last end report.
  std::string Reported(const std::string& name) const {
    if (server->endRequests.empty()) return "<no end report>";
    auto doc = getXMLDocument(server->endRequests.back(), true);
    return doc->documentElement()
        .selectSingleNode("parameters/parameter[@name='" + name + "']")
        .text();
  }

  // The bytes the last SaveContent stored, written to a file.
  fs::path SavedPdf() const {
    const fs::path file = home.path() / "saved.pdf";
    std::ofstream f(file, std::ios::binary);
    const auto& bytes = server->contents.back();
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
    return file;
  }
};

TEST_F(PipelineTest, OnePageJobIsStoredWithoutMerge) {
  Run();
  EXPECT_TRUE(result) << text;
  EXPECT_EQ(status, 0);
  EXPECT_EQ(text, "Calling endProcessing after processing: ");
  EXPECT_EQ(renderer->printedUrls, std::vector<std::string>{PageUrl(7)});
  ASSERT_EQ(server->documentRequests.size(), 1u);
  EXPECT_NE(
      server->documentRequests[0].find("<parameter name='SaveToFileName'>guid-1.pdf</parameter>"),
      std::string::npos);
  EXPECT_EQ(PageCount(SavedPdf()), 1);
  EXPECT_EQ(Reported("DocumentGenerated"), "812");
  EXPECT_EQ(Reported("ContainingDocuments"), "7");
  // The save leaves the content component's text (none from this fake) as the job's text.
  EXPECT_EQ(Reported("errorMessage"), "");
  EXPECT_EQ(FilesIn(pages), 0u);
  EXPECT_EQ(FilesIn(out), 0u);
}

TEST_F(PipelineTest, TreeJobIsMergedInOrderWithFooters) {
  fields["parsetree"] = "1";
  fields["documentguid"] = "";
  UseFooter("2");
  server->treeIds = {int32_t{7}, int32_t{9}, int32_t{12}};
  for (int id : {7, 9, 12}) renderer->pagesForUrl[PageUrl(id)] = 2;
  Run();
  ASSERT_TRUE(result) << text;
  EXPECT_EQ(renderer->printedUrls, (std::vector<std::string>{PageUrl(7), PageUrl(9), PageUrl(12)}));
  EXPECT_NE(server->documentRequests[0].find("<parameter name='SaveToFileName'>Report.pdf<"),
            std::string::npos);
  const fs::path saved = SavedPdf();
  ASSERT_EQ(PageCount(saved), 6);
  const auto texts = PageTexts(saved, 6);
  EXPECT_EQ(texts[0].find("Sida"), std::string::npos);
  EXPECT_NE(texts[0].find(PageUrl(7) + " page 1"), std::string::npos);
  EXPECT_NE(texts[2].find(PageUrl(9) + " page 1"), std::string::npos);
  for (int p = 2; p <= 6; ++p) {
    EXPECT_NE(texts[p - 1].find("Sida " + std::to_string(p) + " av 6"), std::string::npos) << p;
  }
  EXPECT_EQ(Reported("ContainingDocuments"), "7,9,12");
  EXPECT_EQ(FilesIn(pages), 0u);
  EXPECT_EQ(FilesIn(out), 0u);
}

TEST_F(PipelineTest, FirstFooterPageIsLoweredToThePageCount) {
  UseFooter("9");
  renderer->pagesForUrl[PageUrl(7)] = 4;
  Run();
  ASSERT_TRUE(result) << text;
  const auto texts = PageTexts(SavedPdf(), 4);
  for (int p = 1; p <= 3; ++p) EXPECT_EQ(texts[p - 1].find("Sida"), std::string::npos) << p;
  EXPECT_NE(texts[3].find("Sida 4 av 4"), std::string::npos);
}

TEST_F(PipelineTest, PreviewChecksInTheirOrder) {
  struct Case {
    const char* baseUrl;
    std::string baseFilePath;
    int32_t status;
    const char* text;
  };
  fs::create_directories(home.path() / "empty");
  std::ofstream(home.path() / "plainfile") << "x";
  const Case cases[] = {
      {"http://p/", "", 4570, "The baseFilePath registry setting was not found"},
      {"", "", 4570, "The baseFilePath registry setting was not found"},
      {"", preview.string(), 4569, "The baseurl registry setting was not found"},
      {"http://p/", (home.path() / "missing").string(), 4571,
       "The baseFilePath registry setting points to an illegal location"},
      {"http://p/", (home.path() / "plainfile").string(), 4571,
       "The baseFilePath registry setting points to an illegal location"},
      {"http://p/", (home.path() / "empty").string(), 0, ""},
  };
  fields["issynchronous"] = "1";
  for (const Case& c : cases) {
    SetSetting(kPDFServerKey, kBaseURLValue, c.baseUrl);
    SetSetting(kPDFServerKey, kBaseFilePathValue, c.baseFilePath);
    Run();
    EXPECT_EQ(status, c.status) << c.baseUrl << " " << c.baseFilePath;
    if (c.status != 0) {
      // The preview branch has no stage text of its own.
      EXPECT_EQ(text, std::string("Building cPDF_File_Information: ") + c.text);
      EXPECT_EQ(FilesIn(pages), 1u);  // a stop before the clean-up leaves the page file
      fs::remove_all(pages);
      fs::create_directories(pages);
    } else {
      EXPECT_TRUE(result) << text;
    }
  }
}

TEST_F(PipelineTest, PreviewIsCopiedAndItsUrlReported) {
  fields["issynchronous"] = "1";
  Run();
  ASSERT_TRUE(result) << text;
  const std::string url = Reported("URL");
  ASSERT_EQ(url.rfind("http://previews.example/pdf/", 0), 0u) << url;
  const std::string name = url.substr(std::string("http://previews.example/pdf/").size());
  EXPECT_EQ(name.size(), 36u + 4u);
  EXPECT_EQ(PageCount(preview / name), 1);
  EXPECT_EQ(FilesIn(preview), 1u);  // no temporary file left beside it
  EXPECT_EQ(Reported("DocumentGenerated"), "0");
  EXPECT_EQ(Reported("ContainingDocuments"), "");
  EXPECT_TRUE(server->documentRequests.empty());
  EXPECT_EQ(FilesIn(pages), 0u);
}

TEST_F(PipelineTest, ExistingDocumentGetsNewContentOnly) {
  fields["destinationdocumentid"] = "44";
  Run();
  ASSERT_TRUE(result) << text;
  EXPECT_TRUE(server->documentRequests.empty());
  ASSERT_EQ(server->contentRequests.size(), 1u);
  EXPECT_NE(server->contentRequests[0].find("<parameter name='ElementID'>44</parameter>"),
            std::string::npos);
  EXPECT_EQ(Reported("DocumentGenerated"), "44");
}

TEST_F(PipelineTest, FailedSaveStillCleansUp) {
  fields["parsetree"] = "1";
  server->treeIds = {int32_t{7}, int32_t{9}};
  server->saveContentErrorNumber = int32_t{9};
  server->saveContentErrorText = std::string("disk full");
  Run();
  EXPECT_FALSE(result);
  EXPECT_EQ(status, 9);
  EXPECT_EQ(text, "saveTovrikFileDocument(); Calling SaveContent on server '': disk full");
  EXPECT_EQ(Reported("DocumentGenerated"), "0");
  EXPECT_EQ(Reported("Error"), "9");
  EXPECT_EQ(FilesIn(pages), 0u);
  EXPECT_EQ(FilesIn(out), 0u);
}

TEST_F(PipelineTest, StopsLeaveTheFilesMadeSoFar) {
  fields["parsetree"] = "1";
  server->treeIds = {int32_t{7}, int32_t{9}, int32_t{12}};
  renderer->resultForUrl[PageUrl(9)] = "014";
  Run();
  EXPECT_FALSE(result);
  EXPECT_EQ(status, 1009);
  EXPECT_EQ(text,
            "WebGrabber.CleanUp: WebGrabber.CleanUp: PDF Server general error Webgrabber printer "
            "error");
  EXPECT_EQ(renderer->printedUrls.size(), 2u);
  EXPECT_EQ(FilesIn(pages), 1u);
  EXPECT_EQ(Reported("Error"), "1009");
}

TEST_F(PipelineTest, FailureTable) {
  struct Case {
    const char* name;
    std::function<void(PipelineTest&)> arrange;
    int32_t status;  // 0: any nonzero
    std::string textPrefix;
  };
  const Case cases[] = {
      {"empty tree", [](PipelineTest& t) { t.fields["parsetree"] = "1"; }, 4568,
       "Creating internal class CPDFFetcher: No PDF files could be generated"},
      {"page is not a PDF", [](PipelineTest& t) { t.renderer->pagesForUrl[PageUrl(7)] = -1; }, 0,
       "API call; getNumberOfPages(): "},
      {"merge into a missing folder",
       [](PipelineTest& t) {
         t.fields["parsetree"] = "1";
         t.server->treeIds = {int32_t{7}, int32_t{9}};
         SetSetting(kActivePDFServerKey, kDefaultPDFDirectoryValue,
                    (t.home.path() / "no-such-dir").string());
       },
       0, "Calling mergePDF API on file "},
      {"footer options not well-formed",
       [](PipelineTest& t) { t.fields["footerxml"] = "&lt;root&gt;"; }, 0,
       "Getting footer xml from DOM: "},
      {"missing submitter", [](PipelineTest& t) { t.fields.erase("submitter"); }, 91,
       "Parsing optionsxml (pdfitem/submitter): "},
      {"site setting unavailable", [](PipelineTest& t) { t.server->raiseIn = "ReadSetting"; }, 0,
       "Executing getURLCollection: "},
      {"document manager refuses",
       [](PipelineTest& t) {
         t.server->saveDocumentErrorNumber = int32_t{5001};
         t.server->saveDocumentErrorText = std::string("bad request");
       },
       5001, "saveTovrikFileDocument(); Calling SaveDocument on server '': bad request"},
      {"renderer says time-out",
       [](PipelineTest& t) { t.renderer->resultForUrl[PageUrl(7)] = "099"; }, 99,
       "WebGrabber.CleanUp: WebGrabber.CleanUp: PDF Server general error PDF server time out."},
  };
  for (const Case& c : cases) {
    auto fresh = std::make_shared<FakeContentServer>();
    server = fresh;
    FakeContentServerGuard g(fresh);
    server->siteUrl = std::string(kSite);
    renderer->pagesForUrl.clear();
    renderer->resultForUrl.clear();
    auto savedFields = fields;
    c.arrange(*this);
    Run();
    EXPECT_FALSE(result) << c.name;
    if (c.status != 0) {
      EXPECT_EQ(status, c.status) << c.name;
    } else {
      EXPECT_NE(status, 0) << c.name;
    }
    EXPECT_EQ(text.rfind(c.textPrefix, 0), 0u) << c.name << ": " << text;
    EXPECT_EQ(Reported("Error"), std::to_string(status)) << c.name;
    fields = savedFields;
    SetSetting(kActivePDFServerKey, kDefaultPDFDirectoryValue, out.string());
  }
}

}  // namespace
}  // namespace tovrik
