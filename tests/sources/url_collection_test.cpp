// The URL list through its request texts: fakes for the setting manager and document reader,
// and once against the real embedded store.

#include <gtest/gtest.h>

#include "contentserver/Components.h"
#include "contentserver/SiteProcess.h"
#include "sources/URLCollection.h"

namespace tovrik {
namespace {

struct Seen {
  std::string siteURL;
  std::vector<Variant> elementIds;
  std::vector<std::string> criteria;
  int settingCalls = 0;
};

class FakeSettings : public ISettingManager {
 public:
  explicit FakeSettings(Seen* seen) : seen_(seen) {}
  void ReadSetting(int32_t, const Variant&, const std::string& name, Variant&, Variant&,
                   Variant& result) override {
    ++seen_->settingCalls;
    result = name == "SiteURL" ? Variant(seen_->siteURL) : Variant();
  }

 private:
  Seen* seen_;
};

class FakeReader : public IDocumentReader {
 public:
  explicit FakeReader(Seen* seen) : seen_(seen) {}
  void ReadDocuments(int32_t, const Variant&, const std::string& criteria, int32_t,
                     Variant& result) override {
    seen_->criteria.push_back(criteria);
    std::vector<MemoryRecordset::Row> rows;
    for (const Variant& id : seen_->elementIds) rows.push_back({{"ElementID", id}});
    result = Variant(std::shared_ptr<Recordset>(std::make_shared<MemoryRecordset>(rows)));
  }

 private:
  Seen* seen_;
};

class URLCollectionTest : public ::testing::Test {
 protected:
  std::vector<std::tuple<std::string, int32_t, int32_t>> List(int32_t document,
                                                              const std::string& query, bool tree,
                                                              int32_t resolution) {
    std::vector<std::tuple<std::string, int32_t, int32_t>> out;
    auto list = getURLCollection(1, 2, "", document, query, tree, resolution);
    for (int32_t i = 0; i < list.Count(); ++i) {
      const CPDF_URL_Info& info = list.Item("K" + std::to_string(i + 1));
      EXPECT_EQ(list.KeyAt(static_cast<size_t>(i)), "K" + std::to_string(i + 1));
      out.emplace_back(info.URL(), info.index(), info.id());
    }
    return out;
  }

  Seen seen_;
  ScopedProvider settings_{kSettingManagerProgId, [this](const std::string&) {
                             return std::make_unique<FakeSettings>(&seen_);
                           }};
  ScopedProvider reader_{kDocumentReaderProgId, [this](const std::string&) {
                           return std::make_unique<FakeReader>(&seen_);
                         }};
};

TEST_F(URLCollectionTest, CriteriaRequestIsExact) {
  EXPECT_EQ(DocumentCriteriaRequest(42, ""),
            "<root><type>0</type><parameters><parameter name='ID'>42</parameter><parameter "
            "name='WithAdminPrivileges'>0</parameter><parameter name='WithContent'>0</parameter>"
            "</parameters></root>");
  EXPECT_NE(DocumentCriteriaRequest(-7, "2024-02-29").find("<parameter name='ID'>-7</parameter>"),
            std::string::npos);
  EXPECT_NE(DocumentCriteriaRequest(1, "2024-02-29")
                .find("<parameter name='DateCriteria'>2024-02-29</parameter></parameters>"),
            std::string::npos);
  for (const char* notDate : {"", "yesterday", "2023-02-29", "13/1/2024", "2024-01-01 25:00"}) {
    EXPECT_EQ(DocumentCriteriaRequest(1, notDate).find("DateCriteria"), std::string::npos)
        << notDate;
  }
}

TEST_F(URLCollectionTest, SingleDocumentPageSlashAndQuery) {
  struct Case {
    std::string site;
    int32_t document;
    std::string query;
    int32_t resolution;
    std::string url;
  } cases[] = {
      {"http://h/site/", 42, "&lang=en", 2, "http://h/site/default.asp?id=42&lang=en"},
      {"http://h/site", 42, "", 1, "http://h/site/default_pdfget.asp?id=42"},
      {"", 0, "", 0, "/default.asp?id=0"},
      {"http://h//", -5, "x y", 7, "http://h//default.asp?id=-5x y"},
  };
  for (const Case& c : cases) {
    seen_.siteURL = c.site;
    auto list = List(c.document, c.query, false, c.resolution);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], std::make_tuple(c.url, 1, c.document));
  }
  EXPECT_TRUE(seen_.criteria.empty());  // no tree asked for
}

TEST_F(URLCollectionTest, TreeFollowsTheRecordsetOrder) {
  seen_.siteURL = "http://s";
  seen_.elementIds = {Variant(int32_t{7}), Variant(int32_t{3}), Variant(int32_t{9})};
  auto list = List(7, "&a=1", true, 1);
  EXPECT_EQ(seen_.criteria, std::vector<std::string>{DocumentCriteriaRequest(7, "")});
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0], std::make_tuple(std::string("http://s/default_pdfget.asp?id=7&a=1"), 1, 7));
  EXPECT_EQ(list[1], std::make_tuple(std::string("http://s/default_pdfget.asp?id=3&a=1"), 2, 3));
  EXPECT_EQ(list[2], std::make_tuple(std::string("http://s/default_pdfget.asp?id=9&a=1"), 3, 9));

  seen_.elementIds.clear();
  EXPECT_TRUE(List(7, "", true, 2).empty());

  seen_.elementIds = {Variant(int32_t{1}), Variant::Null()};
  try {
    getURLCollection(1, 2, "", 1, "", true, 2);
    FAIL() << "a null ElementID must raise";
  } catch (const RaisedError& e) {
    EXPECT_EQ(e.number(), kErrTypeMismatch);
  }
}

TEST(URLCollectionStoreTest, TreeFromTheEmbeddedStore) {
  testing::ScopedTovrikHome home;
  RegisterContentServerProviders();
  const int32_t top = testing::SeedDocument(home.path(), "top");
  const int32_t second = testing::SeedDocument(home.path(), "second", top, "", 2);
  const int32_t first = testing::SeedDocument(home.path(), "first", top, "", 1);
  testing::SeedSetting(home.path(), "SiteURL", "http://127.0.0.1:9/");
  Variant n, t;
  const int32_t session =
      CreateObject<ISessionManager>(kSessionManagerProgId, "")->OpenSession(1, "<root />", n, t);
  auto list = getURLCollection(1, session, "", top, "", true, 2);
  std::vector<int32_t> ids;
  for (const CPDF_URL_Info& info : list) ids.push_back(info.id());
  EXPECT_EQ(ids, (std::vector<int32_t>{top, first, second}));
  EXPECT_EQ(list.Item("K2").URL(), "http://127.0.0.1:9/default.asp?id=" + std::to_string(first));
  // A server name that reaches nothing raises its failure code.
  try {
    getURLCollection(1, session, "elsewhere", top, "", false, 2);
    FAIL();
  } catch (const RaisedError& e) {
    EXPECT_EQ(e.number(), kServerUnavailable);
  }
}

}  // namespace
}  // namespace tovrik
