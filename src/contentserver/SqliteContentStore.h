#pragma once
// The embedded content store: one SQLite file in WAL mode, shared by any number of processes.
// Every change runs in one IMMEDIATE transaction, so a claim and the lease it writes are
// seen together or not at all; waits for a busy file are bounded by a time-out. The schema is
// created on first open. One object is one connection, for one thread at a time.

#include <functional>
#include <memory>
#include <string>

#include "contentserver/ContentStore.h"

namespace tovrik {

class SqliteContentStore : public ContentStore {
 public:
  // Milliseconds since the Unix epoch; tests pass their own clock to expire leases.
  using Clock = std::function<int64_t()>;
  static int64_t SystemNowMs();

  // Opens (creating when needed) the store file at path; throws StoreError.
  explicit SqliteContentStore(const std::string& path, Clock clock = SystemNowMs);
  ~SqliteContentStore() override;

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
