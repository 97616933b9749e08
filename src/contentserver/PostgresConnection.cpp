#include "contentserver/PostgresConnection.h"

#include <fcntl.h>
#include <libpq-fe.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace tovrik {
namespace {

constexpr Oid kByteaOid = 17;
constexpr const char* kDefaultConnectTimeout = "10";
constexpr size_t kDefaultPoolCapacity = 4;

std::string MaskUriPassword(const std::string& uri) {
  std::string out = uri;
  const size_t scheme = out.find("://");
  if (scheme != std::string::npos) {
    const size_t start = scheme + 3;
    const size_t at = out.find('@', start);
    const size_t slash = out.find('/', start);
    if (at != std::string::npos && (slash == std::string::npos || at < slash)) {
      const size_t colon = out.find(':', start);
      if (colon != std::string::npos && colon < at) out.replace(colon + 1, at - colon - 1, "***");
    }
  }
  // password=... among the query parameters
  for (size_t p = out.find("password="); p != std::string::npos; p = out.find("password=", p + 1)) {
    const size_t valueStart = p + 9;
    const size_t valueEnd = out.find('&', valueStart);
    out.replace(valueStart, (valueEnd == std::string::npos ? out.size() : valueEnd) - valueStart,
                "***");
  }
  return out;
}

std::string Trimmed(const char* message) {
  std::string s = message ? message : "";
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  std::string out;
  for (char c : s) {
    if (c == '\n') {
      out += "; ";
    } else if (c != '\t') {
      out += c;
    }
  }
  return out;
}

size_t CapacityFromEnvironment() {
  const char* text = std::getenv("TOVRIK_PG_POOL");
  if (!text || !*text) return kDefaultPoolCapacity;
  char* end = nullptr;
  long n = std::strtol(text, &end, 10);
  if (*end != '\0' || n < 0 || n > 1000) return kDefaultPoolCapacity;
  return static_cast<size_t>(n);
}

}  // namespace

bool IsPostgresUri(const std::string& serverName) {
  return serverName.rfind("postgresql://", 0) == 0 || serverName.rfind("postgres://", 0) == 0;
}

PgTarget PgTargetFor(const std::string& serverName) {
  PgTarget t;
  if (IsPostgresUri(serverName)) {
    t.conninfo = serverName;
    t.display = MaskUriPassword(serverName);
    t.uri = true;
  } else {
    t.conninfo = "host=" + serverName + " dbname=tovrik";
    t.display = t.conninfo;
  }
  return t;
}

PgParam PgParam::Bytes(const std::vector<uint8_t>& bytes) {
  PgParam p;
  p.value = std::string(bytes.begin(), bytes.end());
  p.binary = true;
  return p;
}

// ---- PgResult

PgResult::PgResult(pg_result* result, std::string context)
    : result_(result), context_(std::move(context)) {}

PgResult::PgResult(PgResult&& other) noexcept
    : result_(other.result_), context_(std::move(other.context_)) {
  other.result_ = nullptr;
}

PgResult::~PgResult() { PQclear(result_); }

int PgResult::rows() const { return PQntuples(result_); }

int64_t PgResult::affected() const {
  const char* n = PQcmdTuples(result_);
  return n && *n ? std::strtoll(n, nullptr, 10) : 0;
}

bool PgResult::IsNull(int row, int col) const { return PQgetisnull(result_, row, col) != 0; }

std::string PgResult::Text(int row, int col) const {
  return std::string(PQgetvalue(result_, row, col),
                     static_cast<size_t>(PQgetlength(result_, row, col)));
}

std::optional<std::string> PgResult::OptText(int row, int col) const {
  if (IsNull(row, col)) return std::nullopt;
  return Text(row, col);
}

int64_t PgResult::Int64(int row, int col) const {
  if (IsNull(row, col)) return 0;
  const char* text = PQgetvalue(result_, row, col);
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0') {
    throw StoreError(context_ + ": '" + text + "' is not a whole number");
  }
  return v;
}

int32_t PgResult::Int32(int row, int col) const {
  int64_t v = Int64(row, col);
  if (v < INT32_MIN || v > INT32_MAX) {
    throw StoreError(context_ + ": " + std::to_string(v) + " is out of the 32-bit range");
  }
  return static_cast<int32_t>(v);
}

bool PgResult::Bool(int row, int col) const {
  const char* text = PQgetvalue(result_, row, col);
  return text[0] == 't' || text[0] == '1';
}

std::vector<uint8_t> PgResult::Bytes(int row, int col) const {
  if (IsNull(row, col)) return {};
  size_t length = 0;
  unsigned char* raw = PQunescapeBytea(
      reinterpret_cast<const unsigned char*>(PQgetvalue(result_, row, col)), &length);
  if (!raw) throw StoreError(context_ + ": cannot decode the stored bytes");
  std::vector<uint8_t> bytes(raw, raw + length);
  PQfreemem(raw);
  return bytes;
}

// ---- PgConnection

PgConnection::PgConnection(const PgTarget& target) : target_(target), owner_(getpid()) {
  // Earlier keywords are overridden by what the URI or conninfo says itself.
  std::vector<const char*> keys = {"application_name"};
  std::vector<const char*> values = {"tovrik"};
  if (!std::getenv("PGCONNECT_TIMEOUT")) {
    keys.push_back("connect_timeout");
    values.push_back(kDefaultConnectTimeout);
  }
  keys.push_back("dbname");
  values.push_back(target_.conninfo.c_str());
  keys.push_back(nullptr);
  values.push_back(nullptr);
  conn_ = PQconnectdbParams(keys.data(), values.data(), 1);
  if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
    std::string why = conn_ ? Trimmed(PQerrorMessage(conn_)) : "out of memory";
    PQfinish(conn_);
    conn_ = nullptr;
    throw PgConnectError("content store '" + target_.display + "': cannot connect: " + why);
  }
  // Messages that the server sends while we wait (notices) stay out of stderr.
  PQsetNoticeProcessor(
      conn_, [](void*, const char*) {}, nullptr);
}

PgConnection::~PgConnection() {
  if (conn_ && getpid() != owner_) Abandon();
  PQfinish(conn_);
}

void PgConnection::Abandon() {
  if (!conn_) return;
  // Put /dev/null under the socket's descriptor, so PQfinish's goodbye goes nowhere and no
  // other file can take the number in between.
  const int socket = PQsocket(conn_);
  if (socket >= 0) {
    int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0) {
      dup2(null, socket);
      close(null);
    }
  }
  PQfinish(conn_);
  conn_ = nullptr;
}

void PgConnection::Fail(const std::string& what) const {
  throw StoreError("content store '" + target_.display + "': " + what + ": " +
                   Trimmed(PQerrorMessage(conn_)));
}

PgResult PgConnection::Exec(const std::string& what, const std::string& sql,
                            const std::vector<PgParam>& params) {
  if (!conn_) throw StoreError("content store '" + target_.display + "': " + what + ": closed");
  std::vector<const char*> values;
  std::vector<int> lengths, formats;
  std::vector<Oid> types;
  for (const PgParam& p : params) {
    values.push_back(p.value ? p.value->data() : nullptr);
    lengths.push_back(p.value ? static_cast<int>(p.value->size()) : 0);
    formats.push_back(p.binary ? 1 : 0);
    types.push_back(p.binary ? kByteaOid : 0);
  }
  PGresult* r = PQexecParams(conn_, sql.c_str(), static_cast<int>(params.size()), types.data(),
                             values.data(), lengths.data(), formats.data(), 0);
  const std::string context = "content store '" + target_.display + "': " + what;
  const ExecStatusType status = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    std::string why = r ? Trimmed(PQresultErrorMessage(r)) : "";
    if (why.empty()) why = Trimmed(PQerrorMessage(conn_));
    const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    if (state) why += " (SQLSTATE " + std::string(state) + ")";
    if (PQstatus(conn_) != CONNECTION_OK) why += " (connection lost)";
    PQclear(r);
    throw StoreError(context + " failed: " + why);
  }
  return PgResult(r, context);
}

void PgConnection::ExecScript(const std::string& what, const std::string& sql) {
  PGresult* r = PQexec(conn_, sql.c_str());
  const ExecStatusType status = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
  PQclear(r);
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) Fail(what + " failed");
}

bool PgConnection::Reusable() {
  if (!conn_ || PQstatus(conn_) != CONNECTION_OK || PQtransactionStatus(conn_) != PQTRANS_IDLE) {
    return false;
  }
  pollfd p{PQsocket(conn_), POLLIN, 0};
  // Readable while idle: the server closed the session (shutdown, restart, terminated).
  return poll(&p, 1, 0) == 0;
}

// ---- PgTransaction

PgTransaction::PgTransaction(PgConnection& db, const char* begin) : db_(db) {
  db_.Exec("begin a transaction", begin);
}

PgTransaction::~PgTransaction() {
  if (done_) return;
  try {
    db_.Exec("roll back", "ROLLBACK");
  } catch (const StoreError&) {
    // The connection is gone, and the transaction with it.
  }
}

void PgTransaction::Commit() {
  db_.Exec("commit", "COMMIT");
  done_ = true;
}

// ---- PgConnectionPool

PgConnectionPool& PgConnectionPool::Instance() {
  // Never destroyed, so no call at exit finds it gone; its idle connections say goodbye to
  // the server at exit instead of dropping off.
  static PgConnectionPool* pool = [] {
    auto* made = new PgConnectionPool();
    std::atexit([] { Instance().Clear(); });
    return made;
  }();
  return *pool;
}

PgConnectionPool::PgConnectionPool() : capacity_(CapacityFromEnvironment()), pid_(getpid()) {}

void PgConnectionPool::ForgetInheritedLocked() {
  if (pid_ == getpid()) return;
  for (auto& db : idle_) db->Abandon();
  idle_.clear();
  pid_ = getpid();
}

std::unique_ptr<PgConnection> PgConnectionPool::Take(const PgTarget& target) {
  {
    std::scoped_lock lock(mutex_);
    ForgetInheritedLocked();
    // The most recently returned connection first: it is the likeliest to be alive.
    for (size_t i = idle_.size(); i-- > 0;) {
      if (idle_[i]->target().conninfo != target.conninfo) continue;
      std::unique_ptr<PgConnection> db = std::move(idle_[i]);
      idle_.erase(idle_.begin() + static_cast<std::ptrdiff_t>(i));
      if (db->Reusable()) return db;
      // A dead connection: dropped; look for another.
    }
  }
  return std::make_unique<PgConnection>(target);
}

void PgConnectionPool::Give(std::unique_ptr<PgConnection> db) {
  if (!db) return;
  if (db->owner() != getpid()) {
    db->Abandon();
    return;
  }
  if (!db->Reusable()) return;  // closed on the way out
  std::scoped_lock lock(mutex_);
  ForgetInheritedLocked();
  const size_t same =
      static_cast<size_t>(std::count_if(idle_.begin(), idle_.end(), [&](const auto& kept) {
        return kept->target().conninfo == db->target().conninfo;
      }));
  if (same < capacity_) idle_.push_back(std::move(db));
}

void PgConnectionPool::Clear() {
  std::vector<std::unique_ptr<PgConnection>> closing;
  {
    std::scoped_lock lock(mutex_);
    ForgetInheritedLocked();
    closing.swap(idle_);
  }
}

void PgConnectionPool::SetCapacity(size_t perTarget) {
  std::scoped_lock lock(mutex_);
  capacity_ = perTarget;
}

size_t PgConnectionPool::capacity() const {
  std::scoped_lock lock(mutex_);
  return capacity_;
}

}  // namespace tovrik
