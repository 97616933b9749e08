#pragma once
// The content store on a PostgreSQL server, shared by workers on many machines. Same records,
// rules and answers as the embedded store. The queue hands out entries with
// SELECT ... FOR UPDATE SKIP LOCKED in short transactions, so claims never wait on each other.
// Lease times run on the database server's clock, so machines need not agree on the time.
//
// Lease rules. A claim leases the oldest waiting entry to the claiming session for
// QueueLeaseSeconds (default 1800) and counts one attempt; the lease's token is that pair
// (session, attempt). The driver opens a new session for every job, so a session number
// stands for one claim. SetProcessingStarted and SetProcessingEnded lock the entry's row and
// are accepted only from the session that holds the current lease (else 5004, or 5005 once
// the entry has ended, 5003 for an unknown entry); every report is kept with the attempt it
// came in, accepted or not. An accepted start renews the lease from that moment; nothing
// else renews it, and a refused report changes nothing. Each claim first sweeps expired
// leases: back to waiting, or, after QueueMaxAttempts attempts, failed with 5009. A holder
// whose lease ran out may still report as long as no other session has taken the entry over;
// after a take-over its reports are refused and cannot overwrite the new owner's outcome.
//
// One object holds one connection, taken from the per-process pool and given back when the
// object goes; it is used by one thread at a time. The schema is made and migrated only by
// MigratePostgresSchema (`tovrik content init --server NAME`); opening a store whose schema
// is missing or of another version throws StoreError saying what to run.

#include <functional>
#include <memory>
#include <string>

#include "contentserver/ContentStore.h"
#include "contentserver/PostgresConnection.h"

namespace tovrik {

// The schema version this program reads and writes.
inline constexpr int kPostgresSchemaVersion = 1;

struct SchemaMigration {
  int from = 0;  // 0: the database had no content store tables
  int to = 0;
};
// Creates the tables, or brings them up to kPostgresSchemaVersion, in one transaction under an
// advisory lock (two inits at once are safe). Throws StoreError, also for a database whose
// schema is newer than this program.
SchemaMigration MigratePostgresSchema(const PgTarget& target);
// Throws StoreError unless db's schema is at kPostgresSchemaVersion; the message says to run
// `tovrik content init --server NAME` when the tables are missing or older.
void CheckPostgresSchema(PgConnection& db);

class PostgresContentStore : public ContentStore {
 public:
  // Milliseconds since the Unix epoch; when empty the database server's clock is used.
  using Clock = std::function<int64_t()>;

  // Takes a connection to target from the pool (connecting when none is idle) and checks the
  // schema version on a new connection; throws StoreError.
  explicit PostgresContentStore(const PgTarget& target, Clock clock = nullptr);
  ~PostgresContentStore() override;

  std::string Location() const override;
  int32_t OpenSession(int32_t connectionId, const std::string& request) override;
  bool SessionExists(int32_t sessionId) override;
  int32_t Enqueue(const QueueJob& job) override;
  std::optional<QueueEntry> ClaimNext(int32_t sessionId) override;
  StoreStatus MarkStarted(int32_t entryId, int32_t sessionId, const std::string& request) override;
  StoreStatus MarkEnded(int32_t entryId, int32_t sessionId, const QueueOutcome& outcome,
                        const std::string& request) override;
  std::vector<QueueEntry> ListEntries() override;
  std::optional<QueueEntry> FindEntry(int32_t entryId) override;
  std::vector<QueueReport> ReportsOf(int32_t entryId) override;
  std::optional<std::string> ReadSetting(const std::string& name) override;
  void WriteSetting(const std::string& name, const std::string& value) override;
  int32_t CreateDocument(const Document& document) override;
  bool ReplaceContent(int32_t documentId, const std::vector<uint8_t>& content) override;
  std::optional<Document> ReadDocument(int32_t documentId, bool withContent) override;
  std::vector<Document> ReadTree(int32_t documentId, bool publishedOnly, bool withContent,
                                 const std::string& publishedSince) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tovrik
