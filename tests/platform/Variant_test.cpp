#include "platform/Variant.h"

#include <gtest/gtest.h>

#include "platform/KeyedCollection.h"
#include "platform/ObjectFactory.h"
#include "platform/RaisedError.h"
#include "platform/TextEncoding.h"

namespace tovrik {
namespace {

int32_t ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const RaisedError& e) {
    return e.number();
  }
  return 0;
}

TEST(VariantTest, Conversions) {
  EXPECT_EQ(Variant().ToInt32(), 0);
  EXPECT_EQ(Variant().ToString(), "");
  EXPECT_EQ(Variant(int16_t{-3}).ToInt32(), -3);
  EXPECT_EQ(Variant(std::string(" 12 ")).ToInt32(), 12);
  EXPECT_EQ(Variant(2.5).ToInt32(), 2);
  EXPECT_EQ(Variant(int32_t{7}).ToString(), "7");
  EXPECT_EQ(Variant(true).ToInt32(), -1);
  EXPECT_EQ(ErrorOf([] { Variant(std::string("x")).ToInt32(); }), 13);
  EXPECT_EQ(ErrorOf([] { Variant::Null().ToInt32(); }), 13);
  EXPECT_EQ(ErrorOf([] { Variant::Null().ToString(); }), 13);
  EXPECT_EQ(ErrorOf([] { Variant(int32_t{70000}).ToInt16(); }), 6);
  EXPECT_EQ(ErrorOf([] { Variant(1e12).ToInt32(); }), 6);
  EXPECT_EQ(ErrorOf([] { Variant(int32_t{1}).AsBytes(); }), 13);
  EXPECT_EQ(ErrorOf([] { Variant(std::shared_ptr<Recordset>()).AsRecordset(); }), 91);
}

TEST(VariantTest, MemoryRecordsetWalksRowsAndFindsFieldsWithoutCase) {
  MemoryRecordset rs({{{"ElementID", int32_t{7}}}, {{"ElementID", int32_t{3}}}});
  EXPECT_FALSE(rs.Eof());
  EXPECT_EQ(rs.Field("elementid").ToInt32(), 7);
  EXPECT_EQ(ErrorOf([&] { rs.Field("Name"); }), 3265);
  rs.MoveNext();
  EXPECT_EQ(rs.Field("ElementID").ToInt32(), 3);
  rs.MoveNext();
  EXPECT_TRUE(rs.Eof());
  EXPECT_EQ(ErrorOf([&] { rs.Field("ElementID"); }), 3021);
  EXPECT_EQ(ErrorOf([&] { rs.MoveNext(); }), 3021);
}

TEST(KeyedCollectionTest, KeepsOrderAndRefusesDuplicateKeys) {
  KeyedCollection<int> c;
  c.Add(10, "K1");
  c.Add(20, "K2");
  EXPECT_EQ(ErrorOf([&] { c.Add(30, "k1"); }), 457);
  EXPECT_EQ(c.Count(), 2);
  EXPECT_EQ(c.Item("k2"), 20);
  EXPECT_EQ(ErrorOf([&] { c.Item("K9"); }), 5);
  std::vector<int> seen;
  for (int v : c) seen.push_back(v);
  EXPECT_EQ(seen, (std::vector<int>{10, 20}));
}

struct Thing : ComObject {
  std::string server;
};
struct Other : ComObject {};

TEST(ObjectFactoryTest, ProvidersAreFoundWithoutCaseAndRestored) {
  EXPECT_EQ(ErrorOf([] { CreateObject<Thing>("No.Such", ""); }), kClassNotRegistered);
  {
    ScopedProvider p("Test.Thing", [](const std::string& server) {
      auto t = std::make_unique<Thing>();
      t->server = server;
      return t;
    });
    EXPECT_EQ(CreateObject<Thing>("test.THING", "cms01")->server, "cms01");
    EXPECT_EQ(ErrorOf([] { CreateObject<Other>("Test.Thing", ""); }), kNoInterface);
    {
      ScopedProvider down("Test.Thing", [](const std::string&) -> std::unique_ptr<ComObject> {
        throw RaisedError(kServerUnavailable, "The RPC server is unavailable.");
      });
      EXPECT_EQ(ErrorOf([] { CreateObject<Thing>("Test.Thing", "x"); }), kServerUnavailable);
    }
    EXPECT_EQ(CreateObject<Thing>("Test.Thing", "back")->server, "back");
  }
  EXPECT_EQ(ErrorOf([] { CreateObject<Thing>("Test.Thing", ""); }), kClassNotRegistered);
}

TEST(TextEncodingTest, RoundTripsAndReplacesMalformedInput) {
  const std::string samples[] = {"", "abc", "Sida 3 av 12 – åäö ÅÄÖ straße",
                                 "\xF0\x9F\x93\x84 pdf"};
  for (const std::string& s : samples) EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(s)), s);
  EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x93\x84").size(), 2u);  // one surrogate pair
  EXPECT_EQ(Utf8ToUtf16("a\xFF"
                        "b"),
            u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("\xC3"), u"\uFFFD");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace tovrik
