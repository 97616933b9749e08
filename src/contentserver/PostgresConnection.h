#pragma once
// Connections to the PostgreSQL content database, and a small per-process pool of idle ones.
// A server name becomes a PgTarget: a host name means "host=NAME dbname=tovrik" (user, port,
// password and TLS from libpq's environment, service and password files); a postgresql:// or
// postgres:// URI is used as it stands. Every failure throws StoreError with the target's
// display text (never its password), the statement's purpose, the server's message and its
// SQLSTATE. A PgConnection is used by one thread at a time; the pool may be used by any.

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "contentserver/ContentStore.h"

struct pg_conn;
struct pg_result;

namespace tovrik {

// The server could not be reached or refused the connection.
class PgConnectError : public StoreError {
 public:
  using StoreError::StoreError;
};

struct PgTarget {
  std::string conninfo;  // "host=NAME dbname=tovrik", or the URI as given
  std::string display;   // for messages: the conninfo with any password masked
  bool uri = false;
};

// True for "postgresql://..." and "postgres://...".
bool IsPostgresUri(const std::string& serverName);
// serverName must not be empty.
PgTarget PgTargetFor(const std::string& serverName);

// One statement parameter: NULL, text, or binary bytes (bytea).
struct PgParam {
  PgParam() = default;  // NULL
  PgParam(int64_t v) : value(std::to_string(v)) {}
  PgParam(int32_t v) : value(std::to_string(v)) {}
  PgParam(std::string v) : value(std::move(v)) {}
  PgParam(const char* v) : value(std::string(v)) {}
  PgParam(std::optional<std::string> v) : value(std::move(v)) {}
  static PgParam Bytes(const std::vector<uint8_t>& bytes);

  std::optional<std::string> value;
  bool binary = false;
};

// The rows of one statement; owns its PGresult.
class PgResult {
 public:
  PgResult(pg_result* result, std::string context);
  PgResult(PgResult&& other) noexcept;
  PgResult(const PgResult&) = delete;
  PgResult& operator=(const PgResult&) = delete;
  ~PgResult();

  int rows() const;
  int64_t affected() const;  // rows changed by INSERT/UPDATE/DELETE
  bool IsNull(int row, int col) const;
  std::string Text(int row, int col) const;
  std::optional<std::string> OptText(int row, int col) const;
  int64_t Int64(int row, int col) const;  // NULL reads as 0
  int32_t Int32(int row, int col) const;  // throws StoreError beyond 32 bits
  bool Bool(int row, int col) const;
  std::vector<uint8_t> Bytes(int row, int col) const;  // a bytea column

 private:
  pg_result* result_;
  std::string context_;
};

class PgConnection {
 public:
  // Connects; throws PgConnectError ("cannot connect") when the server cannot be reached or
  // refuses. Waits at most PGCONNECT_TIMEOUT (10 s unless set) for the server.
  explicit PgConnection(const PgTarget& target);
  PgConnection(const PgConnection&) = delete;
  PgConnection& operator=(const PgConnection&) = delete;
  ~PgConnection();

  // Runs one statement; what names it for messages ("claim the next entry").
  PgResult Exec(const std::string& what, const std::string& sql,
                const std::vector<PgParam>& params = {});
  // Runs statements without parameters (schema scripts).
  void ExecScript(const std::string& what, const std::string& sql);

  // True when the connection can serve another call: connected, outside a transaction, and
  // the server has sent nothing since (a server that shut down or restarted says goodbye,
  // which leaves the socket readable).
  bool Reusable();
  // Drops the connection without a word to the server: for a copy inherited through fork,
  // whose socket belongs to the parent's session.
  void Abandon();

  const PgTarget& target() const { return target_; }
  pid_t owner() const { return owner_; }
  bool schemaChecked = false;  // the schema version was checked on this connection

 private:
  [[noreturn]] void Fail(const std::string& what) const;

  const PgTarget target_;
  const pid_t owner_;
  pg_conn* conn_ = nullptr;
};

// BEGIN ... COMMIT; rolled back when left without Commit().
class PgTransaction {
 public:
  explicit PgTransaction(PgConnection& db, const char* begin = "BEGIN");
  PgTransaction(const PgTransaction&) = delete;
  PgTransaction& operator=(const PgTransaction&) = delete;
  ~PgTransaction();
  void Commit();

 private:
  PgConnection& db_;
  bool done_ = false;
};

// Idle connections kept for reuse, per target, up to a capacity per target. The capacity is
// $TOVRIK_PG_POOL (default 4); 0 opens a new connection for every store object. A process
// that forks drops, without closing them on the server, the connections it inherited.
class PgConnectionPool {
 public:
  static PgConnectionPool& Instance();

  // A connection to target: an idle one that is still reusable, or a new one.
  std::unique_ptr<PgConnection> Take(const PgTarget& target);
  // Keeps db for reuse when it is reusable and there is room; closes it otherwise.
  void Give(std::unique_ptr<PgConnection> db);
  // Closes every idle connection (before a database is dropped, in tests).
  void Clear();
  void SetCapacity(size_t perTarget);
  size_t capacity() const;

 private:
  PgConnectionPool();
  void ForgetInheritedLocked();

  mutable std::mutex mutex_;
  // Guarded by mutex_:
  std::vector<std::unique_ptr<PgConnection>> idle_;
  size_t capacity_;
  pid_t pid_;
};

}  // namespace tovrik
