// tovrik content and tovrik site with --server naming a PostgreSQL database: init creates and
// then keeps the schema, the admin commands work on it, and the site serves its documents.

#include <gtest/gtest.h>
#include <httplib.h>

#include "contentserver/PostgresContentStore.h"
#include "contentserver/StoreFixture.h"

namespace tovrik {
namespace {

TEST(PgCommandsTest, InitThenContentCommandsAndTheSiteWorkOnTheDatabase) {
  TOVRIK_REQUIRE_TEST_PG(server);
  testing::ScopedTovrikHome home;
  testing::TestDatabase database(*server, false);
  const std::string uri = database.uri();
  std::string out;

  // Before init: a clear refusal that says what to run.
  EXPECT_EQ(testing::RunContentCommand(home.path(), {"queue", "--server", uri}), 1);
  ASSERT_EQ(testing::RunContentCommand(home.path(), {"init", "--server", uri}, &out), 0);
  EXPECT_EQ(out, uri + "\n");
  ASSERT_EQ(testing::RunContentCommand(home.path(), {"--server", uri, "init"}), 0);  // again
  {
    PgConnection db(PgTargetFor(uri));
    PgResult versions = db.Exec("versions", "SELECT version FROM schema_version");
    ASSERT_EQ(versions.rows(), 1);
    EXPECT_EQ(versions.Int32(0, 0), kPostgresSchemaVersion);
  }

  ASSERT_EQ(testing::RunContentCommand(
                home.path(), {"add-document", "--name", "R&D <report>", "--server", uri}, &out),
            0);
  const std::string page = out.substr(0, out.find('\n'));
  ASSERT_EQ(testing::RunContentCommand(
                home.path(), {"enqueue", "--document", page, "--tree", "--server", uri}, &out),
            0);
  ASSERT_EQ(testing::RunContentCommand(home.path(), {"queue", "--json", "--server", uri}, &out), 0);
  EXPECT_NE(out.find("\"state\": \"waiting\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"documentid\": \"" + page + "\""), std::string::npos) << out;

  testing::SiteProcess site(home.path(), {"--server", uri, "--set-site-url"});
  ASSERT_EQ(
      testing::RunContentCommand(home.path(), {"get-setting", "SiteURL", "--server", uri}, &out),
      0);
  EXPECT_EQ(out, site.url() + "\n");
  httplib::Client client("127.0.0.1", site.port());
  client.set_connection_timeout(5);
  client.set_read_timeout(10);
  auto r = client.Get(("/default_pdfget.asp?id=" + page).c_str());
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 200);
  EXPECT_NE(r->body.find("<title>R&amp;D &lt;report&gt;</title>"), std::string::npos);
  auto missing = client.Get("/default.asp?id=99999");
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->status, 404);
}

}  // namespace
}  // namespace tovrik
