#include "contentserver/SqliteContentStore.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <tuple>
#include <vector>

#include "platform/NumberConversion.h"

namespace tovrik {
namespace {

constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 15000;

// The schema. Times are milliseconds since the Unix epoch; job fields are kept as the text
// the record gave them (NULL: the record did not have the field).
constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS sessions (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  connection_id INTEGER NOT NULL,
  request TEXT NOT NULL,
  opened_at INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS settings (
  name TEXT PRIMARY KEY COLLATE NOCASE,
  value TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS queue_entries (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  state TEXT NOT NULL DEFAULT 'waiting'
    CHECK (state IN ('waiting', 'leased', 'processing', 'done', 'failed')),
  optionsxml TEXT, issynchronous TEXT, documentid TEXT, documentname TEXT,
  destinationcategoryid TEXT, querystrings TEXT, parsetree TEXT, autoarchive TEXT,
  destinationdocumentid TEXT, flags TEXT, footerxml TEXT, documentguid TEXT, submitter TEXT,
  extra_xml TEXT NOT NULL DEFAULT '',
  attempts INTEGER NOT NULL DEFAULT 0,
  lease_session INTEGER,
  lease_expires_at INTEGER,
  enqueued_at INTEGER NOT NULL,
  started_at INTEGER,
  ended_at INTEGER,
  document_generated INTEGER,
  containing_documents TEXT,
  url TEXT,
  error INTEGER,
  error_message TEXT);
CREATE INDEX IF NOT EXISTS queue_entries_state ON queue_entries (state, id);
CREATE TABLE IF NOT EXISTS queue_reports (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  entry_id INTEGER NOT NULL REFERENCES queue_entries (id),
  kind TEXT NOT NULL CHECK (kind IN ('start', 'end')),
  session_id INTEGER NOT NULL,
  attempt INTEGER NOT NULL,
  request TEXT NOT NULL,
  received_at INTEGER NOT NULL,
  accepted INTEGER NOT NULL,
  status INTEGER NOT NULL,
  status_text TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS queue_reports_entry ON queue_reports (entry_id, id);
CREATE TABLE IF NOT EXISTS documents (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  parent_id INTEGER REFERENCES documents (id),
  sort_order INTEGER NOT NULL DEFAULT 0,
  name TEXT NOT NULL,
  category_id INTEGER NOT NULL DEFAULT 0,
  unit_id INTEGER NOT NULL DEFAULT 0,
  lang_id INTEGER NOT NULL DEFAULT 1,
  content_type TEXT NOT NULL,
  published INTEGER NOT NULL DEFAULT 1,
  publish_date TEXT NOT NULL DEFAULT '',
  file_name TEXT NOT NULL DEFAULT '',
  body_html TEXT NOT NULL DEFAULT '',
  content BLOB,
  content_size INTEGER NOT NULL DEFAULT 0,
  created_at INTEGER NOT NULL,
  updated_at INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS documents_children ON documents (parent_id, sort_order, id);
)sql";

// The columns of an entry, in the order ReadEntry expects them.
constexpr const char* kEntryColumns =
    "id, state, optionsxml, issynchronous, documentid, documentname, destinationcategoryid, "
    "querystrings, parsetree, autoarchive, destinationdocumentid, flags, footerxml, "
    "documentguid, submitter, extra_xml, attempts, lease_session, lease_expires_at, "
    "enqueued_at, started_at, ended_at, document_generated, containing_documents, url, error, "
    "error_message";

constexpr const char* kDocumentColumns =
    "id, parent_id, sort_order, name, category_id, unit_id, lang_id, content_type, published, "
    "publish_date, file_name, body_html, content_size, content IS NOT NULL";

class Statement;

// One connection; closes on every path.
class Connection {
 public:
  explicit Connection(const std::string& path) : path_(path) {
    int rc =
        sqlite3_open_v2(path.c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
      std::string why = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
      sqlite3_close(db_);
      db_ = nullptr;
      throw StoreError("cannot open content store '" + path + "': " + why);
    }
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection() { sqlite3_close(db_); }

  sqlite3* get() const { return db_; }
  const std::string& path() const { return path_; }

  [[noreturn]] void Fail(const std::string& what) const {
    throw StoreError("content store '" + path_ + "': " + what + ": " + sqlite3_errmsg(db_));
  }

  void Exec(const char* sql) const {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
      std::string why = message ? message : sqlite3_errmsg(db_);
      sqlite3_free(message);
      throw StoreError("content store '" + path_ + "': " + why);
    }
  }

 private:
  const std::string path_;
  sqlite3* db_ = nullptr;
};

class Statement {
 public:
  Statement(const Connection& db, const std::string& sql) : db_(db) {
    if (sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK) {
      db.Fail("cannot prepare '" + sql + "'");
    }
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  ~Statement() { sqlite3_finalize(stmt_); }

  Statement& Bind(int i, int64_t v) {
    Check(sqlite3_bind_int64(stmt_, i, v));
    return *this;
  }
  Statement& Bind(int i, const std::string& v) {
    Check(sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT));
    return *this;
  }
  Statement& Bind(int i, const std::optional<std::string>& v) {
    return v ? Bind(i, *v) : BindNull(i);
  }
  Statement& BindBlob(int i, const std::vector<uint8_t>& v) {
    // A zero-length blob is stored as an empty blob, not NULL.
    static const uint8_t kNothing = 0;
    Check(sqlite3_bind_blob(stmt_, i, v.empty() ? &kNothing : v.data(), static_cast<int>(v.size()),
                            SQLITE_TRANSIENT));
    return *this;
  }
  Statement& BindNull(int i) {
    Check(sqlite3_bind_null(stmt_, i));
    return *this;
  }

  // True while there is a row.
  bool Step() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    db_.Fail("statement failed");
  }
  void Run() {
    while (Step()) {
    }
  }
  // Makes the statement ready to run again with new values.
  void Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }

  bool IsNull(int c) const { return sqlite3_column_type(stmt_, c) == SQLITE_NULL; }
  int64_t Int64(int c) const { return sqlite3_column_int64(stmt_, c); }
  int32_t Int32(int c) const {
    int64_t v = Int64(c);
    if (v < INT32_MIN || v > INT32_MAX) db_.Fail("value out of the 32-bit range");
    return static_cast<int32_t>(v);
  }
  std::string Text(int c) const {
    const unsigned char* p = sqlite3_column_text(stmt_, c);
    return p ? std::string(reinterpret_cast<const char*>(p),
                           static_cast<size_t>(sqlite3_column_bytes(stmt_, c)))
             : std::string();
  }
  std::optional<std::string> OptText(int c) const {
    if (IsNull(c)) return std::nullopt;
    return Text(c);
  }
  std::vector<uint8_t> Blob(int c) const {
    const auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(stmt_, c));
    int n = sqlite3_column_bytes(stmt_, c);
    return p ? std::vector<uint8_t>(p, p + n) : std::vector<uint8_t>();
  }

 private:
  void Check(int rc) const {
    if (rc != SQLITE_OK) db_.Fail("cannot bind a value");
  }

  const Connection& db_;
  sqlite3_stmt* stmt_ = nullptr;
};

// BEGIN IMMEDIATE ... COMMIT, rolled back when left without Commit().
class Transaction {
 public:
  explicit Transaction(const Connection& db) : db_(db) { db_.Exec("BEGIN IMMEDIATE"); }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  ~Transaction() {
    if (!done_) sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
  }
  void Commit() {
    db_.Exec("COMMIT");
    done_ = true;
  }

 private:
  const Connection& db_;
  bool done_ = false;
};

QueueEntry ReadEntry(const Statement& s) {
  QueueEntry e;
  e.id = s.Int32(0);
  e.state = QueueStateFromName(s.Text(1)).value_or(QueueState::kFailed);
  int c = 2;
  for (const QueueField& field : QueueFields()) e.job.*field.member = s.OptText(c++);
  e.job.extraXml = s.Text(c++);
  e.attempts = s.Int32(c++);
  e.leaseSession = s.IsNull(c) ? 0 : s.Int32(c);
  ++c;
  e.leaseExpiresMs = s.Int64(c++);
  e.enqueuedMs = s.Int64(c++);
  e.startedMs = s.Int64(c++);
  e.endedMs = s.Int64(c++);
  if (!s.IsNull(c + 3)) {
    QueueOutcome o;
    o.documentGenerated = s.Int32(c);
    o.containingDocuments = s.Text(c + 1);
    o.url = s.Text(c + 2);
    o.error = s.Int32(c + 3);
    o.errorMessage = s.Text(c + 4);
    e.outcome = o;
  }
  return e;
}

Document ReadDocumentRow(const Statement& s) {
  Document d;
  d.id = s.Int32(0);
  d.parentId = s.IsNull(1) ? 0 : s.Int32(1);
  d.sortOrder = s.Int32(2);
  d.name = s.Text(3);
  d.categoryId = s.Int32(4);
  d.unitId = s.Int32(5);
  d.langId = s.Int32(6);
  d.contentType = s.Text(7);
  d.published = s.Int64(8) != 0;
  d.publishDate = s.Text(9);
  d.fileName = s.Text(10);
  d.bodyHtml = s.Text(11);
  d.contentSize = s.Int64(12);
  d.hasContent = s.Int64(13) != 0;
  return d;
}

int32_t CheckedId(const Connection& db, int64_t id) {
  if (id <= 0 || id > INT32_MAX) db.Fail("row number out of the 32-bit range");
  return static_cast<int32_t>(id);
}

}  // namespace

struct SqliteContentStore::Impl {
  Impl(const std::string& path, Clock c) : db(path), clock(std::move(c)) {}

  struct Policy {
    int64_t leaseMs = int64_t{kDefaultLeaseSeconds} * 1000;
    int32_t maxAttempts = kDefaultMaxAttempts;
  };

  Policy ReadPolicy() {
    Policy p;
    Statement s(db,
                "SELECT name, value FROM settings WHERE name IN ('QueueLeaseSeconds', "
                "'QueueMaxAttempts')");
    while (s.Step()) {
      std::optional<double> v = ParseDecimal(s.Text(1));
      if (!v || *v < 0 || *v > 1e9) continue;  // a bad setting keeps the default
      if (sqlite3_stricmp(s.Text(0).c_str(), "QueueLeaseSeconds") == 0) {
        p.leaseMs = static_cast<int64_t>(*v * 1000);
      } else if (*v >= 1) {
        p.maxAttempts = static_cast<int32_t>(*v);
      }
    }
    return p;
  }

  void LoadDocumentContent(Document& d) {
    Statement s(db, "SELECT content FROM documents WHERE id = ?");
    s.Bind(1, int64_t{d.id});
    if (s.Step()) d.content = s.Blob(0);
  }

  void KeepReport(int32_t entryId, const char* kind, int32_t sessionId, int32_t attempt,
                  const std::string& request, int64_t now, const StoreStatus& answer) {
    Statement s(db,
                "INSERT INTO queue_reports (entry_id, kind, session_id, attempt, request, "
                "received_at, accepted, status, status_text) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    s.Bind(1, int64_t{entryId})
        .Bind(2, std::string(kind))
        .Bind(3, int64_t{sessionId})
        .Bind(4, int64_t{attempt})
        .Bind(5, request)
        .Bind(6, now)
        .Bind(7, int64_t{answer.ok() ? 1 : 0})
        .Bind(8, int64_t{answer.status})
        .Bind(9, answer.text);
    s.Run();
  }

  // Reads the entry's state for a report inside the caller's transaction.
  struct LeaseView {
    QueueState state;
    int32_t holder;
    int32_t attempts;
  };
  std::optional<LeaseView> ViewLease(int32_t entryId) {
    Statement s(db, "SELECT state, lease_session, attempts FROM queue_entries WHERE id = ?");
    s.Bind(1, int64_t{entryId});
    if (!s.Step()) return std::nullopt;
    return LeaseView{QueueStateFromName(s.Text(0)).value_or(QueueState::kFailed),
                     s.IsNull(1) ? 0 : s.Int32(1), s.Int32(2)};
  }

  Connection db;
  Clock clock;
};

int64_t SqliteContentStore::SystemNowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

namespace {

// Keeps one idle connection to each store file open for the life of the process. SQLite
// checkpoints and removes the write-ahead log whenever the last connection to a file closes;
// with a connection per component call that would happen on every call and cost a sync each
// time. The idle connection makes each call's close an ordinary one; the log is still
// checkpointed automatically as it grows. Keyed by file identity, so a store that was deleted
// and made anew at the same path gets a connection of its own; after a fork the child opens
// its own (the parent's is left alone, never used or closed there).
void KeepStoreOpen(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return;
  // Closed when the process exits normally; a forked child closes only its own.
  struct Keepers {
    std::mutex mutex;
    std::map<std::tuple<pid_t, dev_t, ino_t>, sqlite3*> open;  // guarded by mutex
    ~Keepers() {
      // A parent's connections are its own to close; this process only forgets them.
      static auto* inherited = new std::vector<sqlite3*>;
      for (auto& [key, db] : open) {
        if (std::get<0>(key) == ::getpid()) {
          sqlite3_close(db);
        } else {
          inherited->push_back(db);
        }
      }
    }
  };
  static Keepers keepers;
  std::scoped_lock lock(keepers.mutex);
  const auto key = std::make_tuple(::getpid(), st.st_dev, st.st_ino);
  if (keepers.open.count(key) != 0) return;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK) {
    sqlite3_close(db);
    return;
  }
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  // One read maps the shared log index, which is what makes this connection count.
  sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
  keepers.open[key] = db;
}

}  // namespace

SqliteContentStore::SqliteContentStore(const std::string& path, Clock clock)
    : impl_(std::make_unique<Impl>(path, std::move(clock))) {
  const Connection& db = impl_->db;
  int version = 0;
  {
    Statement s(db, "PRAGMA user_version");
    if (s.Step()) version = s.Int32(0);
  }
  if (version > kSchemaVersion) {
    throw StoreError("content store '" + path + "' has schema version " + std::to_string(version) +
                     ", newer than this program's " + std::to_string(kSchemaVersion));
  }
  if (version < kSchemaVersion) {
    db.Exec("PRAGMA journal_mode=WAL");
    Transaction t(db);
    db.Exec(kSchema);
    db.Exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
    t.Commit();
  }
  // In WAL mode NORMAL keeps the file consistent through any crash and loses no committed
  // transaction when a process dies; only a power cut may lose the last few commits. FULL
  // would cost an fsync per queue call.
  db.Exec("PRAGMA foreign_keys=ON; PRAGMA synchronous=NORMAL");
  KeepStoreOpen(path);
}

SqliteContentStore::~SqliteContentStore() = default;

std::string SqliteContentStore::Location() const { return impl_->db.path(); }

int32_t SqliteContentStore::OpenSession(int32_t connectionId, const std::string& request) {
  Statement s(impl_->db,
              "INSERT INTO sessions (connection_id, request, opened_at) VALUES (?, ?, ?) "
              "RETURNING id");
  s.Bind(1, int64_t{connectionId}).Bind(2, request).Bind(3, impl_->clock());
  if (!s.Step()) impl_->db.Fail("no session number");
  int32_t id = CheckedId(impl_->db, s.Int64(0));
  s.Run();
  return id;
}

bool SqliteContentStore::SessionExists(int32_t sessionId) {
  Statement s(impl_->db, "SELECT 1 FROM sessions WHERE id = ?");
  s.Bind(1, int64_t{sessionId});
  return s.Step();
}

int32_t SqliteContentStore::Enqueue(const QueueJob& job) {
  std::string columns, marks;
  for (const QueueField& field : QueueFields()) {
    columns += std::string(field.name) + ", ";
    marks += "?, ";
  }
  Statement s(impl_->db, "INSERT INTO queue_entries (" + columns +
                             "extra_xml, enqueued_at) VALUES (" + marks + "?, ?) RETURNING id");
  int i = 1;
  for (const QueueField& field : QueueFields()) s.Bind(i++, job.*field.member);
  s.Bind(i, job.extraXml);
  s.Bind(i + 1, impl_->clock());
  if (!s.Step()) impl_->db.Fail("no entry number");
  int32_t id = CheckedId(impl_->db, s.Int64(0));
  s.Run();
  return id;
}

std::optional<QueueEntry> SqliteContentStore::ClaimNext(int32_t sessionId) {
  const Connection& db = impl_->db;
  Transaction t(db);
  const Impl::Policy policy = impl_->ReadPolicy();
  const int64_t now = impl_->clock();
  {
    // Leases that ran out: the holder died or hung. After the last attempt the entry ends
    // failed, so an entry that kills its worker cannot come back for ever.
    Statement poison(db,
                     "UPDATE queue_entries SET state = 'failed', ended_at = ?1, "
                     "document_generated = 0, containing_documents = '', url = '', error = ?2, "
                     "error_message = 'Abandoned after ' || attempts || ' attempts: the lease "
                     "of session ' || lease_session || ' expired without an end report' "
                     "WHERE state IN ('leased', 'processing') AND lease_expires_at < ?1 "
                     "AND attempts >= ?3");
    poison.Bind(1, now).Bind(2, int64_t{kStoreAttemptsExhausted}).Bind(3, policy.maxAttempts);
    poison.Run();
    Statement retry(db,
                    "UPDATE queue_entries SET state = 'waiting', started_at = NULL "
                    "WHERE state IN ('leased', 'processing') AND lease_expires_at < ?1");
    retry.Bind(1, now);
    retry.Run();
  }
  std::optional<QueueEntry> claimed;
  {
    Statement claim(db,
                    std::string("UPDATE queue_entries SET state = 'leased', lease_session = ?1, "
                                "lease_expires_at = ?2, attempts = attempts + 1 "
                                "WHERE id = (SELECT id FROM queue_entries WHERE state = "
                                "'waiting' ORDER BY id LIMIT 1) RETURNING ") +
                        kEntryColumns);
    claim.Bind(1, int64_t{sessionId}).Bind(2, now + policy.leaseMs);
    if (claim.Step()) claimed = ReadEntry(claim);
    claim.Run();
  }
  t.Commit();
  return claimed;
}

StoreStatus SqliteContentStore::MarkStarted(int32_t entryId, int32_t sessionId,
                                            const std::string& request) {
  const Connection& db = impl_->db;
  Transaction t(db);
  std::optional<Impl::LeaseView> lease = impl_->ViewLease(entryId);
  if (!lease) {
    return {kStoreUnknownEntry, "Queue entry " + std::to_string(entryId) + " does not exist"};
  }
  const int64_t now = impl_->clock();
  StoreStatus answer;
  if (auto refusal = LeaseRefusal(entryId, sessionId, lease->state, lease->holder)) {
    answer = *refusal;
  } else {
    // The lease runs from the start of processing; a repeated start keeps the first time.
    Statement s(db,
                "UPDATE queue_entries SET state = 'processing', lease_expires_at = ?1, "
                "started_at = COALESCE(started_at, ?2) WHERE id = ?3");
    s.Bind(1, now + impl_->ReadPolicy().leaseMs).Bind(2, now).Bind(3, int64_t{entryId});
    s.Run();
  }
  impl_->KeepReport(entryId, "start", sessionId, lease->attempts, request, now, answer);
  t.Commit();
  return answer;
}

StoreStatus SqliteContentStore::MarkEnded(int32_t entryId, int32_t sessionId,
                                          const QueueOutcome& outcome, const std::string& request) {
  const Connection& db = impl_->db;
  Transaction t(db);
  std::optional<Impl::LeaseView> lease = impl_->ViewLease(entryId);
  if (!lease) {
    return {kStoreUnknownEntry, "Queue entry " + std::to_string(entryId) + " does not exist"};
  }
  const int64_t now = impl_->clock();
  StoreStatus answer;
  if (auto refusal = LeaseRefusal(entryId, sessionId, lease->state, lease->holder)) {
    answer = *refusal;
  } else {
    Statement s(db,
                "UPDATE queue_entries SET state = ?1, ended_at = ?2, document_generated = ?3, "
                "containing_documents = ?4, url = ?5, error = ?6, error_message = ?7 "
                "WHERE id = ?8");
    s.Bind(1, std::string(outcome.error == 0 ? "done" : "failed"))
        .Bind(2, now)
        .Bind(3, int64_t{outcome.documentGenerated})
        .Bind(4, outcome.containingDocuments)
        .Bind(5, outcome.url)
        .Bind(6, int64_t{outcome.error})
        .Bind(7, outcome.errorMessage)
        .Bind(8, int64_t{entryId});
    s.Run();
  }
  impl_->KeepReport(entryId, "end", sessionId, lease->attempts, request, now, answer);
  t.Commit();
  return answer;
}

std::vector<QueueEntry> SqliteContentStore::ListEntries() {
  Statement s(impl_->db,
              std::string("SELECT ") + kEntryColumns + " FROM queue_entries ORDER BY id");
  std::vector<QueueEntry> out;
  while (s.Step()) out.push_back(ReadEntry(s));
  return out;
}

std::optional<QueueEntry> SqliteContentStore::FindEntry(int32_t entryId) {
  Statement s(impl_->db,
              std::string("SELECT ") + kEntryColumns + " FROM queue_entries WHERE id = ?");
  s.Bind(1, int64_t{entryId});
  if (!s.Step()) return std::nullopt;
  return ReadEntry(s);
}

std::vector<QueueReport> SqliteContentStore::ReportsOf(int32_t entryId) {
  Statement s(impl_->db,
              "SELECT id, entry_id, kind, session_id, attempt, request, received_at, accepted, "
              "status, status_text FROM queue_reports WHERE entry_id = ? ORDER BY id");
  s.Bind(1, int64_t{entryId});
  std::vector<QueueReport> out;
  while (s.Step()) {
    QueueReport r;
    r.id = s.Int64(0);
    r.entryId = s.Int32(1);
    r.kind = s.Text(2);
    r.sessionId = s.Int32(3);
    r.attempt = s.Int32(4);
    r.request = s.Text(5);
    r.receivedMs = s.Int64(6);
    r.accepted = s.Int64(7) != 0;
    r.status = s.Int32(8);
    r.statusText = s.Text(9);
    out.push_back(std::move(r));
  }
  return out;
}

std::optional<std::string> SqliteContentStore::ReadSetting(const std::string& name) {
  Statement s(impl_->db, "SELECT value FROM settings WHERE name = ?");
  s.Bind(1, name);
  if (!s.Step()) return std::nullopt;
  return s.Text(0);
}

void SqliteContentStore::WriteSetting(const std::string& name, const std::string& value) {
  Statement s(impl_->db,
              "INSERT INTO settings (name, value) VALUES (?1, ?2) "
              "ON CONFLICT (name) DO UPDATE SET value = excluded.value");
  s.Bind(1, name).Bind(2, value);
  s.Run();
}

int32_t SqliteContentStore::CreateDocument(const Document& d) {
  const Connection& db = impl_->db;
  Transaction t(db);
  if (d.parentId != 0) {
    Statement parent(db, "SELECT 1 FROM documents WHERE id = ?");
    parent.Bind(1, int64_t{d.parentId});
    if (!parent.Step()) {
      throw StoreError("content store '" + db.path() + "': parent document " +
                       std::to_string(d.parentId) + " does not exist");
    }
  }
  const int64_t now = impl_->clock();
  Statement s(db,
              "INSERT INTO documents (parent_id, sort_order, name, category_id, unit_id, lang_id, "
              "content_type, published, publish_date, file_name, body_html, content, "
              "content_size, created_at, updated_at) "
              "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id");
  if (d.parentId == 0) {
    s.BindNull(1);
  } else {
    s.Bind(1, int64_t{d.parentId});
  }
  s.Bind(2, int64_t{d.sortOrder})
      .Bind(3, d.name)
      .Bind(4, int64_t{d.categoryId})
      .Bind(5, int64_t{d.unitId})
      .Bind(6, int64_t{d.langId})
      .Bind(7, d.contentType)
      .Bind(8, int64_t{d.published ? 1 : 0})
      .Bind(9, d.publishDate)
      .Bind(10, d.fileName)
      .Bind(11, d.bodyHtml);
  if (!d.hasContent && d.content.empty()) {
    s.BindNull(12);
  } else {
    s.BindBlob(12, d.content);
  }
  s.Bind(13, static_cast<int64_t>(d.content.size())).Bind(14, now).Bind(15, now);
  if (!s.Step()) db.Fail("no document number");
  int32_t id = CheckedId(db, s.Int64(0));
  s.Run();
  t.Commit();
  return id;
}

bool SqliteContentStore::ReplaceContent(int32_t documentId, const std::vector<uint8_t>& content) {
  Statement s(
      impl_->db,
      "UPDATE documents SET content = ?1, content_size = ?2, updated_at = ?3 WHERE id = ?4");
  s.BindBlob(1, content)
      .Bind(2, static_cast<int64_t>(content.size()))
      .Bind(3, impl_->clock())
      .Bind(4, int64_t{documentId});
  s.Run();
  return sqlite3_changes(impl_->db.get()) > 0;
}

std::optional<Document> SqliteContentStore::ReadDocument(int32_t documentId, bool withContent) {
  Statement s(impl_->db,
              std::string("SELECT ") + kDocumentColumns + " FROM documents WHERE id = ?");
  s.Bind(1, int64_t{documentId});
  if (!s.Step()) return std::nullopt;
  Document d = ReadDocumentRow(s);
  if (withContent) impl_->LoadDocumentContent(d);
  return d;
}

std::vector<Document> SqliteContentStore::ReadTree(int32_t documentId, bool publishedOnly,
                                                   bool withContent,
                                                   const std::string& publishedSince) {
  const Connection& db = impl_->db;
  // One read transaction, so the tree is read as of one moment.
  db.Exec("BEGIN");
  struct EndRead {
    const Connection& db;
    ~EndRead() { sqlite3_exec(db.get(), "COMMIT", nullptr, nullptr, nullptr); }
  } endRead{db};

  std::vector<Document> out;
  std::optional<Document> top = ReadDocument(documentId, false);
  if (!top || (publishedOnly && !top->published)) return out;

  Statement children(db, std::string("SELECT ") + kDocumentColumns +
                             " FROM documents WHERE parent_id = ? ORDER BY sort_order, id");
  std::set<int32_t> visited;
  std::function<void(Document)> walk = [&](Document d) {
    if (!visited.insert(d.id).second) return;  // a damaged tree must not loop
    const int32_t id = d.id;
    const int32_t level = d.level;
    if (publishedSince.empty() || d.publishDate >= publishedSince) {
      if (withContent) impl_->LoadDocumentContent(d);
      out.push_back(std::move(d));
    }
    std::vector<Document> kids;
    {
      children.Reset();
      children.Bind(1, int64_t{id});
      while (children.Step()) {
        Document child = ReadDocumentRow(children);
        if (publishedOnly && !child.published) continue;
        child.level = level + 1;
        kids.push_back(std::move(child));
      }
    }
    for (Document& kid : kids) walk(std::move(kid));
  };
  walk(std::move(*top));
  return out;
}

}  // namespace tovrik
