#include "config/WorkerConfig.h"

#include <gtest/gtest.h>

#include "config/cRegistry.h"
#include "platform/RegistryTestHome.h"

namespace tovrik {
namespace {

TEST(WorkerConfigTest, NormalisationAppendsTheEndingOnce) {
  struct Case {
    const char* value;
    char ending;
    const char* expected;
  };
  const Case cases[] = {
      {"", '/', ""},
      {"/", '/', "/"},
      {"http://host/pdf", '/', "http://host/pdf/"},
      {"http://host/pdf/", '/', "http://host/pdf/"},
      {"/srv/out", '/', "/srv/out/"},
      {"/srv/out/", '/', "/srv/out/"},
      {" /srv/out ", '/', " /srv/out /"},
      {"C:\\out\\", '/', "C:\\out\\/"},
  };
  for (const Case& c : cases) EXPECT_EQ(NormaliseSetting(c.value, c.ending), c.expected) << c.value;
}

TEST(WorkerConfigTest, ReadsAndNormalisesTheThreeSettings) {
  testing::ScopedRegistryHome home;
  std::string url = "stale", files = "stale", pdfs = "stale";
  getURLData(url, files, pdfs);
  EXPECT_EQ(url, "");
  EXPECT_EQ(files, "");
  EXPECT_EQ(pdfs, "");

  cRegistry registry;
  registry.SaveRegistryString(HKEY_LOCAL_MACHINE, kPDFServerKey, kBaseURLValue,
                              "http://localhost/preview");
  registry.SaveRegistryString(HKEY_LOCAL_MACHINE, kPDFServerKey, kBaseFilePathValue,
                              "/srv/preview/");
  getURLData(url, files, pdfs);
  EXPECT_EQ(url, "http://localhost/preview/");
  EXPECT_EQ(files, "/srv/preview/");
  EXPECT_EQ(pdfs, "");  // no ActivePDFServer key at all: empty, no error

  registry.SaveRegistryString(HKEY_LOCAL_MACHINE, "software\\activepdfserver",
                              "defaultpdfdirectory", "/srv/out");
  // A value in the user hive does not count.
  registry.SaveRegistryString(HKEY_CURRENT_USER, kPDFServerKey, kBaseURLValue, "http://user/");
  getURLData(url, files, pdfs);
  EXPECT_EQ(url, "http://localhost/preview/");
  EXPECT_EQ(pdfs, "/srv/out/");
}

TEST(WorkerConfigTest, NewGUIDsAreFreshStems) {
  const std::string a = getNewGUID(), b = getNewGUID();
  EXPECT_EQ(a.size(), 36u);
  EXPECT_NE(a, b);
  EXPECT_EQ(a.find_first_of("{}abcdef"), std::string::npos);
}

}  // namespace
}  // namespace tovrik
