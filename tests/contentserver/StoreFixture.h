#pragma once
// Test support for running one suite against both content stores: the embedded SQLite file
// and a fresh PostgreSQL database on the tests' server ($TOVRIK_TEST_PG, which
// scripts/with-services sets). Without that server the PostgreSQL cases skip, unless $CI is
// set: then they fail, so CI never passes by skipping them.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "contentserver/ContentStore.h"
#include "contentserver/SiteProcess.h"

namespace tovrik::testing {

enum class StoreKind { kSqlite, kPostgres };

// The stores a test program runs its suites against: built with TOVRIK_TEST_POSTGRES, the
// PostgreSQL store (an "integration" program, run with the services), else the embedded one.
inline std::vector<StoreKind> StoreKindsUnderTest() {
#ifdef TOVRIK_TEST_POSTGRES
  return {StoreKind::kPostgres};
#else
  return {StoreKind::kSqlite};
#endif
}
std::string StoreKindName(const ::testing::TestParamInfo<StoreKind>& info);

// $TOVRIK_TEST_PG, or nullopt.
std::optional<std::string> TestServerUri();

// In a test body or SetUp: skips (or, with $CI set, fails) when there is no test server.
#define TOVRIK_REQUIRE_TEST_PG(uriVariable)                                          \
  const std::optional<std::string> uriVariable = ::tovrik::testing::TestServerUri(); \
  if (!uriVariable) {                                                                \
    if (std::getenv("CI"))                                                           \
      FAIL() << "TOVRIK_TEST_PG is not set (run under scripts/with-services)";       \
    GTEST_SKIP() << "TOVRIK_TEST_PG is not set: PostgreSQL tests skipped";           \
  }

// A database of its own on the server serverUri names, with the content store schema unless
// migrate is false; dropped (with any connections to it) when the object goes.
class TestDatabase {
 public:
  explicit TestDatabase(const std::string& serverUri, bool migrate = true);
  TestDatabase(const TestDatabase&) = delete;
  TestDatabase& operator=(const TestDatabase&) = delete;
  ~TestDatabase();

  // A postgresql:// URI of the database: a server name for the components and commands.
  const std::string& uri() const { return uri_; }

 private:
  std::string serverUri_;
  std::string name_;
  std::string uri_;
};

// The URI of database `name` on the server that uri names.
std::string WithDatabase(const std::string& uri, const std::string& name);

// A private $TOVRIK_HOME and, for PostgreSQL, a fresh database for each test.
class StoreTest : public ::testing::TestWithParam<StoreKind> {
 protected:
  void SetUp() override;
  void TearDown() override;

  bool postgres() const { return GetParam() == StoreKind::kPostgres; }
  // The components' server name for this store: "" or the database's URI.
  std::string ServerName() const;
  // The store itself, on the given clock (milliseconds since the epoch) when one is given.
  std::unique_ptr<ContentStore> Store(std::function<int64_t()> clock = nullptr) const;
  // A published document with today's date, stored directly.
  int32_t Seed(const std::string& name, int32_t parentId = 0, const std::string& bodyHtml = "",
               int32_t sortOrder = 0) const;

  ScopedTovrikHome home_;
  std::unique_ptr<TestDatabase> database_;
};

}  // namespace tovrik::testing

#define TOVRIK_INSTANTIATE_STORE_TESTS(Fixture)                                           \
  INSTANTIATE_TEST_SUITE_P(Stores, Fixture,                                               \
                           ::testing::ValuesIn(::tovrik::testing::StoreKindsUnderTest()), \
                           ::tovrik::testing::StoreKindName)
