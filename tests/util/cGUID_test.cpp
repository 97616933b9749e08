#include "util/cGUID.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace tovrik {
namespace {

TEST(cGUIDTest, TextIsRegistryFormInUpperCase) {
  cGUID guid;
  const std::string text = guid.GUID();
  ASSERT_EQ(text.size(), 38u);
  EXPECT_TRUE(std::regex_match(
      text,
      std::regex(R"(\{[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\})")))
      << text;
  const std::string bare = guid.GUID2();
  ASSERT_EQ(bare.size(), 36u);
  EXPECT_EQ(bare, text.substr(1, 36));
  for (size_t hyphen : {8u, 13u, 18u, 23u}) EXPECT_EQ(bare[hyphen], '-');
  EXPECT_EQ(bare.find_first_of("{}"), std::string::npos);
}

TEST(cGUIDTest, EveryIdentifierIsNew) {
  std::set<std::string> seen;
  cGUID guid;
  seen.insert(guid.GUID());
  for (int i = 0; i < 1000; ++i) {
    guid.NewGUID();
    EXPECT_EQ(guid.GUID2(), guid.GUID().substr(1, 36));
    seen.insert(guid.GUID());
    seen.insert(cGUID().GUID());
  }
  EXPECT_EQ(seen.size(), 2001u);
}

}  // namespace
}  // namespace tovrik
