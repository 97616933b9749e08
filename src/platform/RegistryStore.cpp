#include "platform/RegistryStore.h"

#include <pwd.h>
#include <sqlite3.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>

#include "platform/StateFolder.h"

namespace tovrik {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kRootKeyId = 1;
constexpr int kBusyTimeoutMs = 5000;
constexpr size_t kLongestKeyName = 255;

// A failure inside the store, carrying the Win32 code that the public function returns.
struct StoreError {
  int32_t code;
};

// ---- key names -------------------------------------------------------------------------

// The form in which names are compared: Unicode simple case folding of the UTF-8 text, code
// point by code point ("ß" stays itself); bytes that are not UTF-8 stay as they are.
std::string Fold(const std::string& name) {
  std::string folded;
  folded.reserve(name.size());
  const auto* bytes = reinterpret_cast<const uint8_t*>(name.data());
  const int32_t length = static_cast<int32_t>(name.size());
  int32_t i = 0;
  while (i < length) {
    const int32_t start = i;
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
    if (c < 0) {
      folded.append(name, static_cast<size_t>(start), static_cast<size_t>(i - start));
      continue;
    }
    c = u_foldCase(c, U_FOLD_CASE_DEFAULT);
    uint8_t out[4];
    int32_t n = 0;
    U8_APPEND_UNSAFE(out, n, c);
    folded.append(reinterpret_cast<const char*>(out), static_cast<size_t>(n));
  }
  return folded;
}

// The names of a key path. "" is the key itself; one trailing "\" is allowed; a leading "\"
// or an empty name inside is ERROR_BAD_PATHNAME; a name over 255 bytes ERROR_INVALID_PARAMETER.
std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> names;
  if (path.empty()) return names;
  std::string_view rest(path);
  if (rest.back() == '\\') rest.remove_suffix(1);
  size_t from = 0;
  for (;;) {
    size_t at = rest.find('\\', from);
    std::string_view name = rest.substr(from, at == std::string_view::npos ? rest.npos : at - from);
    if (name.empty()) throw StoreError{ERROR_BAD_PATHNAME};
    if (name.size() > kLongestKeyName) throw StoreError{ERROR_INVALID_PARAMETER};
    names.emplace_back(name);
    if (at == std::string_view::npos) break;
    from = at + 1;
  }
  return names;
}

// ---- SQLite ----------------------------------------------------------------------------

int32_t CodeOfSqlite(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return ERROR_BUSY;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return ERROR_ACCESS_DENIED;
    case SQLITE_NOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_FULL:
      return ERROR_DISK_FULL;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return ERROR_BADDB;
    case SQLITE_CANTOPEN:
      return ERROR_CANTOPEN;
    default:
      return ERROR_REGISTRY_IO_FAILED;
  }
}

class Statement;

std::string UriEscaped(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == '%' || c == '?' || c == '#') {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

// One connection to a hive file, opened for one operation.
class Database {
 public:
  // Opens the file. forWrite creates the folder and the file when missing and fails with
  // ERROR_ACCESS_DENIED when the store cannot be written; a reader gets ERROR_FILE_NOT_FOUND
  // for a missing file.
  enum class Mode { kRead, kWrite, kReadSnapshot };

  // Opens the file. kWrite creates the folder and the file when missing and fails with
  // ERROR_ACCESS_DENIED when the store cannot be written; a reader gets ERROR_FILE_NOT_FOUND
  // for a missing file. kReadSnapshot reads the main file alone, for a reader that may not
  // create the WAL index beside it.
  Database(const fs::path& file, Mode mode) : file_(file) {
    const bool forWrite = mode == Mode::kWrite;
    std::error_code ec;
    if (!fs::exists(file, ec)) {
      if (!forWrite) throw StoreError{ERROR_FILE_NOT_FOUND};
      fs::create_directories(file.parent_path(), ec);
      if (ec) {
        std::cerr << "registry store: cannot create '" << file.parent_path().string()
                  << "': " << ec.message() << "\n";
        throw StoreError{ec == std::errc::permission_denied ||
                                 ec == std::errc::operation_not_permitted ||
                                 ec == std::errc::read_only_file_system
                             ? ERROR_ACCESS_DENIED
                             : ERROR_CANTOPEN};
      }
    }
    int flags = SQLITE_OPEN_FULLMUTEX;
    std::string name = file.string();
    if (mode == Mode::kReadSnapshot) {
      flags |= SQLITE_OPEN_READONLY | SQLITE_OPEN_URI;
      name = "file:" + UriEscaped(name) + "?immutable=1";
    } else {
      flags |= SQLITE_OPEN_READWRITE | (forWrite ? SQLITE_OPEN_CREATE : 0);
    }
    int rc = sqlite3_open_v2(name.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) Fail(rc, "open");
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    if (forWrite && sqlite3_db_readonly(db_, "main") == 1) throw StoreError{ERROR_ACCESS_DENIED};
    if (forWrite) Initialise();
  }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;
  ~Database() { sqlite3_close_v2(db_); }

  sqlite3* handle() const { return db_; }

  void Exec(const char* sql) {
    int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) Fail(rc, sql);
  }

  // Logs an unexpected SQLite failure and raises its Win32 code.
  [[noreturn]] void Fail(int rc, const char* what) {
    std::cerr << "registry store '" << file_.string() << "': " << what << ": "
              << (db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc)) << "\n";
    throw StoreError{CodeOfSqlite(rc)};
  }

 private:
  void Initialise();

  const fs::path file_;
  sqlite3* db_ = nullptr;
};

class Statement {
 public:
  Statement(Database& db, const char* sql) : db_(db) {
    int rc = sqlite3_prepare_v2(db.handle(), sql, -1, &stmt_, nullptr);
    if (rc != SQLITE_OK) db.Fail(rc, sql);
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  ~Statement() { sqlite3_finalize(stmt_); }

  Statement& Bind(int index, int64_t value) {
    sqlite3_bind_int64(stmt_, index, value);
    return *this;
  }
  Statement& Bind(int index, const std::string& text) {
    sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& BindBlob(int index, const std::vector<uint8_t>& bytes) {
    if (bytes.empty()) {
      sqlite3_bind_zeroblob(stmt_, index, 0);
    } else {
      sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()),
                        SQLITE_TRANSIENT);
    }
    return *this;
  }
  // True while there is a row.
  bool Step() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    db_.Fail(rc, sqlite3_sql(stmt_));
  }
  int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
  std::string Text(int column) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return p == nullptr ? std::string() : std::string(p, sqlite3_column_bytes(stmt_, column));
  }
  std::vector<uint8_t> Blob(int column) const {
    const auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(stmt_, column));
    int n = sqlite3_column_bytes(stmt_, column);
    return p == nullptr ? std::vector<uint8_t>() : std::vector<uint8_t>(p, p + n);
  }

 private:
  Database& db_;
  sqlite3_stmt* stmt_ = nullptr;
};

// A transaction that rolls back unless committed. Writers take the write lock at the start
// (IMMEDIATE), so that two writers queue on the busy time-out instead of failing on upgrade.
class Transaction {
 public:
  Transaction(Database& db, bool write) : db_(db) { db.Exec(write ? "BEGIN IMMEDIATE" : "BEGIN"); }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  ~Transaction() {
    if (!done_) sqlite3_exec(db_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
  }
  void Commit() {
    db_.Exec("COMMIT");
    done_ = true;
  }

 private:
  Database& db_;
  bool done_ = false;
};

void Database::Initialise() {
  {
    Statement version(*this, "PRAGMA user_version");
    if (version.Step() && version.Int(0) >= 1) return;
  }
  {
    Transaction tx(*this, true);
    Exec(
        "CREATE TABLE IF NOT EXISTS keys("
        "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
        "  parent INTEGER,"
        "  name TEXT NOT NULL,"
        "  fold TEXT NOT NULL);"
        "CREATE UNIQUE INDEX IF NOT EXISTS keys_by_parent ON keys(parent, fold);"
        "CREATE TABLE IF NOT EXISTS vals("
        "  key INTEGER NOT NULL,"
        "  name TEXT NOT NULL,"
        "  fold TEXT NOT NULL,"
        "  type INTEGER NOT NULL,"
        "  data BLOB NOT NULL,"
        "  PRIMARY KEY(key, fold));"
        "INSERT OR IGNORE INTO keys(id, parent, name, fold) VALUES(1, NULL, '', '');"
        "PRAGMA user_version = 1;");
    tx.Commit();
  }
  // Readers then never block writers, nor writers readers. Persistent; another process that
  // switches at the same moment makes this one busy, which is harmless.
  sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
}

bool KeyExists(Database& db, int64_t id) {
  Statement s(db, "SELECT 1 FROM keys WHERE id = ?");
  return s.Bind(1, id).Step();
}

// The id of the named child of parent, or 0.
int64_t ChildId(Database& db, int64_t parent, const std::string& name) {
  Statement s(db, "SELECT id FROM keys WHERE parent = ? AND fold = ?");
  return s.Bind(1, parent).Bind(2, Fold(name)).Step() ? s.Int(0) : 0;
}

// ---- handles ---------------------------------------------------------------------------

struct KeyHandle {
  fs::path file;
  int64_t id = 0;
  int32_t access = 0;
};

class HandleTable {
 public:
  int32_t Add(KeyHandle key) {
    std::scoped_lock lock(mutex_);
    do {
      next_ = next_ >= 0x7FFFFF00 ? 0x100 : next_ + 4;
    } while (handles_.count(next_) != 0);
    handles_.emplace(next_, std::move(key));
    return next_;
  }
  bool Remove(int32_t handle) {
    std::scoped_lock lock(mutex_);
    return handles_.erase(handle) != 0;
  }
  KeyHandle Find(int32_t handle) const {
    if (handle == HKEY_CURRENT_USER || handle == HKEY_LOCAL_MACHINE) {
      fs::path file = RegistryHiveFile(handle);
      if (file.empty()) throw StoreError{ERROR_INVALID_HANDLE};
      return KeyHandle{file, kRootKeyId, KEY_ALL_ACCESS};
    }
    std::scoped_lock lock(mutex_);
    auto it = handles_.find(handle);
    if (it == handles_.end()) throw StoreError{ERROR_INVALID_HANDLE};
    return it->second;
  }

 private:
  mutable std::mutex mutex_;
  std::map<int32_t, KeyHandle> handles_;  // guarded by mutex_
  int32_t next_ = 0xFC;                   // guarded by mutex_
};

HandleTable& Handles() {
  static HandleTable table;
  return table;
}

void RequireAccess(const KeyHandle& key, int32_t rights) {
  if ((key.access & rights) == 0) throw StoreError{ERROR_ACCESS_DENIED};
}

// Runs an operation, turning its failures into the code it returns.
template <class Fn>
int32_t Guarded(Fn fn) {
  try {
    fn();
    return ERROR_SUCCESS;
  } catch (const StoreError& e) {
    return e.code;
  } catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  } catch (const std::exception& e) {
    std::cerr << "registry store: " << e.what() << "\n";
    return ERROR_REGISTRY_IO_FAILED;
  }
}

// Checks, inside a transaction, that the handle's key still exists: a key deleted since its
// handle was opened is ERROR_KEY_DELETED.
void CheckKey(Database& db, const KeyHandle& key) {
  if (!KeyExists(db, key.id)) {
    throw StoreError{key.id == kRootKeyId ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED};
  }
}

// Opens the hive for reading; nullptr for a hive with no file yet, or one whose first writer
// has not finished setting it up.
// The schema version of a hive (0 before its first writer set it up), without logging.
int ReadUserVersion(sqlite3* db, int64_t& version) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &stmt, nullptr);
  if (rc == SQLITE_OK) {
    rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) {
      version = sqlite3_column_int64(stmt, 0);
      rc = SQLITE_OK;
    }
  }
  sqlite3_finalize(stmt);
  return rc;
}

// A reader that may not write beside a hive (a user other than its owner) cannot create
// the WAL index, and reads the main file alone: what the last writer checkpointed, which is
// everything once no writer is at work.
std::unique_ptr<Database> OpenForRead(const KeyHandle& key) {
  std::unique_ptr<Database> db;
  try {
    db = std::make_unique<Database>(key.file, Database::Mode::kRead);
  } catch (const StoreError& e) {
    if (e.code == ERROR_FILE_NOT_FOUND) return nullptr;
    throw;
  }
  int64_t version = 0;
  int rc = ReadUserVersion(db->handle(), version);
  if ((rc & 0xFF) == SQLITE_READONLY || (rc & 0xFF) == SQLITE_CANTOPEN) {
    db = std::make_unique<Database>(key.file, Database::Mode::kReadSnapshot);
    rc = ReadUserVersion(db->handle(), version);
  }
  if (rc != SQLITE_OK) db->Fail(rc, "PRAGMA user_version");
  if (version < 1) return nullptr;
  return db;
}

bool FileExists(const fs::path& file) {
  std::error_code ec;
  return fs::exists(file, ec);
}

bool IsWriteAccess(int32_t access) { return (access & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY)) != 0; }

fs::path UserHome() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return fs::path(home);
  struct passwd pw;
  struct passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (getpwuid_r(getuid(), &pw, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr) {
    return fs::path(found->pw_dir);
  }
  return fs::path();
}

}  // namespace

fs::path RegistryHiveFile(int32_t hive) {
  if (hive == HKEY_LOCAL_MACHINE) return StateFolder() / "registry" / "HKLM.db";
  if (hive == HKEY_CURRENT_USER) {
    fs::path home = UserHome();
    if (home.empty()) return fs::path();
    return home / ".local" / "state" / "tovrik" / "HKCU.db";
  }
  return fs::path();
}

int32_t RegCreateKey(int32_t hKey, const std::string& subKey, int32_t desiredAccess,
                     int32_t& result, bool* created) {
  return Guarded([&] {
    KeyHandle parent = Handles().Find(hKey);
    std::vector<std::string> names = SplitPath(subKey);
    Database db(parent.file, Database::Mode::kWrite);
    Transaction tx(db, true);
    CheckKey(db, parent);
    int64_t id = parent.id;
    bool made = false;
    for (const std::string& name : names) {
      int64_t child = ChildId(db, id, name);
      made = child == 0;
      if (made) {
        RequireAccess(parent, KEY_CREATE_SUB_KEY);
        Statement insert(db, "INSERT INTO keys(parent, name, fold) VALUES(?, ?, ?)");
        insert.Bind(1, id).Bind(2, name).Bind(3, Fold(name)).Step();
        child = sqlite3_last_insert_rowid(db.handle());
      }
      id = child;
    }
    tx.Commit();
    result = Handles().Add(KeyHandle{parent.file, id, desiredAccess});
    if (created != nullptr) *created = made;
  });
}

int32_t RegOpenKey(int32_t hKey, const std::string& subKey, int32_t desiredAccess,
                   int32_t& result) {
  return Guarded([&] {
    KeyHandle parent = Handles().Find(hKey);
    std::vector<std::string> names = SplitPath(subKey);
    std::unique_ptr<Database> db = OpenForRead(parent);
    int64_t id = parent.id;
    if (db == nullptr) {
      if (!names.empty()) throw StoreError{ERROR_FILE_NOT_FOUND};
    } else {
      if (IsWriteAccess(desiredAccess) && sqlite3_db_readonly(db->handle(), "main") == 1) {
        throw StoreError{ERROR_ACCESS_DENIED};
      }
      Transaction tx(*db, false);
      CheckKey(*db, parent);
      for (const std::string& name : names) {
        id = ChildId(*db, id, name);
        if (id == 0) throw StoreError{ERROR_FILE_NOT_FOUND};
      }
    }
    result = Handles().Add(KeyHandle{parent.file, id, desiredAccess});
  });
}

int32_t RegCloseKey(int32_t hKey) {
  if (hKey == HKEY_CURRENT_USER || hKey == HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;
  return Handles().Remove(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

int32_t RegQueryInfoKey(int32_t hKey, uint32_t& subKeyCount, uint32_t& longestSubKeyName,
                        uint32_t& valueCount, uint32_t& longestValueName) {
  return Guarded([&] {
    KeyHandle key = Handles().Find(hKey);
    RequireAccess(key, KEY_QUERY_VALUE);
    uint32_t counts[4] = {0, 0, 0, 0};
    if (std::unique_ptr<Database> db = OpenForRead(key)) {
      Transaction tx(*db, false);
      CheckKey(*db, key);
      Statement keys(*db,
                     "SELECT count(*), coalesce(max(length(CAST(name AS BLOB))), 0) "
                     "FROM keys WHERE parent = ?");
      keys.Bind(1, key.id).Step();
      Statement vals(*db,
                     "SELECT count(*), coalesce(max(length(CAST(name AS BLOB))), 0) "
                     "FROM vals WHERE key = ?");
      vals.Bind(1, key.id).Step();
      counts[0] = static_cast<uint32_t>(keys.Int(0));
      counts[1] = static_cast<uint32_t>(keys.Int(1));
      counts[2] = static_cast<uint32_t>(vals.Int(0));
      counts[3] = static_cast<uint32_t>(vals.Int(1));
    } else if (key.id != kRootKeyId) {
      throw StoreError{ERROR_KEY_DELETED};
    }
    subKeyCount = counts[0];
    longestSubKeyName = counts[1];
    valueCount = counts[2];
    longestValueName = counts[3];
  });
}

namespace {

int32_t EnumName(int32_t hKey, uint32_t index, uint32_t bufferSize, std::string& name,
                 int32_t rights, const char* sql) {
  return Guarded([&] {
    KeyHandle key = Handles().Find(hKey);
    RequireAccess(key, rights);
    std::unique_ptr<Database> db = OpenForRead(key);
    if (db == nullptr) throw StoreError{ERROR_NO_MORE_ITEMS};
    Transaction tx(*db, false);
    CheckKey(*db, key);
    Statement s(*db, sql);
    if (!s.Bind(1, key.id).Bind(2, int64_t{index}).Step()) throw StoreError{ERROR_NO_MORE_ITEMS};
    std::string found = s.Text(0);
    if (found.size() + 1 > bufferSize) throw StoreError{ERROR_MORE_DATA};
    name = std::move(found);
  });
}

}  // namespace

int32_t RegEnumKey(int32_t hKey, uint32_t index, uint32_t bufferSize, std::string& name) {
  return EnumName(hKey, index, bufferSize, name, KEY_ENUMERATE_SUB_KEYS,
                  "SELECT name FROM keys WHERE parent = ? ORDER BY fold LIMIT 1 OFFSET ?");
}

int32_t RegEnumValue(int32_t hKey, uint32_t index, uint32_t bufferSize, std::string& name) {
  return EnumName(hKey, index, bufferSize, name, KEY_QUERY_VALUE,
                  "SELECT name FROM vals WHERE key = ? ORDER BY rowid LIMIT 1 OFFSET ?");
}

int32_t RegQueryValue(int32_t hKey, const std::string& valueName, int32_t& type,
                      std::vector<uint8_t>& data, uint32_t maxSize, uint32_t* size) {
  return Guarded([&] {
    KeyHandle key = Handles().Find(hKey);
    RequireAccess(key, KEY_QUERY_VALUE);
    std::unique_ptr<Database> db = OpenForRead(key);
    if (db == nullptr) throw StoreError{ERROR_FILE_NOT_FOUND};
    Transaction tx(*db, false);
    CheckKey(*db, key);
    Statement s(*db, "SELECT type, data FROM vals WHERE key = ? AND fold = ?");
    if (!s.Bind(1, key.id).Bind(2, Fold(valueName)).Step()) {
      throw StoreError{ERROR_FILE_NOT_FOUND};
    }
    std::vector<uint8_t> bytes = s.Blob(1);
    type = static_cast<int32_t>(s.Int(0));
    if (size != nullptr) *size = static_cast<uint32_t>(bytes.size());
    if (bytes.size() > maxSize) {
      data.clear();
      throw StoreError{ERROR_MORE_DATA};
    }
    data = std::move(bytes);
  });
}

int32_t RegSetValue(int32_t hKey, const std::string& valueName, int32_t type,
                    const std::vector<uint8_t>& data) {
  return Guarded([&] {
    KeyHandle key = Handles().Find(hKey);
    RequireAccess(key, KEY_SET_VALUE);
    Database db(key.file, Database::Mode::kWrite);
    Transaction tx(db, true);
    CheckKey(db, key);
    Statement s(db,
                "INSERT INTO vals(key, name, fold, type, data) VALUES(?, ?, ?, ?, ?) "
                "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data");
    s.Bind(1, key.id).Bind(2, valueName).Bind(3, Fold(valueName)).Bind(4, int64_t{type});
    s.BindBlob(5, data).Step();
    tx.Commit();
  });
}

int32_t RegDeleteValue(int32_t hKey, const std::string& valueName) {
  return Guarded([&] {
    KeyHandle key = Handles().Find(hKey);
    RequireAccess(key, KEY_SET_VALUE);
    if (!FileExists(key.file)) throw StoreError{ERROR_FILE_NOT_FOUND};
    Database db(key.file, Database::Mode::kWrite);
    Transaction tx(db, true);
    CheckKey(db, key);
    Statement s(db, "DELETE FROM vals WHERE key = ? AND fold = ?");
    s.Bind(1, key.id).Bind(2, Fold(valueName)).Step();
    if (sqlite3_changes(db.handle()) == 0) throw StoreError{ERROR_FILE_NOT_FOUND};
    tx.Commit();
  });
}

int32_t RegDeleteTree(int32_t hKey, const std::string& subKey) {
  return Guarded([&] {
    KeyHandle key = Handles().Find(hKey);
    if (!IsWriteAccess(key.access)) throw StoreError{ERROR_ACCESS_DENIED};
    std::vector<std::string> names = SplitPath(subKey);
    if (names.empty()) throw StoreError{ERROR_INVALID_PARAMETER};
    if (!FileExists(key.file)) throw StoreError{ERROR_FILE_NOT_FOUND};
    Database db(key.file, Database::Mode::kWrite);
    Transaction tx(db, true);
    CheckKey(db, key);
    int64_t id = key.id;
    for (const std::string& name : names) {
      id = ChildId(db, id, name);
      if (id == 0) throw StoreError{ERROR_FILE_NOT_FOUND};
    }
    // Values first, while the tree is still there to be walked.
    const char* kTree =
        "WITH RECURSIVE tree(id) AS (SELECT ? UNION ALL "
        "SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) ";
    Statement values(db, (std::string(kTree) + "DELETE FROM vals WHERE key IN tree").c_str());
    values.Bind(1, id).Step();
    Statement keys(db, (std::string(kTree) + "DELETE FROM keys WHERE id IN tree").c_str());
    keys.Bind(1, id).Step();
    tx.Commit();
  });
}

std::string RegistryErrorText(int32_t code) {
  switch (code) {
    case ERROR_SUCCESS:
      return "The operation completed successfully.";
    case ERROR_FILE_NOT_FOUND:
      return "The system cannot find the file specified.";
    case ERROR_ACCESS_DENIED:
      return "Access is denied.";
    case ERROR_INVALID_HANDLE:
      return "The handle is invalid.";
    case ERROR_NOT_ENOUGH_MEMORY:
      return "Not enough memory resources are available to process this command.";
    case ERROR_INVALID_PARAMETER:
      return "The parameter is incorrect.";
    case ERROR_DISK_FULL:
      return "There is not enough space on the disk.";
    case ERROR_BAD_PATHNAME:
      return "The specified path is invalid.";
    case ERROR_BUSY:
      return "The requested resource is in use.";
    case ERROR_MORE_DATA:
      return "More data is available.";
    case ERROR_NO_MORE_ITEMS:
      return "No more data is available.";
    case ERROR_BADDB:
      return "The configuration registry database is corrupt.";
    case ERROR_CANTOPEN:
      return "The configuration registry key could not be opened.";
    case ERROR_REGISTRY_IO_FAILED:
      return "An I/O operation initiated by the registry failed unrecoverably.";
    case ERROR_KEY_DELETED:
      return "Illegal operation attempted on a registry key that has been marked for deletion.";
    default:
      return std::string();
  }
}

}  // namespace tovrik
