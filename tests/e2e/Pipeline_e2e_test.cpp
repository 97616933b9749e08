// End to end, with every real part: the embedded content store, `tovrik site` serving it on
// loopback, `tovrik print-server` printing with headless Chromium, libpdfmisc, and the
// registry store, all under one temporary state folder. The worker runs in this process.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "config/WorkerConfig.h"
#include "config/cRegistry.h"
#include "contentserver/Components.h"
#include "contentserver/ContentStore.h"
#include "contentserver/SiteProcess.h"
#include "outside/ContentServer.h"
#include "pdf/PdfMisc.h"
#include "platform/ObjectFactory.h"
#include "printserver/ClientObjects.h"
#include "printserver/PrintServerProcess.h"
#include "support/PdfText.h"
#include "worker/CWorker.h"

namespace tovrik {
namespace {

namespace fs = std::filesystem;

using testing::PdfPageText;

int Pages(const fs::path& pdf) {
  int32_t status = 0;
  std::string text;
  const int32_t n = getNumberOfPages(pdf.string(), status, text);
  return status == 0 ? n : -1;
}

size_t FilesIn(const fs::path& dir) {
  size_t n = 0;
  for (const auto& e : fs::directory_iterator(dir)) n += e.is_regular_file() ? 1 : 0;
  return n;
}

std::string Body(const std::string& title, int paragraphs) {
  std::string html = "<h2>" + title + "</h2>";
  for (int i = 0; i < paragraphs; ++i) {
    html += "<p>Stycke " + std::to_string(i + 1) +
            ": Tovrik skriver ut webbplatsens sidor till PDF. Every page of the published site "
            "can be printed, merged and stamped with page numbers.</p>";
  }
  return html;
}

class EndToEndTest : public ::testing::Test {
 public:
  static void SetUpTestSuite() {
    RegisterContentServerProviders();
    printserver::RegisterClientObjects();
    home_ = std::make_unique<testing::ScopedTovrikHome>();
    const fs::path h = home_->path();
    fs::create_directories(h / "pdf-out");
    fs::create_directories(h / "preview");
    SetSetting(kActivePDFServerKey, kDefaultPDFDirectoryValue, (h / "pdf-out").string());
    SetSetting(kPDFServerKey, kBaseFilePathValue, (h / "preview").string());
    SetSetting(kPDFServerKey, kBaseURLValue, "http://previews.example/p");
    root_ = testing::SeedDocument(h, "Handbok", 0, Body("Titelsida", 2), 0);
    chapters_[0] = testing::SeedDocument(h, "Kapitel 1", root_, Body("Kapitel 1", 40), 1);
    chapters_[1] = testing::SeedDocument(h, "Kapitel 2", root_, Body("Kapitel 2", 3), 2);
    site_ = std::make_unique<testing::SiteProcess>(h, std::vector<std::string>{"--set-site-url"});
    testing::PrintServerOptions options;
    options.home = h.string();
    options.extraArgs = {"--pool", "1"};
    printServer_ = std::make_unique<testing::PrintServerProcess>(options);
    ::setenv("TOVRIK_PRINT_SERVER", printServer_->address().c_str(), 1);
  }

  static void TearDownTestSuite() {
    printServer_.reset();
    site_.reset();
    ::unsetenv("TOVRIK_PRINT_SERVER");
    home_.reset();
  }

 protected:
  static void SetSetting(const char* key, const char* value, const std::string& data) {
    cRegistry().SaveRegistryString(HKEY_LOCAL_MACHINE, key, value, data);
  }
  static fs::path HomePath() { return home_->path(); }
  static fs::path OutDir() { return home_->path() / "pdf-out"; }

  int32_t Enqueue(const QueueJob& job) { return testing::SeedQueueEntry(HomePath(), job); }

  // Runs one StartJob call and returns the entry as the queue recorded it.
  QueueEntry RunEntry(int32_t entryId) {
    CWorker worker;
    result_ = worker.StartJob("", 1, status_, text_);
    EXPECT_EQ(worker.LastJob().QueueEntryID, entryId);
    auto store = OpenContentStore("");
    std::optional<QueueEntry> entry = store->FindEntry(entryId);
    EXPECT_TRUE(entry.has_value());
    return entry.value_or(QueueEntry{});
  }

  fs::path StoredPdf(int32_t documentId) {
    auto store = OpenContentStore("");
    std::optional<Document> doc = store->ReadDocument(documentId, true);
    const fs::path file = HomePath() / ("stored-" + std::to_string(documentId) + ".pdf");
    if (!doc) return file;
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(doc->content.data()),
              static_cast<std::streamsize>(doc->content.size()));
    return file;
  }

  static inline std::unique_ptr<testing::ScopedTovrikHome> home_;
  static inline std::unique_ptr<testing::SiteProcess> site_;
  static inline std::unique_ptr<testing::PrintServerProcess> printServer_;
  static inline int32_t root_ = 0;
  static inline int32_t chapters_[2] = {0, 0};

  bool result_ = false;
  int32_t status_ = 0;
  std::string text_;
};

TEST_F(EndToEndTest, TreeJobWithFootersIsStoredAndReported) {
  QueueJob job = testing::MakeJob(root_, true, "Handbok");
  job.documentguid = "handbok";
  job.footerxml =
      "<root><usefooter>1</usefooter><startfrompage>1</startfrompage>"
      "<footertext>Sida $currentpage av $totalpages</footertext>"
      "<footerleft>20</footerleft><footertop>270</footertop><footerwidth>150</footerwidth></root>";
  const int32_t entryId = Enqueue(job);
  const QueueEntry entry = RunEntry(entryId);

  EXPECT_TRUE(result_) << text_;
  EXPECT_EQ(status_, 0);
  EXPECT_EQ(text_, "Calling endProcessing after processing: ");
  ASSERT_TRUE(entry.outcome.has_value());
  EXPECT_EQ(entry.state, QueueState::kDone);
  EXPECT_EQ(entry.outcome->containingDocuments, std::to_string(root_) + "," +
                                                    std::to_string(chapters_[0]) + "," +
                                                    std::to_string(chapters_[1]));
  const fs::path stored = StoredPdf(entry.outcome->documentGenerated);
  const int pages = Pages(stored);
  ASSERT_GE(pages, 4);  // the long chapter takes more than one page
  for (int p = 1; p <= pages; ++p) {
    EXPECT_NE(
        PdfPageText(stored, p).find("Sida " + std::to_string(p) + " av " + std::to_string(pages)),
        std::string::npos)
        << "page " << p;
  }
  EXPECT_NE(PdfPageText(stored, 1).find("Titelsida"), std::string::npos);
  auto reports = OpenContentStore("")->ReportsOf(entryId);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[1].kind, "end");
  EXPECT_TRUE(reports[1].accepted);
  EXPECT_EQ(FilesIn(OutDir()), 0u);
}

TEST_F(EndToEndTest, OnePageJobAndPreviewJob) {
  int32_t entryId = Enqueue(testing::MakeJob(chapters_[1], false, "Kapitel 2"));
  QueueEntry entry = RunEntry(entryId);
  EXPECT_TRUE(result_) << text_;
  EXPECT_EQ(entry.outcome->containingDocuments, std::to_string(chapters_[1]));
  EXPECT_EQ(Pages(StoredPdf(entry.outcome->documentGenerated)), 1);
  EXPECT_EQ(FilesIn(OutDir()), 0u);

  QueueJob preview = testing::MakeJob(chapters_[1], false, "Förhandsvisning");
  preview.issynchronous = "1";
  entryId = Enqueue(preview);
  entry = RunEntry(entryId);
  ASSERT_TRUE(result_) << text_;
  const std::string prefix = "http://previews.example/p/";
  ASSERT_EQ(entry.outcome->url.rfind(prefix, 0), 0u) << entry.outcome->url;
  const fs::path copy = HomePath() / "preview" / entry.outcome->url.substr(prefix.size());
  EXPECT_EQ(Pages(copy), 1);
  EXPECT_NE(PdfPageText(copy, 1).find("Kapitel 2"), std::string::npos);
  EXPECT_EQ(entry.outcome->documentGenerated, 0);
  EXPECT_EQ(FilesIn(OutDir()), 0u);
}

TEST_F(EndToEndTest, PreviewWithoutBaseUrlFailsUnderTheLastStage) {
  SetSetting(kPDFServerKey, kBaseURLValue, "");
  QueueJob preview = testing::MakeJob(chapters_[1], false, "Förhandsvisning");
  preview.issynchronous = "1";
  const QueueEntry entry = RunEntry(Enqueue(preview));
  SetSetting(kPDFServerKey, kBaseURLValue, "http://previews.example/p");
  EXPECT_FALSE(result_);
  EXPECT_EQ(status_, 4569);
  EXPECT_EQ(text_, "Building cPDF_File_Information: The baseurl registry setting was not found");
  EXPECT_EQ(entry.state, QueueState::kFailed);
  for (const auto& f : fs::directory_iterator(OutDir())) fs::remove(f.path());
}

TEST_F(EndToEndTest, MissingPageFailsWithTheRendererStageTwice) {
  // The store only lists published documents, so a missing page is a list that names one the
  // site does not have: the document reader is replaced for this job alone.
  struct Reader : IDocumentReader {
    int32_t first;
    explicit Reader(int32_t f) : first(f) {}
    void ReadDocuments(int32_t, const Variant&, const std::string&, int32_t,
                       Variant& result) override {
      std::vector<MemoryRecordset::Row> rows = {{{"ElementID", first}},
                                                {{"ElementID", int32_t{987654}}}};
      result = Variant(std::shared_ptr<Recordset>(std::make_shared<MemoryRecordset>(rows)));
    }
  };
  const int32_t first = chapters_[1];
  ScopedProvider reader(kDocumentReaderProgId,
                        [first](const std::string&) { return std::make_unique<Reader>(first); });
  const QueueEntry entry = RunEntry(Enqueue(testing::MakeJob(root_, true, "Trasig")));
  EXPECT_FALSE(result_);
  EXPECT_EQ(status_, 1009);
  EXPECT_EQ(text_,
            "WebGrabber.CleanUp: WebGrabber.CleanUp: PDF Server general error Webgrabber printer "
            "error");
  EXPECT_EQ(entry.outcome->error, 1009);
  EXPECT_EQ(FilesIn(OutDir()), 1u);  // the first page's file stays
  for (const auto& f : fs::directory_iterator(OutDir())) fs::remove(f.path());
}

TEST_F(EndToEndTest, FailedSaveLeavesNoIntermediateFiles) {
  QueueJob job = testing::MakeJob(root_, true, "Handbok");
  job.destinationdocumentid = "987654";  // no such document
  const QueueEntry entry = RunEntry(Enqueue(job));
  EXPECT_FALSE(result_);
  EXPECT_NE(status_, 0);
  EXPECT_EQ(text_.rfind("saveTovrikFileDocument(); Calling SaveContent on server '': ", 0), 0u)
      << text_;
  EXPECT_EQ(entry.state, QueueState::kFailed);
  EXPECT_EQ(FilesIn(OutDir()), 0u);
}

TEST_F(EndToEndTest, EntryWithoutSubmitterEndsFailed) {
  QueueJob job = testing::MakeJob(root_, false, "Utan inlämnare");
  job.submitter.reset();
  const QueueEntry entry = RunEntry(Enqueue(job));
  EXPECT_FALSE(result_);
  EXPECT_EQ(status_, 91);
  const std::string expected =
      "Parsing optionsxml (pdfitem/submitter): Object variable or With block variable not set";
  EXPECT_EQ(text_, expected);
  EXPECT_EQ(entry.state, QueueState::kFailed);
  ASSERT_TRUE(entry.outcome.has_value());
  EXPECT_EQ(entry.outcome->error, 91);
  EXPECT_EQ(entry.outcome->errorMessage, expected);
}

}  // namespace
}  // namespace tovrik
