// saveTovrikFileDocument through its request texts: fakes for the refusal paths, the real
// embedded store for the bytes.

#include <gtest/gtest.h>

#include <fstream>

#include "contentserver/Components.h"
#include "contentserver/SiteProcess.h"
#include "contentserver/SqliteContentStore.h"
#include "store/SaveDocument.h"

namespace tovrik {
namespace {

struct Calls {
  std::vector<std::string> documentRequests;
  std::vector<std::string> contentRequests;
  std::vector<Variant::Bytes> contents;
  Variant documentResult = Variant(int32_t{55});
  Variant documentError = Variant(int32_t{0});
  Variant contentError = Variant();
};

class FakeManager : public IDocumentManager {
 public:
  explicit FakeManager(Calls* c) : c_(c) {}
  Variant SaveDocument(int32_t, const Variant&, const std::string& request, Variant& number,
                       Variant& text, Variant&) override {
    c_->documentRequests.push_back(request);
    number = c_->documentError;
    text = Variant("refused by fake");
    return c_->documentResult;
  }

 private:
  Calls* c_;
};

class FakeBin : public IDocumentManagerBin {
 public:
  explicit FakeBin(Calls* c) : c_(c) {}
  Variant SaveContent(int32_t, const Variant&, IRequest*, const std::string& request,
                      const Variant& content, int32_t, Variant& number, Variant&) override {
    c_->contentRequests.push_back(request);
    c_->contents.push_back(content.AsBytes());
    number = c_->contentError;
    return Variant();
  }

 private:
  Calls* c_;
};

class SaveDocumentTest : public ::testing::Test {
 protected:
  std::string WriteFile(const std::string& name, const std::string& bytes) {
    std::string path = (home_.path() / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  void Save(const std::string& server, int32_t& element, const std::string& file) {
    saveTovrikFileDocument(server, session_, 1, element, 3, "R&D <draft>", file, "G.pdf", true,
                           status_, text_, point_);
  }
  void UseFakes() {
    manager_ = std::make_unique<ScopedProvider>(kDocumentManagerProgId, [this](const std::string&) {
      return std::make_unique<FakeManager>(&calls_);
    });
    bin_ = std::make_unique<ScopedProvider>(kDocumentManagerBinProgId, [this](const std::string&) {
      return std::make_unique<FakeBin>(&calls_);
    });
  }

  testing::ScopedTovrikHome home_;
  Calls calls_;
  std::unique_ptr<ScopedProvider> manager_, bin_;
  int32_t session_ = 0;
  int32_t status_ = -1;
  std::string text_, point_ = "Pipeline stage: ";
};

TEST_F(SaveDocumentTest, RequestTextsAreExact) {
  EXPECT_EQ(DocumentRequest(12, true, "R&D <draft>", "2024-05-01 10:00:00", "a'b.pdf"),
            "<root><parameters><parameter name='UnitID'>0</parameter><parameter "
            "name='CategoryID'>12</parameter><parameter name='LangID'>1</parameter><parameter "
            "name='ContentType'>application/pdf</parameter><parameter name='Published'>1"
            "</parameter><parameter name='ElementName'>R&amp;D &lt;draft&gt;</parameter>"
            "<parameter name='PublishDate'>2024-05-01 10:00:00</parameter><parameter "
            "name='SaveToFileName'>a&apos;b.pdf</parameter></parameters></root>");
  EXPECT_NE(
      DocumentRequest(-1, false, "", "", "").find("<parameter name='Published'>0</parameter>"),
      std::string::npos);
  EXPECT_EQ(ContentRequest(-3, 0),
            "<root><parameters><parameter name='ElementID'>-3</parameter><parameter name='Intro' "
            "/><parameter name='ElementImage' /><parameter name='ElementTarget' /><parameter "
            "name='ElementURL' /><parameter name='Content' /><parameter name='FileSize'>0"
            "</parameter></parameters></root>");
  std::tm noon{};
  noon.tm_year = 124, noon.tm_mon = 4, noon.tm_mday = 1, noon.tm_hour = 13, noon.tm_min = 5,
  noon.tm_isdst = -1;
  EXPECT_EQ(GeneralDate(std::mktime(&noon)), "2024-05-01 13:05:00");
  std::tm midnight = noon;
  midnight.tm_hour = 0, midnight.tm_min = 0, midnight.tm_isdst = -1;
  EXPECT_EQ(GeneralDate(std::mktime(&midnight)), "2024-05-01");
}

TEST_F(SaveDocumentTest, MissingFileIsFileNotFoundAndTouchesNothing) {
  UseFakes();
  std::filesystem::create_directories(home_.path() / "dir");
  for (const std::string& file : {std::string(), (home_.path() / "none.pdf").string(),
                                  (home_.path() / "dir").string(), WriteFile(".hidden.pdf", "x")}) {
    int32_t element = 0;
    Save("", element, file);
    EXPECT_EQ(status_, 53) << file;
    EXPECT_EQ(text_, "File not found");
    EXPECT_EQ(point_, "Pipeline stage: ");
  }
  EXPECT_TRUE(calls_.documentRequests.empty());
  EXPECT_TRUE(calls_.contentRequests.empty());
}

TEST_F(SaveDocumentTest, FakePathsExistingZeroLengthRefusedAndNull) {
  UseFakes();
  const std::string empty = WriteFile("empty.pdf", "");
  int32_t element = 812;  // existing: no document request
  Save("", element, empty);
  EXPECT_EQ(status_, 0);
  EXPECT_TRUE(calls_.documentRequests.empty());
  ASSERT_EQ(calls_.contentRequests.size(), 1u);
  EXPECT_EQ(calls_.contentRequests[0], ContentRequest(812, 0));
  EXPECT_EQ(calls_.contents[0], Variant::Bytes{0});  // one element of value 0
  EXPECT_EQ(point_, "saveTovrikFileDocument(); Calling SaveContent on server '': ");

  calls_.documentError = Variant(int32_t{5001});  // SaveDocument refuses: no SaveContent
  element = 0;
  Save("", element, empty);
  EXPECT_EQ(status_, 5001);
  EXPECT_EQ(text_, "refused by fake");
  EXPECT_EQ(element, 0);
  EXPECT_EQ(calls_.contentRequests.size(), 1u);

  calls_.documentError = Variant();  // success with a Null result: element 0
  calls_.documentResult = Variant::Null();
  calls_.contentError = Variant(int32_t{-7});
  Save("", element, empty);
  EXPECT_EQ(element, 0);
  EXPECT_EQ(calls_.contentRequests.back(), ContentRequest(0, 0));
  EXPECT_EQ(status_, -7);
  EXPECT_EQ(text_, "");
}

TEST_F(SaveDocumentTest, RealStoreKeepsTheBytesAndReportsUnreachableServers) {
  RegisterContentServerProviders();
  Variant n, t;
  session_ =
      CreateObject<ISessionManager>(kSessionManagerProgId, "")->OpenSession(1, "<root />", n, t);
  std::string bytes = "%PDF-1.4\n";
  for (int i = 0; i < 5000; ++i) bytes += static_cast<char>(i % 256);
  const std::string file = WriteFile("out.pdf", bytes);

  int32_t element = 0;
  Save("", element, file);
  ASSERT_EQ(status_, 0) << text_;
  EXPECT_EQ(text_, "Success");
  ASSERT_GT(element, 0);
  SqliteContentStore store((home_.path() / "content.db").string());
  Document d = *store.ReadDocument(element, true);
  EXPECT_EQ(d.name, "R&D <draft>");
  EXPECT_EQ(d.fileName, "G.pdf");
  EXPECT_EQ(d.categoryId, 3);
  EXPECT_EQ(std::string(d.content.begin(), d.content.end()), bytes);

  // Saving again into the existing document replaces the content.
  Save("", element, WriteFile("two.pdf", "%PDF-2"));
  EXPECT_EQ(status_, 0);
  d = *store.ReadDocument(element, true);
  EXPECT_EQ(std::string(d.content.begin(), d.content.end()), "%PDF-2");

  int32_t fresh = 0;
  Save("far-away", fresh, file);
  EXPECT_EQ(status_, kServerUnavailable);
  EXPECT_EQ(text_.rfind("The RPC server is unavailable", 0), 0u) << text_;
  EXPECT_EQ(point_,
            "saveTovrikFileDocument(); Creating remote instance of TovrikSrv32.DocumentManager on "
            "server 'far-away': ");
}

}  // namespace
}  // namespace tovrik
