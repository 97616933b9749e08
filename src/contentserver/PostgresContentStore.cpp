#include "contentserver/PostgresContentStore.h"

#include <algorithm>

#include "platform/NumberConversion.h"

namespace tovrik {
namespace {

// The database server's clock in milliseconds since the Unix epoch.
#define TOVRIK_PG_NOW "(extract(epoch FROM clock_timestamp()) * 1000)::bigint"

constexpr const char* kEntryColumns =
    "id, state, optionsxml, issynchronous, documentid, documentname, destinationcategoryid, "
    "querystrings, parsetree, autoarchive, destinationdocumentid, flags, footerxml, "
    "documentguid, submitter, extra_xml, attempts, lease_session, lease_expires_at, "
    "enqueued_at, started_at, ended_at, document_generated, containing_documents, url, error, "
    "error_message";

constexpr const char* kDocumentColumns =
    "id, parent_id, sort_order, name, category_id, unit_id, lang_id, content_type, published, "
    "publish_date, file_name, body_html, content_size, content IS NOT NULL";

QueueEntry ReadEntry(const PgResult& r, int row) {
  QueueEntry e;
  e.id = r.Int32(row, 0);
  e.state = QueueStateFromName(r.Text(row, 1)).value_or(QueueState::kFailed);
  int c = 2;
  for (const QueueField& field : QueueFields()) e.job.*field.member = r.OptText(row, c++);
  e.job.extraXml = r.Text(row, c++);
  e.attempts = r.Int32(row, c++);
  e.leaseSession = r.Int32(row, c++);
  e.leaseExpiresMs = r.Int64(row, c++);
  e.enqueuedMs = r.Int64(row, c++);
  e.startedMs = r.Int64(row, c++);
  e.endedMs = r.Int64(row, c++);
  if (!r.IsNull(row, c + 3)) {
    QueueOutcome o;
    o.documentGenerated = r.Int32(row, c);
    o.containingDocuments = r.Text(row, c + 1);
    o.url = r.Text(row, c + 2);
    o.error = r.Int32(row, c + 3);
    o.errorMessage = r.Text(row, c + 4);
    e.outcome = o;
  }
  return e;
}

Document ReadDocumentRow(const PgResult& r, int row) {
  Document d;
  d.id = r.Int32(row, 0);
  d.parentId = r.Int32(row, 1);
  d.sortOrder = r.Int32(row, 2);
  d.name = r.Text(row, 3);
  d.categoryId = r.Int32(row, 4);
  d.unitId = r.Int32(row, 5);
  d.langId = r.Int32(row, 6);
  d.contentType = r.Text(row, 7);
  d.published = r.Bool(row, 8);
  d.publishDate = r.Text(row, 9);
  d.fileName = r.Text(row, 10);
  d.bodyHtml = r.Text(row, 11);
  d.contentSize = r.Int64(row, 12);
  d.hasContent = r.Bool(row, 13);
  return d;
}

struct Policy {
  int64_t leaseMs = int64_t{kDefaultLeaseSeconds} * 1000;
  int32_t maxAttempts = kDefaultMaxAttempts;
};

// The queue settings from their stored texts; a bad setting keeps the default.
Policy ParsePolicy(const std::optional<std::string>& lease,
                   const std::optional<std::string>& attempts) {
  Policy p;
  auto parse = [](const std::optional<std::string>& text) -> std::optional<double> {
    if (!text) return std::nullopt;
    std::optional<double> v = ParseDecimal(*text);
    if (!v || *v < 0 || *v > 1e9) return std::nullopt;
    return v;
  };
  if (auto v = parse(lease)) p.leaseMs = static_cast<int64_t>(*v * 1000);
  if (auto v = parse(attempts); v && *v >= 1) p.maxAttempts = static_cast<int32_t>(*v);
  return p;
}

// Selects now and the queue settings: columns 0 (now), 1 (lease seconds), 2 (max attempts).
constexpr const char* kPolicyColumns =
    "COALESCE($1::bigint, " TOVRIK_PG_NOW
    "), "
    "(SELECT value FROM settings WHERE lower(name) = 'queueleaseseconds'), "
    "(SELECT value FROM settings WHERE lower(name) = 'queuemaxattempts')";

}  // namespace

struct PostgresContentStore::Impl {
  Impl(const PgTarget& t, Clock c)
      : target(t), clock(std::move(c)), db(PgConnectionPool::Instance().Take(t)) {
    if (!db->schemaChecked) {
      CheckPostgresSchema(*db);
      db->schemaChecked = true;
    }
  }
  ~Impl() { PgConnectionPool::Instance().Give(std::move(db)); }

  // The test clock's time, or NULL for the server's (see TOVRIK_PG_NOW).
  PgParam Now() const { return clock ? PgParam(clock()) : PgParam(); }

  // Locks the entry's row for a report and reads its lease, the time and the lease length.
  struct LeaseView {
    QueueState state;
    int32_t holder;
    int32_t attempts;
    int64_t now;
    Policy policy;
  };
  std::optional<LeaseView> LockLease(int32_t entryId) {
    PgResult r = db->Exec("lock queue entry " + std::to_string(entryId),
                          std::string("SELECT state, lease_session, attempts, ") + kPolicyColumns +
                              " FROM queue_entries WHERE id = $2 FOR UPDATE",
                          {Now(), PgParam(entryId)});
    if (r.rows() == 0) return std::nullopt;
    return LeaseView{QueueStateFromName(r.Text(0, 0)).value_or(QueueState::kFailed), r.Int32(0, 1),
                     r.Int32(0, 2), r.Int64(0, 3), ParsePolicy(r.OptText(0, 4), r.OptText(0, 5))};
  }

  void KeepReport(int32_t entryId, const char* kind, int32_t sessionId, int32_t attempt,
                  const std::string& request, int64_t now, const StoreStatus& answer) {
    db->Exec("keep the " + std::string(kind) + " report of entry " + std::to_string(entryId),
             "INSERT INTO queue_reports (entry_id, kind, session_id, attempt, request, "
             "received_at, accepted, status, status_text) "
             "VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9)",
             {PgParam(entryId), PgParam(kind), PgParam(sessionId), PgParam(attempt),
              PgParam(request), PgParam(now), PgParam(answer.ok() ? "true" : "false"),
              PgParam(answer.status), PgParam(answer.text)});
  }

  const PgTarget target;
  const Clock clock;
  std::unique_ptr<PgConnection> db;
};

PostgresContentStore::PostgresContentStore(const PgTarget& target, Clock clock)
    : impl_(std::make_unique<Impl>(target, std::move(clock))) {}

PostgresContentStore::~PostgresContentStore() = default;

std::string PostgresContentStore::Location() const { return impl_->target.display; }

int32_t PostgresContentStore::OpenSession(int32_t connectionId, const std::string& request) {
  PgResult r =
      impl_->db->Exec("open a session",
                      "INSERT INTO sessions (connection_id, request, opened_at) "
                      "VALUES ($1, $2, COALESCE($3::bigint, " TOVRIK_PG_NOW ")) RETURNING id",
                      {PgParam(connectionId), PgParam(request), impl_->Now()});
  return r.Int32(0, 0);
}

bool PostgresContentStore::SessionExists(int32_t sessionId) {
  return impl_->db
             ->Exec("look up session " + std::to_string(sessionId),
                    "SELECT 1 FROM sessions WHERE id = $1", {PgParam(sessionId)})
             .rows() > 0;
}

int32_t PostgresContentStore::Enqueue(const QueueJob& job) {
  std::string columns, marks;
  std::vector<PgParam> params;
  for (const QueueField& field : QueueFields()) {
    columns += std::string(field.name) + ", ";
    params.emplace_back(job.*field.member);
    marks += "$" + std::to_string(params.size()) + ", ";
  }
  params.emplace_back(job.extraXml);
  params.push_back(impl_->Now());
  const std::string n = std::to_string(params.size());
  PgResult r =
      impl_->db->Exec("queue an entry",
                      "INSERT INTO queue_entries (" + columns + "extra_xml, enqueued_at) VALUES (" +
                          marks + "$" + std::to_string(params.size() - 1) + ", COALESCE($" + n +
                          "::bigint, " TOVRIK_PG_NOW ")) RETURNING id",
                      params);
  return r.Int32(0, 0);
}

std::optional<QueueEntry> PostgresContentStore::ClaimNext(int32_t sessionId) {
  PgConnection& db = *impl_->db;
  // Three statements, each its own short transaction: nothing is held between them.
  PgResult p =
      db.Exec("read the queue settings", std::string("SELECT ") + kPolicyColumns, {impl_->Now()});
  const int64_t now = p.Int64(0, 0);
  const Policy policy = ParsePolicy(p.OptText(0, 1), p.OptText(0, 2));

  // Leases that ran out: the holder died or hung. After the last attempt the entry ends
  // failed, so an entry that kills its worker cannot come back for ever. Rows that another
  // sweep or a report holds are skipped; the next claim sees them.
  db.Exec("return expired leases",
          "WITH expired AS (SELECT id FROM queue_entries WHERE state IN ('leased', "
          "'processing') AND lease_expires_at < $1 FOR UPDATE SKIP LOCKED) "
          "UPDATE queue_entries q SET "
          "state = CASE WHEN q.attempts >= $3 THEN 'failed' ELSE 'waiting' END, "
          "started_at = CASE WHEN q.attempts >= $3 THEN q.started_at END, "
          "ended_at = CASE WHEN q.attempts >= $3 THEN $1 END, "
          "document_generated = CASE WHEN q.attempts >= $3 THEN 0 END, "
          "containing_documents = CASE WHEN q.attempts >= $3 THEN '' END, "
          "url = CASE WHEN q.attempts >= $3 THEN '' END, "
          "error = CASE WHEN q.attempts >= $3 THEN $2::integer END, "
          "error_message = CASE WHEN q.attempts >= $3 THEN 'Abandoned after ' || q.attempts || "
          "' attempts: the lease of session ' || q.lease_session || "
          "' expired without an end report' END "
          "FROM expired WHERE q.id = expired.id",
          {PgParam(now), PgParam(kStoreAttemptsExhausted), PgParam(policy.maxAttempts)});

  PgResult claim =
      db.Exec("claim the next entry for session " + std::to_string(sessionId),
              std::string("UPDATE queue_entries SET state = 'leased', lease_session = $1, "
                          "lease_expires_at = $2, attempts = attempts + 1 "
                          "WHERE id = (SELECT id FROM queue_entries WHERE state = 'waiting' "
                          "ORDER BY id LIMIT 1 FOR UPDATE SKIP LOCKED) RETURNING ") +
                  kEntryColumns,
              {PgParam(sessionId), PgParam(now + policy.leaseMs)});
  if (claim.rows() == 0) return std::nullopt;
  return ReadEntry(claim, 0);
}

StoreStatus PostgresContentStore::MarkStarted(int32_t entryId, int32_t sessionId,
                                              const std::string& request) {
  PgConnection& db = *impl_->db;
  PgTransaction t(db);
  std::optional<Impl::LeaseView> lease = impl_->LockLease(entryId);
  if (!lease) {
    return {kStoreUnknownEntry, "Queue entry " + std::to_string(entryId) + " does not exist"};
  }
  StoreStatus answer;
  if (auto refusal = LeaseRefusal(entryId, sessionId, lease->state, lease->holder)) {
    answer = *refusal;
  } else {
    // The lease runs from the start of processing; a repeated start keeps the first time.
    db.Exec("mark entry " + std::to_string(entryId) + " started",
            "UPDATE queue_entries SET state = 'processing', lease_expires_at = $1, "
            "started_at = COALESCE(started_at, $2) WHERE id = $3",
            {PgParam(lease->now + lease->policy.leaseMs), PgParam(lease->now), PgParam(entryId)});
  }
  impl_->KeepReport(entryId, "start", sessionId, lease->attempts, request, lease->now, answer);
  t.Commit();
  return answer;
}

StoreStatus PostgresContentStore::MarkEnded(int32_t entryId, int32_t sessionId,
                                            const QueueOutcome& outcome,
                                            const std::string& request) {
  PgConnection& db = *impl_->db;
  PgTransaction t(db);
  std::optional<Impl::LeaseView> lease = impl_->LockLease(entryId);
  if (!lease) {
    return {kStoreUnknownEntry, "Queue entry " + std::to_string(entryId) + " does not exist"};
  }
  StoreStatus answer;
  if (auto refusal = LeaseRefusal(entryId, sessionId, lease->state, lease->holder)) {
    answer = *refusal;
  } else {
    db.Exec("record the outcome of entry " + std::to_string(entryId),
            "UPDATE queue_entries SET state = $1, ended_at = $2, document_generated = $3, "
            "containing_documents = $4, url = $5, error = $6, error_message = $7 WHERE id = $8",
            {PgParam(outcome.error == 0 ? "done" : "failed"), PgParam(lease->now),
             PgParam(outcome.documentGenerated), PgParam(outcome.containingDocuments),
             PgParam(outcome.url), PgParam(outcome.error), PgParam(outcome.errorMessage),
             PgParam(entryId)});
  }
  impl_->KeepReport(entryId, "end", sessionId, lease->attempts, request, lease->now, answer);
  t.Commit();
  return answer;
}

std::vector<QueueEntry> PostgresContentStore::ListEntries() {
  PgResult r = impl_->db->Exec(
      "list the queue", std::string("SELECT ") + kEntryColumns + " FROM queue_entries ORDER BY id");
  std::vector<QueueEntry> out;
  for (int i = 0; i < r.rows(); ++i) out.push_back(ReadEntry(r, i));
  return out;
}

std::optional<QueueEntry> PostgresContentStore::FindEntry(int32_t entryId) {
  PgResult r =
      impl_->db->Exec("read queue entry " + std::to_string(entryId),
                      std::string("SELECT ") + kEntryColumns + " FROM queue_entries WHERE id = $1",
                      {PgParam(entryId)});
  if (r.rows() == 0) return std::nullopt;
  return ReadEntry(r, 0);
}

std::vector<QueueReport> PostgresContentStore::ReportsOf(int32_t entryId) {
  PgResult r = impl_->db->Exec(
      "read the reports of entry " + std::to_string(entryId),
      "SELECT id, entry_id, kind, session_id, attempt, request, received_at, accepted, status, "
      "status_text FROM queue_reports WHERE entry_id = $1 ORDER BY id",
      {PgParam(entryId)});
  std::vector<QueueReport> out;
  for (int i = 0; i < r.rows(); ++i) {
    QueueReport q;
    q.id = r.Int64(i, 0);
    q.entryId = r.Int32(i, 1);
    q.kind = r.Text(i, 2);
    q.sessionId = r.Int32(i, 3);
    q.attempt = r.Int32(i, 4);
    q.request = r.Text(i, 5);
    q.receivedMs = r.Int64(i, 6);
    q.accepted = r.Bool(i, 7);
    q.status = r.Int32(i, 8);
    q.statusText = r.Text(i, 9);
    out.push_back(std::move(q));
  }
  return out;
}

std::optional<std::string> PostgresContentStore::ReadSetting(const std::string& name) {
  PgResult r =
      impl_->db->Exec("read setting '" + name + "'",
                      "SELECT value FROM settings WHERE lower(name) = lower($1)", {PgParam(name)});
  if (r.rows() == 0) return std::nullopt;
  return r.Text(0, 0);
}

void PostgresContentStore::WriteSetting(const std::string& name, const std::string& value) {
  impl_->db->Exec("write setting '" + name + "'",
                  "INSERT INTO settings (name, value) VALUES ($1, $2) "
                  "ON CONFLICT ((lower(name))) DO UPDATE SET value = excluded.value",
                  {PgParam(name), PgParam(value)});
}

int32_t PostgresContentStore::CreateDocument(const Document& d) {
  PgConnection& db = *impl_->db;
  PgTransaction t(db);
  if (d.parentId != 0) {
    // KEY SHARE: the parent cannot be removed before this insert commits.
    PgResult parent =
        db.Exec("look up the parent document",
                "SELECT 1 FROM documents WHERE id = $1 FOR KEY SHARE", {PgParam(d.parentId)});
    if (parent.rows() == 0) {
      throw StoreError("content store '" + impl_->target.display + "': parent document " +
                       std::to_string(d.parentId) + " does not exist");
    }
  }
  const bool noContent = !d.hasContent && d.content.empty();
  PgResult r = db.Exec(
      "create document '" + d.name + "'",
      "INSERT INTO documents (parent_id, sort_order, name, category_id, unit_id, lang_id, "
      "content_type, published, publish_date, file_name, body_html, content, content_size, "
      "created_at, updated_at) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, "
      "COALESCE($14::bigint, " TOVRIK_PG_NOW "), COALESCE($14::bigint, " TOVRIK_PG_NOW
      ")) RETURNING id",
      {d.parentId == 0 ? PgParam() : PgParam(d.parentId), PgParam(d.sortOrder), PgParam(d.name),
       PgParam(d.categoryId), PgParam(d.unitId), PgParam(d.langId), PgParam(d.contentType),
       PgParam(d.published ? "true" : "false"), PgParam(d.publishDate), PgParam(d.fileName),
       PgParam(d.bodyHtml), noContent ? PgParam() : PgParam::Bytes(d.content),
       PgParam(static_cast<int64_t>(d.content.size())), impl_->Now()});
  const int32_t id = r.Int32(0, 0);
  t.Commit();
  return id;
}

bool PostgresContentStore::ReplaceContent(int32_t documentId, const std::vector<uint8_t>& content) {
  PgResult r =
      impl_->db->Exec("replace the content of document " + std::to_string(documentId),
                      "UPDATE documents SET content = $1, content_size = $2, "
                      "updated_at = COALESCE($3::bigint, " TOVRIK_PG_NOW ") WHERE id = $4",
                      {PgParam::Bytes(content), PgParam(static_cast<int64_t>(content.size())),
                       impl_->Now(), PgParam(documentId)});
  return r.affected() > 0;
}

std::optional<Document> PostgresContentStore::ReadDocument(int32_t documentId, bool withContent) {
  PgResult r =
      impl_->db->Exec("read document " + std::to_string(documentId),
                      std::string("SELECT ") + kDocumentColumns +
                          (withContent ? ", content" : ", NULL") + " FROM documents WHERE id = $1",
                      {PgParam(documentId)});
  if (r.rows() == 0) return std::nullopt;
  Document d = ReadDocumentRow(r, 0);
  if (withContent) d.content = r.Bytes(0, 14);
  return d;
}

std::vector<Document> PostgresContentStore::ReadTree(int32_t documentId, bool publishedOnly,
                                                     bool withContent,
                                                     const std::string& publishedSince) {
  // One statement, so the tree is read as of one moment. The walk orders each row by the
  // (sort order, number) pairs of its path, which is depth first with children in sort
  // order; a row already on the path is not entered again, so a damaged tree cannot loop.
  PgResult r = impl_->db->Exec(
      "read the tree below document " + std::to_string(documentId),
      std::string("WITH RECURSIVE tree AS ("
                  "  SELECT d.id, 0 AS level, ARRAY[d.id] AS ids, ARRAY[]::bigint[] AS path"
                  "  FROM documents d WHERE d.id = $1 AND (d.published OR NOT $2)"
                  "  UNION ALL"
                  "  SELECT c.id, t.level + 1, t.ids || c.id,"
                  "    t.path || ARRAY[c.sort_order::bigint, c.id::bigint]"
                  "  FROM tree t JOIN documents c ON c.parent_id = t.id"
                  "  WHERE (c.published OR NOT $2) AND c.id <> ALL (t.ids)) "
                  "SELECT ") +
          kDocumentColumns + (withContent ? ", content" : ", NULL") +
          ", tree.level FROM tree JOIN documents USING (id) "
          "WHERE $3 = '' OR publish_date >= $3 COLLATE \"C\" ORDER BY tree.path",
      {PgParam(documentId), PgParam(publishedOnly ? "true" : "false"), PgParam(publishedSince)});
  std::vector<Document> out;
  for (int i = 0; i < r.rows(); ++i) {
    Document d = ReadDocumentRow(r, i);
    if (withContent) d.content = r.Bytes(i, 14);
    d.level = r.Int32(i, 15);
    out.push_back(std::move(d));
  }
  return out;
}

}  // namespace tovrik
