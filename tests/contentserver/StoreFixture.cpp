#include "contentserver/StoreFixture.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <random>

#include "contentserver/PostgresContentStore.h"
#include "contentserver/SqliteContentStore.h"
#include "contentserver/StoreDate.h"

namespace tovrik::testing {

std::string StoreKindName(const ::testing::TestParamInfo<StoreKind>& info) {
  return info.param == StoreKind::kSqlite ? "Sqlite" : "Postgres";
}

std::optional<std::string> TestServerUri() {
  const char* uri = std::getenv("TOVRIK_TEST_PG");
  if (!uri || !*uri) return std::nullopt;
  return std::string(uri);
}

std::string WithDatabase(const std::string& uri, const std::string& name) {
  const size_t hostStart = uri.find("://") + 3;
  const size_t slash = uri.find('/', hostStart);
  const size_t query = uri.find('?', hostStart);
  const std::string head = uri.substr(0, std::min(slash, query));
  const std::string tail = query == std::string::npos ? "" : uri.substr(query);
  return head + "/" + name + tail;
}

TestDatabase::TestDatabase(const std::string& serverUri, bool migrate) : serverUri_(serverUri) {
  static std::atomic<int> counter{0};
  std::random_device random;
  name_ = "tovrik_t" + std::to_string(getpid()) + "_" + std::to_string(counter++) + "_" +
          std::to_string(random() % 100000);
  uri_ = WithDatabase(serverUri, name_);
  PgConnection admin(PgTargetFor(serverUri));
  admin.Exec("create the test database", "CREATE DATABASE " + name_);
  if (migrate) MigratePostgresSchema(PgTargetFor(uri_));
}

TestDatabase::~TestDatabase() {
  PgConnectionPool::Instance().Clear();
  try {
    PgConnection admin(PgTargetFor(serverUri_));
    admin.Exec("drop the test database", "DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
  } catch (const StoreError& e) {
    ADD_FAILURE() << e.what();
  }
}

void StoreTest::SetUp() {
  if (!postgres()) return;
  TOVRIK_REQUIRE_TEST_PG(server);
  database_ = std::make_unique<TestDatabase>(*server);
}

void StoreTest::TearDown() { database_.reset(); }

std::string StoreTest::ServerName() const { return database_ ? database_->uri() : ""; }

std::unique_ptr<ContentStore> StoreTest::Store(std::function<int64_t()> clock) const {
  if (database_) {
    return std::make_unique<PostgresContentStore>(PgTargetFor(database_->uri()), std::move(clock));
  }
  const std::string path = (home_.path() / "content.db").string();
  if (clock) return std::make_unique<SqliteContentStore>(path, std::move(clock));
  return std::make_unique<SqliteContentStore>(path);
}

int32_t StoreTest::Seed(const std::string& name, int32_t parentId, const std::string& bodyHtml,
                        int32_t sortOrder) const {
  Document d;
  d.name = name;
  d.parentId = parentId;
  d.bodyHtml = bodyHtml;
  d.sortOrder = sortOrder;
  d.publishDate = StoreDateNow();
  return Store()->CreateDocument(d);
}

}  // namespace tovrik::testing
