// The tables of the PostgreSQL content store and their migrations.

#include "contentserver/PostgresContentStore.h"

namespace tovrik {
namespace {

// Any number that other programs are unlikely to pick for their advisory locks.
constexpr const char* kMigrationLock = "SELECT pg_advisory_xact_lock(7346290051)";

// Migration n takes the schema from version n - 1 to n. Times are milliseconds since the Unix
// epoch; job fields are kept as the text the record gave them (NULL: the record did not have
// the field). Names that hold dates compare in the C collation, as the embedded store does.
constexpr const char* kMigrations[] = {
    // 1: the first schema
    R"sql(
CREATE TABLE sessions (
  id integer GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  connection_id integer NOT NULL,
  request text NOT NULL,
  opened_at bigint NOT NULL);
CREATE TABLE settings (
  name text NOT NULL,
  value text NOT NULL);
CREATE UNIQUE INDEX settings_name ON settings (lower(name));
CREATE TABLE queue_entries (
  id integer GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  state text NOT NULL DEFAULT 'waiting'
    CHECK (state IN ('waiting', 'leased', 'processing', 'done', 'failed')),
  optionsxml text, issynchronous text, documentid text, documentname text,
  destinationcategoryid text, querystrings text, parsetree text, autoarchive text,
  destinationdocumentid text, flags text, footerxml text, documentguid text, submitter text,
  extra_xml text NOT NULL DEFAULT '',
  attempts integer NOT NULL DEFAULT 0,
  lease_session integer,
  lease_expires_at bigint,
  enqueued_at bigint NOT NULL,
  started_at bigint,
  ended_at bigint,
  document_generated integer,
  containing_documents text,
  url text,
  error integer,
  error_message text);
-- The claim walks this one in order; the sweep of expired leases the other.
CREATE INDEX queue_entries_waiting ON queue_entries (id) WHERE state = 'waiting';
CREATE INDEX queue_entries_leases ON queue_entries (lease_expires_at)
  WHERE state IN ('leased', 'processing');
CREATE TABLE queue_reports (
  id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  entry_id integer NOT NULL REFERENCES queue_entries (id),
  kind text NOT NULL CHECK (kind IN ('start', 'end')),
  session_id integer NOT NULL,
  attempt integer NOT NULL,
  request text NOT NULL,
  received_at bigint NOT NULL,
  accepted boolean NOT NULL,
  status integer NOT NULL,
  status_text text NOT NULL);
CREATE INDEX queue_reports_entry ON queue_reports (entry_id, id);
CREATE TABLE documents (
  id integer GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  parent_id integer REFERENCES documents (id),
  sort_order integer NOT NULL DEFAULT 0,
  name text NOT NULL,
  category_id integer NOT NULL DEFAULT 0,
  unit_id integer NOT NULL DEFAULT 0,
  lang_id integer NOT NULL DEFAULT 1,
  content_type text NOT NULL,
  published boolean NOT NULL DEFAULT true,
  publish_date text COLLATE "C" NOT NULL DEFAULT '',
  file_name text NOT NULL DEFAULT '',
  body_html text NOT NULL DEFAULT '',
  content bytea,
  content_size bigint NOT NULL DEFAULT 0,
  created_at bigint NOT NULL,
  updated_at bigint NOT NULL);
CREATE INDEX documents_children ON documents (parent_id, sort_order, id);
)sql",
};
constexpr int kMigrationCount = static_cast<int>(sizeof kMigrations / sizeof kMigrations[0]);
static_assert(kMigrationCount == kPostgresSchemaVersion);

// The version of db's schema: 0 when it has no version table (or an empty one).
int SchemaVersion(PgConnection& db) {
  PgResult exists = db.Exec("look for the schema version table",
                            "SELECT to_regclass('schema_version') IS NOT NULL");
  if (!exists.Bool(0, 0)) return 0;
  PgResult v = db.Exec("read the schema version",
                       "SELECT COALESCE(max(version), 0) FROM "
                       "schema_version");
  return v.Int32(0, 0);
}

std::string NewerThanUs(const PgConnection& db, int version) {
  return "content store '" + db.target().display + "' has schema version " +
         std::to_string(version) + ", newer than this program's " +
         std::to_string(kPostgresSchemaVersion);
}

}  // namespace

SchemaMigration MigratePostgresSchema(const PgTarget& target) {
  PgConnection db(target);
  PgTransaction t(db);
  db.Exec("wait for other schema changes", kMigrationLock);
  db.ExecScript("create the schema version table",
                "CREATE TABLE IF NOT EXISTS schema_version ("
                "version integer PRIMARY KEY, applied_at timestamptz NOT NULL DEFAULT now())");
  SchemaMigration m;
  m.from = SchemaVersion(db);
  if (m.from > kPostgresSchemaVersion) throw StoreError(NewerThanUs(db, m.from));
  for (int v = m.from + 1; v <= kPostgresSchemaVersion; ++v) {
    db.ExecScript("migrate the schema to version " + std::to_string(v), kMigrations[v - 1]);
    db.Exec("record schema version " + std::to_string(v),
            "INSERT INTO schema_version (version) VALUES ($1)", {PgParam(int32_t{v})});
  }
  t.Commit();
  m.to = kPostgresSchemaVersion;
  return m;
}

void CheckPostgresSchema(PgConnection& db) {
  const int version = SchemaVersion(db);
  if (version == kPostgresSchemaVersion) return;
  if (version > kPostgresSchemaVersion) throw StoreError(NewerThanUs(db, version));
  const std::string name = db.target().uri
                               ? db.target().display
                               : db.target().conninfo.substr(5, db.target().conninfo.find(' ') - 5);
  throw StoreError("content store '" + db.target().display + "' " +
                   (version == 0 ? std::string("has no tables")
                                 : "has schema version " + std::to_string(version) +
                                       ", older than this program's " +
                                       std::to_string(kPostgresSchemaVersion)) +
                   ": run `tovrik content init --server " + name + "`");
}

}  // namespace tovrik
