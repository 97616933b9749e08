#pragma once
// The content store behind the six content server components: sessions, the PDF queue with
// its leases, settings and the document tree. One implementation keeps everything in an
// embedded SQLite file; a database server can implement the same interface with the same
// behaviour. A store object is one connection: it is used by one thread at a time and is
// cheap to open, so callers open one per component call and drop it afterwards.
// Failures of the storage itself (cannot open, I/O error, busy past the time-out) throw
// StoreError; refusals that belong to the caller's request come back as a StoreStatus.

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "contentserver/QueueRecord.h"

namespace tovrik {

// A failure of the storage itself, with its context (file, statement, engine message).
class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Status numbers of the components' own refusals (0 is success).
inline constexpr int32_t kStoreBadRequest = 5001;      // request does not parse or lacks a value
inline constexpr int32_t kStoreUnknownSession = 5002;  // no such session
inline constexpr int32_t kStoreUnknownEntry = 5003;    // no such queue entry
inline constexpr int32_t kStoreNotLeased = 5004;       // entry not leased to this session
inline constexpr int32_t kStoreAlreadyEnded = 5005;    // entry already ended
inline constexpr int32_t kStoreUnknownDocument = 5006;
inline constexpr int32_t kStoreBadConnection = 5007;
inline constexpr int32_t kStoreUnknownSetting = 5008;
inline constexpr int32_t kStoreAttemptsExhausted = 5009;  // outcome of a poison entry

struct StoreStatus {
  int32_t status = 0;
  std::string text = "Success";
  bool ok() const { return status == 0; }
};

// Queue settings, read from the store's settings "QueueLeaseSeconds" and "QueueMaxAttempts".
inline constexpr int32_t kDefaultLeaseSeconds = 1800;
inline constexpr int32_t kDefaultMaxAttempts = 3;

// A document of the tree. content is filled only when asked for.
struct Document {
  int32_t id = 0;
  int32_t parentId = 0;  // 0: at the top of the tree
  int32_t sortOrder = 0;
  int32_t level = 0;  // depth below the document a tree was read from
  std::string name;
  int32_t categoryId = 0;
  int32_t unitId = 0;
  int32_t langId = 1;
  std::string contentType = "text/html";
  bool published = true;
  std::string publishDate;  // local "YYYY-MM-DD HH:MM:SS" (or the date alone), may be empty
  std::string fileName;
  std::string bodyHtml;
  int64_t contentSize = 0;
  bool hasContent = false;  // content was stored (possibly zero bytes)
  std::vector<uint8_t> content;
};

// The lease rule every store applies to a start or end report: the refusal for an entry in
// `state` held by session `holder` when session `sessionId` reports, or nullopt when the
// report may proceed (5005 once the entry has ended, 5004 when another session holds it).
std::optional<StoreStatus> LeaseRefusal(int32_t entryId, int32_t sessionId, QueueState state,
                                        int32_t holder);

class ContentStore {
 public:
  ContentStore() = default;
  ContentStore(const ContentStore&) = delete;
  ContentStore& operator=(const ContentStore&) = delete;
  virtual ~ContentStore() = default;

  // Where the store lives, for messages ("/var/lib/tovrik/content.db").
  virtual std::string Location() const = 0;

  // Sessions: a new positive number per call.
  virtual int32_t OpenSession(int32_t connectionId, const std::string& request) = 0;
  virtual bool SessionExists(int32_t sessionId) = 0;

  // Queue. Enqueue returns the new entry's number.
  virtual int32_t Enqueue(const QueueJob& job) = 0;
  // Returns expired leases to waiting (or ends them failed after the last attempt), then
  // leases the oldest waiting entry to the session; nullopt when none is waiting.
  virtual std::optional<QueueEntry> ClaimNext(int32_t sessionId) = 0;
  // Both keep the request verbatim beside the entry when the entry exists, accepted or not;
  // a refusal changes nothing else.
  virtual StoreStatus MarkStarted(int32_t entryId, int32_t sessionId,
                                  const std::string& request) = 0;
  virtual StoreStatus MarkEnded(int32_t entryId, int32_t sessionId, const QueueOutcome& outcome,
                                const std::string& request) = 0;
  virtual std::vector<QueueEntry> ListEntries() = 0;
  virtual std::optional<QueueEntry> FindEntry(int32_t entryId) = 0;
  virtual std::vector<QueueReport> ReportsOf(int32_t entryId) = 0;

  // Settings, names compared without case.
  virtual std::optional<std::string> ReadSetting(const std::string& name) = 0;
  virtual void WriteSetting(const std::string& name, const std::string& value) = 0;

  // Documents. CreateDocument ignores id, level and contentSize and stores content as given.
  virtual int32_t CreateDocument(const Document& document) = 0;
  // Replaces the content; false when the document does not exist.
  virtual bool ReplaceContent(int32_t documentId, const std::vector<uint8_t>& content) = 0;
  virtual std::optional<Document> ReadDocument(int32_t documentId, bool withContent) = 0;
  // The document followed by every document below it, depth first, children in sort order
  // (then by number). publishedOnly leaves out unpublished documents and everything below
  // them; an empty publishedSince keeps all, else only documents whose publish date is on
  // or after it (their children are still walked). Empty when the document does not exist.
  virtual std::vector<Document> ReadTree(int32_t documentId, bool publishedOnly, bool withContent,
                                         const std::string& publishedSince) = 0;
};

// Forwards every call to another store: a fake that injects one fault overrides one method.
class ContentStoreWrapper : public ContentStore {
 public:
  explicit ContentStoreWrapper(std::unique_ptr<ContentStore> target) : target_(std::move(target)) {}

  std::string Location() const override { return target_->Location(); }
  int32_t OpenSession(int32_t c, const std::string& r) override {
    return target_->OpenSession(c, r);
  }
  bool SessionExists(int32_t s) override { return target_->SessionExists(s); }
  int32_t Enqueue(const QueueJob& j) override { return target_->Enqueue(j); }
  std::optional<QueueEntry> ClaimNext(int32_t s) override { return target_->ClaimNext(s); }
  StoreStatus MarkStarted(int32_t e, int32_t s, const std::string& r) override {
    return target_->MarkStarted(e, s, r);
  }
  StoreStatus MarkEnded(int32_t e, int32_t s, const QueueOutcome& o,
                        const std::string& r) override {
    return target_->MarkEnded(e, s, o, r);
  }
  std::vector<QueueEntry> ListEntries() override { return target_->ListEntries(); }
  std::optional<QueueEntry> FindEntry(int32_t e) override { return target_->FindEntry(e); }
  std::vector<QueueReport> ReportsOf(int32_t e) override { return target_->ReportsOf(e); }
  std::optional<std::string> ReadSetting(const std::string& n) override {
    return target_->ReadSetting(n);
  }
  void WriteSetting(const std::string& n, const std::string& v) override {
    target_->WriteSetting(n, v);
  }
  int32_t CreateDocument(const Document& d) override { return target_->CreateDocument(d); }
  bool ReplaceContent(int32_t id, const std::vector<uint8_t>& c) override {
    return target_->ReplaceContent(id, c);
  }
  std::optional<Document> ReadDocument(int32_t id, bool w) override {
    return target_->ReadDocument(id, w);
  }
  std::vector<Document> ReadTree(int32_t id, bool p, bool w, const std::string& s) override {
    return target_->ReadTree(id, p, w, s);
  }

 protected:
  ContentStore& target() { return *target_; }

 private:
  std::unique_ptr<ContentStore> target_;
};

// Opens the store that a server name names: the empty name is the embedded store at
// StateFolder()/content.db (created on first use); a host name is the PostgreSQL database
// "host=NAME dbname=tovrik", a postgresql:// or postgres:// URI the database it names (see
// PostgresContentStore.h). A database server that cannot be reached raises
// RaisedError(kServerUnavailable), one whose schema is missing or of another version
// RaisedError(kCallFailed), both with the reason.
std::unique_ptr<ContentStore> OpenContentStore(const std::string& serverName);

}  // namespace tovrik
