// Documents on each store through the components: tree order, saving a new and an existing
// document, zero-length content, requests refused, settings.

#include <gtest/gtest.h>

#include "contentserver/Components.h"
#include "contentserver/StoreFixture.h"
#include "platform/XmlDocument.h"

namespace tovrik {
namespace {

std::string Criteria(int32_t id, const std::string& extra = "") {
  return "<root><type>0</type><parameters><parameter name='ID'>" + std::to_string(id) +
         "</parameter><parameter name='WithAdminPrivileges'>0</parameter><parameter "
         "name='WithContent'>0</parameter>" +
         extra + "</parameters></root>";
}

std::string DocRequest(const std::string& name, const std::string& date = "2024-05-01 10:00:00") {
  return "<root><parameters><parameter name='UnitID'>0</parameter><parameter "
         "name='CategoryID'>12</parameter><parameter name='LangID'>1</parameter><parameter "
         "name='ContentType'>application/pdf</parameter><parameter name='Published'>1</parameter>"
         "<parameter name='ElementName'>" +
         XmlEscape(name) + "</parameter><parameter name='PublishDate'>" + date +
         "</parameter><parameter name='SaveToFileName'>A&amp;B.pdf</parameter></parameters></root>";
}

std::string ContentRequest(int32_t id, int32_t size) {
  return "<root><parameters><parameter name='ElementID'>" + std::to_string(id) +
         "</parameter><parameter name='Intro' /><parameter name='ElementImage' /><parameter "
         "name='ElementTarget' /><parameter name='ElementURL' /><parameter name='Content' />"
         "<parameter name='FileSize'>" +
         std::to_string(size) + "</parameter></parameters></root>";
}

class DocumentsTest : public testing::StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    RegisterContentServerProviders();
    Variant n, t;
    session_ = CreateObject<ISessionManager>(kSessionManagerProgId, ServerName())
                   ->OpenSession(1, "<root />", n, t);
  }
  std::vector<int32_t> TreeIds(const std::string& criteria) {
    Variant result;
    CreateObject<IDocumentReader>(kDocumentReaderProgId, ServerName())
        ->ReadDocuments(1, Variant(session_), criteria, 0, result);
    std::vector<int32_t> ids;
    for (auto rs = result.AsRecordset(); !rs->Eof(); rs->MoveNext()) {
      ids.push_back(rs->Field("ElementID").ToInt32());
    }
    return ids;
  }

  int32_t session_ = 0;
};

TEST_P(DocumentsTest, TreeIsDepthFirstInSortOrderWithoutUnpublishedBranches) {
  int32_t root = Seed("root");
  int32_t b = Seed("b", root, "", 2);
  int32_t a = Seed("a", root, "", 1);
  int32_t b1 = Seed("b1", b, "", 5);
  int32_t a2 = Seed("a2", a, "", 9);
  int32_t a1 = Seed("a1", a, "", -3);
  int32_t c = Seed("c", root, "", 2);  // same sort order as b: by number
  Document hidden;
  hidden.name = "hidden";
  hidden.parentId = root;
  hidden.published = false;
  int32_t off = Store()->CreateDocument(hidden);
  Seed("under hidden", off);

  EXPECT_EQ(TreeIds(Criteria(root)), (std::vector<int32_t>{root, a, a1, a2, b, b1, c}));
  EXPECT_EQ(TreeIds(Criteria(b)), (std::vector<int32_t>{b, b1}));
  EXPECT_EQ(TreeIds(Criteria(a1)), (std::vector<int32_t>{a1}));
  EXPECT_TRUE(TreeIds(Criteria(999)).empty());
  EXPECT_TRUE(TreeIds(Criteria(off)).empty());
  // With admin privileges the unpublished branch is listed too.
  std::string admin = Criteria(root);
  admin.replace(admin.find("'WithAdminPrivileges'>0"), 23, "'WithAdminPrivileges'>1");
  EXPECT_EQ(TreeIds(admin).size(), 9u);
  // A date criterion keeps documents published on or after it.
  EXPECT_EQ(TreeIds(Criteria(root, "<parameter name='DateCriteria'>2999-01-01</parameter>")),
            std::vector<int32_t>{});

  for (const std::string& bad :
       {std::string("<root><type>0</type>"), std::string("<x/>"),
        Criteria(root).replace(12, 1, "7"),
        Criteria(root, "<parameter name='DateCriteria'>soon</parameter>")}) {
    Variant result;
    try {
      CreateObject<IDocumentReader>(kDocumentReaderProgId, ServerName())
          ->ReadDocuments(1, Variant(session_), bad, 0, result);
      ADD_FAILURE() << "accepted " << bad;
    } catch (const RaisedError& e) {
      EXPECT_EQ(e.number(), kStoreBadRequest) << bad;
    }
  }
}

TEST_P(DocumentsTest, SavedDocumentsKeepNameAndBytesExactly) {
  Variant number, text, reserved("");
  Variant id =
      CreateObject<IDocumentManager>(kDocumentManagerProgId, ServerName())
          ->SaveDocument(1, Variant(session_), DocRequest("R&D <draft>"), number, text, reserved);
  ASSERT_EQ(number.ToInt32(), 0) << text.ToString();
  const int32_t element = id.ToInt32();
  ASSERT_GT(element, 0);

  std::vector<uint8_t> bytes(70000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
  bytes.push_back(0xEE);  // beyond FileSize: not stored
  auto bin = CreateObject<IDocumentManagerBin>(kDocumentManagerBinProgId, ServerName());
  bin->SaveContent(1, Variant(session_), nullptr, ContentRequest(element, 70000), Variant(bytes), 0,
                   number, text);
  ASSERT_EQ(number.ToInt32(), 0) << text.ToString();

  Document d = *Store()->ReadDocument(element, true);
  EXPECT_EQ(d.name, "R&D <draft>");
  EXPECT_EQ(d.fileName, "A&B.pdf");
  EXPECT_EQ(d.categoryId, 12);
  EXPECT_EQ(d.contentType, "application/pdf");
  EXPECT_EQ(d.publishDate, "2024-05-01 10:00:00");
  bytes.pop_back();
  EXPECT_EQ(d.content, bytes);

  // An existing document: its content is replaced; a zero-length file stores zero bytes.
  bin->SaveContent(1, Variant(session_), nullptr, ContentRequest(element, 0),
                   Variant(Variant::Bytes{0}), 0, number, text);
  ASSERT_EQ(number.ToInt32(), 0);
  d = *Store()->ReadDocument(element, true);
  EXPECT_TRUE(d.hasContent);
  EXPECT_EQ(d.contentSize, 0);
  EXPECT_TRUE(d.content.empty());
}

TEST_P(DocumentsTest, BadDocumentAndContentRequestsAreRefusedThroughTheErrorHolders) {
  auto manager = CreateObject<IDocumentManager>(kDocumentManagerProgId, ServerName());
  struct DocCase {
    std::string request;
    int32_t number;
  } docCases[] = {
      {"<root><parameters>", kStoreBadRequest},
      {DocRequest(""), kStoreBadRequest},
      {DocRequest("x", "yesterday"), kStoreBadRequest},
      {DocRequest("x", "2024-02-30"), kStoreBadRequest},
      {"<root><parameters><parameter name='ElementName'>x</parameter></parameters></root>",
       kStoreBadRequest},
  };
  for (const DocCase& c : docCases) {
    Variant number, text, reserved("");
    Variant id = manager->SaveDocument(1, Variant(session_), c.request, number, text, reserved);
    EXPECT_EQ(number.ToInt32(), c.number) << c.request;
    EXPECT_FALSE(text.ToString().empty());
    EXPECT_TRUE(id.IsNull());
  }
  {
    Variant number, text, reserved("");
    manager->SaveDocument(1, Variant(int32_t{4242}), DocRequest("x"), number, text, reserved);
    EXPECT_EQ(number.ToInt32(), kStoreUnknownSession);
  }
  EXPECT_TRUE(Store()->ListEntries().empty());

  const int32_t element = Seed("target");
  auto bin = CreateObject<IDocumentManagerBin>(kDocumentManagerBinProgId, ServerName());
  struct BinCase {
    std::string request;
    Variant content;
    int32_t number;
  } binCases[] = {
      {ContentRequest(element, 4), Variant(Variant::Bytes{1, 2}), kStoreBadRequest},
      {ContentRequest(element, -1), Variant(Variant::Bytes{1}), kStoreBadRequest},
      {ContentRequest(element, 1), Variant("text"), kStoreBadRequest},
      {ContentRequest(element + 100, 1), Variant(Variant::Bytes{1}), kStoreUnknownDocument},
      {"<root/>", Variant(Variant::Bytes{1}), kStoreBadRequest},
  };
  for (const BinCase& c : binCases) {
    Variant number, text;
    bin->SaveContent(1, Variant(session_), nullptr, c.request, c.content, 0, number, text);
    EXPECT_EQ(number.ToInt32(), c.number) << c.request;
  }
  EXPECT_FALSE(Store()->ReadDocument(element, true)->hasContent);
}

TEST_P(DocumentsTest, ReadSettingGivesTheValueOrReportsThroughTheHolders) {
  Store()->WriteSetting("SiteURL", "http://127.0.0.1:8080/");
  auto settings = CreateObject<ISettingManager>(kSettingManagerProgId, ServerName());
  Variant h1(""), h2(""), result;
  settings->ReadSetting(1, Variant(session_), "siteurl", h1, h2, result);
  EXPECT_EQ(result.ToString(), "http://127.0.0.1:8080/");
  settings->ReadSetting(1, Variant(session_), "Missing", h1, h2, result);
  EXPECT_EQ(result.ToString(), "");
  EXPECT_EQ(h1.ToInt32(), kStoreUnknownSetting);
  EXPECT_EQ(h2.ToString(), "The setting 'Missing' is not set");
}

TOVRIK_INSTANTIATE_STORE_TESTS(DocumentsTest);

}  // namespace
}  // namespace tovrik
