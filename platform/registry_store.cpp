#include "platform/registry_store.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <thread>

#include "platform/device.h"
#include "platform/text.h"

namespace cirrodex::platform {

namespace {

thread_local std::string t_lastError;
// Whether the last failure of this thread was only a missing key or value.
thread_local bool t_lastMissing = false;

void SetMissing(const char* what) {
  t_lastError = what;
  t_lastMissing = true;
}

// The busy time-out that stores opened from now on start with.
std::atomic<int64_t> g_busyTimeoutMs{10000};

// Key paths are kept normalised: components joined by one backslash, no empty ones. The root's
// own row has the empty path.
std::string NormalisePath(std::wstring_view path) {
  std::wstring out;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(L'\\', start);
    if (end == std::wstring_view::npos) end = path.size();
    if (end > start) {
      if (!out.empty()) out += L'\\';
      out.append(path.substr(start, end - start));
    }
    start = end + 1;
  }
  return ToUtf8(out);
}

// `out` = the UTF-8 `text`, reusing its storage; names are nearly always ASCII.
void AssignUtf8(std::wstring& out, const unsigned char* text, int size) {
  out.resize(static_cast<size_t>(size));
  for (int i = 0; i < size; ++i) {
    if (text[i] >= 0x80) {
      out = FromUtf8(std::string_view(reinterpret_cast<const char*>(text), size));
      return;
    }
    out[static_cast<size_t>(i)] = static_cast<wchar_t>(text[i]);
  }
}

std::string ParentOf(const std::string& path) {
  size_t slash = path.rfind('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string LeafOf(const std::string& path) {
  size_t slash = path.rfind('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS keys(
  id INTEGER PRIMARY KEY,
  root INTEGER NOT NULL,
  path TEXT NOT NULL COLLATE NOCASE,
  parent INTEGER REFERENCES keys(id) ON DELETE CASCADE,
  name TEXT NOT NULL,
  UNIQUE(root, path));
CREATE INDEX IF NOT EXISTS keys_by_parent ON keys(parent);
CREATE TABLE IF NOT EXISTS vals(
  key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,
  name TEXT NOT NULL COLLATE NOCASE,
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  PRIMARY KEY(key, name)) WITHOUT ROWID;
INSERT OR IGNORE INTO keys(root, path, parent, name) VALUES(2147483649, '', NULL, 'HKEY_CURRENT_USER');
INSERT OR IGNORE INTO keys(root, path, parent, name) VALUES(2147483650, '', NULL, 'HKEY_LOCAL_MACHINE');
)sql";

}  // namespace

struct RegistryStore::Impl {
  sqlite3* db = nullptr;
  bool open = false;
  bool readOnly = false;
  std::string file;
  std::string openError;
  // Recursive so that the operations of a Transaction body can take it again.
  std::recursive_mutex mutex;
  bool inTransaction = false;
  std::map<std::string, sqlite3_stmt*> statements;
  mutable std::mutex faultMutex;
  std::string firstFault;

  ~Impl() {
    for (auto& [sql, stmt] : statements) sqlite3_finalize(stmt);
    if (db != nullptr) sqlite3_close(db);
  }

  void NoteFault(const std::string& what) {
    std::lock_guard lock(faultMutex);
    if (firstFault.empty()) firstFault = what;
  }

  bool Fail(const char* doing) {
    t_lastError = std::string(doing) + ": " +
                  (!open           ? openError
                   : db != nullptr ? sqlite3_errmsg(db)
                                   : "no database");
    t_lastMissing = false;
    NoteFault(t_lastError);
    return false;
  }

  // A cached statement, reset and with its bindings cleared; null on failure.
  sqlite3_stmt* Statement(const std::string& sql) {
    auto it = statements.find(sql);
    if (it == statements.end()) {
      sqlite3_stmt* stmt = nullptr;
      if (sqlite3_prepare_v3(db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) !=
          SQLITE_OK) {
        return nullptr;
      }
      it = statements.emplace(sql, stmt).first;
    }
    sqlite3_reset(it->second);
    sqlite3_clear_bindings(it->second);
    return it->second;
  }

  bool Exec(const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
  }

  // The id of a key, 0 when it does not exist, -1 on a database error.
  sqlite3_int64 KeyId(RootKey root, const std::string& path) {
    sqlite3_stmt* s = Statement("SELECT id FROM keys WHERE root = ?1 AND path = ?2");
    if (s == nullptr) return -1;
    sqlite3_bind_int64(s, 1, static_cast<sqlite3_int64>(root));
    sqlite3_bind_text(s, 2, path.data(), static_cast<int>(path.size()), SQLITE_STATIC);
    int rc = sqlite3_step(s);
    sqlite3_int64 id = rc == SQLITE_ROW ? sqlite3_column_int64(s, 0) : (rc == SQLITE_DONE ? 0 : -1);
    sqlite3_reset(s);
    return id;
  }

  // Creates the missing keys along `path`; the id of the last, or -1.
  sqlite3_int64 EnsureKey(RootKey root, const std::string& path) {
    sqlite3_int64 id = KeyId(root, path);
    if (id != 0) return id;
    sqlite3_int64 parent = EnsureKey(root, ParentOf(path));
    if (parent <= 0) return -1;
    sqlite3_stmt* s =
        Statement("INSERT INTO keys(root, path, parent, name) VALUES(?1, ?2, ?3, ?4)");
    if (s == nullptr) return -1;
    std::string leaf = LeafOf(path);
    sqlite3_bind_int64(s, 1, static_cast<sqlite3_int64>(root));
    sqlite3_bind_text(s, 2, path.data(), static_cast<int>(path.size()), SQLITE_STATIC);
    sqlite3_bind_int64(s, 3, parent);
    sqlite3_bind_text(s, 4, leaf.data(), static_cast<int>(leaf.size()), SQLITE_STATIC);
    int rc = sqlite3_step(s);
    sqlite3_reset(s);
    return rc == SQLITE_DONE ? sqlite3_last_insert_rowid(db) : -1;
  }

  bool PutValue(sqlite3_int64 key, const std::string& name, uint32_t type, const void* data,
                size_t size) {
    sqlite3_stmt* s = Statement(
        "INSERT INTO vals(key, name, type, data) VALUES(?1, ?2, ?3, ?4) "
        "ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data");
    if (s == nullptr) return false;
    sqlite3_bind_int64(s, 1, key);
    sqlite3_bind_text(s, 2, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
    sqlite3_bind_int64(s, 3, type);
    // A zero-length blob must still be a blob, not NULL.
    static const uint8_t kEmpty = 0;
    sqlite3_bind_blob(s, 4, size == 0 ? &kEmpty : data, static_cast<int>(size), SQLITE_STATIC);
    int rc = sqlite3_step(s);
    sqlite3_reset(s);
    return rc == SQLITE_DONE;
  }

  // Runs `body` inside an immediate transaction (or inside the Transaction already under way);
  // commits when it returns true. A body that fails only because something is missing says so
  // with SetMissing and is no fault of the store.
  template <typename Body>
  bool Write(const char* doing, Body body) {
    if (!open) return Fail(doing);
    if (readOnly) {
      t_lastError = std::string(doing) + ": the registry " + file + " is read-only";
      t_lastMissing = false;
      NoteFault(t_lastError);
      return false;
    }
    t_lastMissing = false;
    if (inTransaction) {
      if (body()) return true;
      if (!t_lastMissing) Fail(doing);
      return false;
    }
    if (!Exec("BEGIN IMMEDIATE")) return Fail(doing);
    if (!body()) {
      if (t_lastMissing) {
        Exec("ROLLBACK");
        return false;
      }
      std::string why = std::string(doing) + ": " + sqlite3_errmsg(db);
      Exec("ROLLBACK");
      t_lastError = why;
      t_lastMissing = false;
      NoteFault(why);
      return false;
    }
    if (!Exec("COMMIT")) {
      Fail(doing);
      Exec("ROLLBACK");
      return false;
    }
    return true;
  }
};

RegistryStore::RegistryStore(const std::string& file) : impl_(std::make_unique<Impl>()) {
  Impl& d = *impl_;
  d.file = file;
  // A write-protected file is opened for reading only, whoever runs (even one whom the system
  // would let write), so that its owner's protection holds and nothing is written into it.
  struct stat info {};
  if (lstat(file.c_str(), &info) != 0 && errno == ENOENT) {
    // Made here rather than by SQLite, which would give it (and its journal files, which take
    // its mode) 0644 less the umask: the store stays the user's alone whatever the umask.
    const int fd = open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      fchmod(fd, 0600);
      close(fd);
    }
  }
  const bool exists = stat(file.c_str(), &info) == 0;
  const bool writeProtected =
      exists && S_ISREG(info.st_mode) &&
      ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(file.c_str(), W_OK) != 0);
  // Every use of the connection holds the store's own mutex, so SQLite's locking of each call is
  // not needed (it cost a lock and an unlock for every column of every row read).
  // A symbolic link planted as the store is refused, never written through.
  const int flags =
      (writeProtected ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) |
      SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW;
  int rc = sqlite3_open_v2(file.c_str(), &d.db, flags, nullptr);
  if (rc != SQLITE_OK) {
    d.openError = "opening the registry " + file + ": " +
                  (d.db != nullptr ? sqlite3_errmsg(d.db) : sqlite3_errstr(rc));
    return;
  }
  d.readOnly = writeProtected || sqlite3_db_readonly(d.db, "main") == 1;
  // The journal and its index stay when the last connection closes, the journal emptied
  // (journal_size_limit below): every short run (a download every few minutes) would otherwise
  // make both files anew and delete them again.
  if (!d.readOnly) {
    int persist = 1;
    sqlite3_file_control(d.db, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
  }
  const auto busyTimeout = std::chrono::milliseconds(g_busyTimeoutMs.load());
  // Several processes share the file: wait for a busy database rather than fail.
  sqlite3_busy_timeout(d.db, static_cast<int>(busyTimeout.count()));
  // WAL with synchronous=NORMAL: a commit survives the process being killed; a power cut may
  // lose the last commits but never damages the file.
  char* err = nullptr;
  // Switching a brand-new file to WAL needs a lock that the busy handler does not always wait
  // for while another process is creating the same file, so a busy answer is retried here.
  auto busyUntil = std::chrono::steady_clock::now() + busyTimeout;
  auto execRetryingBusy = [&](const char* sql, auto callback, void* arg) {
    for (;;) {
      sqlite3_free(err);
      err = nullptr;
      int code = sqlite3_exec(d.db, sql, callback, arg, &err);
      int primary = code & 0xFF;
      if ((primary != SQLITE_BUSY && primary != SQLITE_LOCKED) ||
          std::chrono::steady_clock::now() >= busyUntil) {
        return code;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  };
  // A read-only store keeps the journal mode it has.
  if (execRetryingBusy(d.readOnly ? "PRAGMA foreign_keys=ON;"
                                  : "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; "
                                    "PRAGMA journal_size_limit=0; PRAGMA foreign_keys=ON;",
                       static_cast<sqlite3_callback>(nullptr), nullptr) != SQLITE_OK) {
    d.openError = "opening the registry " + file + ": " + (err != nullptr ? err : "unknown error");
    sqlite3_free(err);
    return;
  }
  // A damaged file is refused as a whole: nothing is written into it, and every read fails.
  std::string damage;
  err = nullptr;
  int checked = execRetryingBusy(
      "PRAGMA quick_check",
      +[](void* out, int, char** row, char**) {
        auto* text = static_cast<std::string*>(out);
        if (row[0] == nullptr || std::strcmp(row[0], "ok") == 0 || !text->empty()) return 0;
        // The first problem named is enough to say what is wrong; skip the heading line.
        std::string_view report = row[0];
        while (!report.empty()) {
          std::string_view line = report.substr(0, report.find('\n'));
          report.remove_prefix(std::min(report.size(), line.size() + 1));
          if (!line.empty() && !line.starts_with("***")) {
            *text = line;
            break;
          }
        }
        if (text->empty()) *text = "quick check failed";
        return 0;
      },
      &damage);
  if (checked != SQLITE_OK || !damage.empty()) {
    d.openError =
        "opening the registry " + file + ": the file is damaged (" +
        (checked != SQLITE_OK ? (err != nullptr ? err : sqlite3_errstr(checked)) : damage) + ")";
    sqlite3_free(err);
    return;
  }
  // The tables are made once; later opens only read, so that opening never takes the write lock.
  int tables = 0;
  err = nullptr;
  execRetryingBusy(
      "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN ('keys', 'vals')",
      +[](void* out, int, char** row, char**) {
        *static_cast<int*>(out) = row[0] != nullptr ? std::atoi(row[0]) : 0;
        return 0;
      },
      &tables);
  sqlite3_free(err);
  if (tables == 2) {
    d.open = true;
    return;
  }
  if (d.readOnly) {
    d.openError = "opening the registry " + file + ": the file is read-only and holds no registry";
    return;
  }
  d.open = true;
  if (!d.Write("preparing the registry", [&] { return d.Exec(kSchema); })) {
    d.open = false;
    d.openError = "opening the registry " + file + ": " + t_lastError;
  }
}

std::unique_ptr<RegistryStore> RegistryStore::Refused(const std::string& why) {
  // An empty name opens a private temporary database that nothing ever writes to.
  auto store = std::make_unique<RegistryStore>(std::string());
  store->impl_->open = false;
  store->impl_->openError = why;
  return store;
}

RegistryStore::~RegistryStore() = default;

bool RegistryStore::IsOpen() const { return impl_->open; }

bool RegistryStore::IsReadOnly() const { return impl_->open && impl_->readOnly; }

std::string RegistryStore::FirstFault() const {
  if (!impl_->open) return impl_->openError;
  std::lock_guard lock(impl_->faultMutex);
  return impl_->firstFault;
}

void RegistryStore::SetBusyTimeout(std::chrono::milliseconds timeout) {
  Impl& d = *impl_;
  std::lock_guard lock(d.mutex);
  if (d.db != nullptr) sqlite3_busy_timeout(d.db, static_cast<int>(timeout.count()));
}

bool RegistryStore::Transaction(const std::function<bool()>& body) {
  Impl& d = *impl_;
  std::lock_guard lock(d.mutex);
  if (d.inTransaction) return body();
  bool ok = d.Write("writing several values", [&] {
    d.inTransaction = true;
    const bool done = body();
    d.inTransaction = false;
    if (!done) SetMissing("the transaction was abandoned");
    return done;
  });
  d.inTransaction = false;
  return ok;
}

std::string RegistryStore::LastError() const {
  return impl_->open ? t_lastError : impl_->openError;
}

bool RegistryStore::LastFailureWasMissing() const { return impl_->open && t_lastMissing; }

bool RegistryStore::KeyExists(RootKey root, std::wstring_view path) {
  Impl& d = *impl_;
  std::lock_guard lock(d.mutex);
  if (!d.open) return d.Fail("opening a key");
  sqlite3_int64 id = d.KeyId(root, NormalisePath(path));
  if (id < 0) return d.Fail("opening a key");
  if (id == 0) SetMissing("the key does not exist");
  return id > 0;
}

bool RegistryStore::CreateKey(RootKey root, std::wstring_view path) {
  Impl& d = *impl_;
  std::lock_guard lock(d.mutex);
  std::string p = NormalisePath(path);
  return d.Write("creating a key", [&] { return d.EnsureKey(root, p) > 0; });
}

bool RegistryStore::QueryValue(RootKey root, std::wstring_view path, std::wstring_view name,
                               uint32_t* type, std::vector<uint8_t>* data) {
  Impl& d = *impl_;
  std::lock_guard lock(d.mutex);
  if (!d.open) return d.Fail("reading a value");
  std::string p = NormalisePath(path);
  std::string n = ToUtf8(name);
  sqlite3_stmt* s = d.Statement(
      "SELECT v.type, v.data FROM vals v JOIN keys k ON v.key = k.id "
      "WHERE k.root = ?1 AND k.path = ?2 AND v.name = ?3");
  if (s == nullptr) return d.Fail("reading a value");
  sqlite3_bind_int64(s, 1, static_cast<sqlite3_int64>(root));
  sqlite3_bind_text(s, 2, p.data(), static_cast<int>(p.size()), SQLITE_STATIC);
  sqlite3_bind_text(s, 3, n.data(), static_cast<int>(n.size()), SQLITE_STATIC);
  int rc = sqlite3_step(s);
  bool found = false;
  if (rc == SQLITE_ROW) {
    if (type != nullptr) *type = static_cast<uint32_t>(sqlite3_column_int64(s, 0));
    if (data != nullptr) {
      const auto* bytes = static_cast<const uint8_t*>(sqlite3_column_blob(s, 1));
      int size = sqlite3_column_bytes(s, 1);
      data->assign(bytes, bytes + (bytes != nullptr ? size : 0));
    }
    found = true;
  } else if (rc == SQLITE_DONE) {
    SetMissing("the key or value does not exist");
  } else {
    d.Fail("reading a value");
  }
  sqlite3_reset(s);
  return found;
}

bool RegistryStore::SetValue(RootKey root, std::wstring_view path, std::wstring_view name,
                             uint32_t type, const void* data, size_t size) {
  Impl& d = *impl_;
  std::lock_guard lock(d.mutex);
  std::string p = NormalisePath(path);
  std::string n = ToUtf8(name);
  return d.Write("writing a value", [&] {
    sqlite3_int64 key = d.KeyId(root, p);
    if (key == 0) SetMissing("the key does not exist");
    return key > 0 && d.PutValue(key, n, type, data, size);
  });
}

bool RegistryStore::CreateKeyAndSetValue(RootKey root, std::wstring_view path,
                                         std::wstring_view name, uint32_t type, const void* data,
                                         size_t size) {
  Impl& d = *impl_;
  std::lock_guard lock(d.mutex);
  std::string p = NormalisePath(path);
  std::string n = ToUtf8(name);
  return d.Write("writing a value", [&] {
    sqlite3_int64 key = d.EnsureKey(root, p);
    return key > 0 && d.PutValue(key, n, type, data, size);
  });
}

bool RegistryStore::DeleteValue(RootKey root, std::wstring_view path, std::wstring_view name) {
  Impl& d = *impl_;
  std::lock_guard lock(d.mutex);
  std::string p = NormalisePath(path);
  std::string n = ToUtf8(name);
  return d.Write("deleting a value", [&] {
    sqlite3_int64 key = d.KeyId(root, p);
    if (key <= 0) {
      if (key == 0) SetMissing("the key or value does not exist");
      return false;
    }
    sqlite3_stmt* s = d.Statement("DELETE FROM vals WHERE key = ?1 AND name = ?2");
    if (s == nullptr) return false;
    sqlite3_bind_int64(s, 1, key);
    sqlite3_bind_text(s, 2, n.data(), static_cast<int>(n.size()), SQLITE_STATIC);
    int rc = sqlite3_step(s);
    sqlite3_reset(s);
    if (rc != SQLITE_DONE) return false;
    if (sqlite3_changes(d.db) == 0) {
      SetMissing("the key or value does not exist");
      return false;
    }
    return true;
  });
}

bool RegistryStore::EnumValues(RootKey root, std::wstring_view path, std::vector<Value>* values) {
  Impl& d = *impl_;
  std::lock_guard lock(d.mutex);
  if (!d.open) return d.Fail("listing values");
  sqlite3_int64 key = d.KeyId(root, NormalisePath(path));
  if (key <= 0) {
    if (key == 0) SetMissing("the key does not exist");
    return key < 0 ? d.Fail("listing values") : false;
  }
  sqlite3_stmt* s =
      d.Statement("SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY name COLLATE NOCASE");
  if (s == nullptr) return d.Fail("listing values");
  sqlite3_bind_int64(s, 1, key);
  values->clear();
  int rc;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
    Value v;
    v.name = FromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
    v.type = static_cast<uint32_t>(sqlite3_column_int64(s, 1));
    const auto* bytes = static_cast<const uint8_t*>(sqlite3_column_blob(s, 2));
    if (bytes != nullptr) v.data.assign(bytes, bytes + sqlite3_column_bytes(s, 2));
    values->push_back(std::move(v));
  }
  sqlite3_reset(s);
  return rc == SQLITE_DONE || d.Fail("listing values");
}

bool RegistryStore::ReadSubkeys(RootKey root, std::wstring_view path,
                                std::vector<Subkey>* subkeys) {
  Impl& d = *impl_;
  std::lock_guard lock(d.mutex);
  if (!d.open) return d.Fail("reading subkeys");
  std::string p = NormalisePath(path);
  // The key's own row comes back even without subkeys, so that no row at all means no key.
  sqlite3_stmt* s = d.Statement(
      "SELECT c.id, c.name, v.name, v.type, v.data FROM keys k "
      "LEFT JOIN keys c ON c.parent = k.id LEFT JOIN vals v ON v.key = c.id "
      "WHERE k.root = ?1 AND k.path = ?2 ORDER BY c.id");
  if (s == nullptr) return d.Fail("reading subkeys");
  sqlite3_bind_int64(s, 1, static_cast<sqlite3_int64>(root));
  sqlite3_bind_text(s, 2, p.data(), static_cast<int>(p.size()), SQLITE_STATIC);
  // The elements already in `subkeys` are filled again rather than freed and made anew, so a
  // caller that reads the same key over and over (every paint of the Current page) allocates
  // almost nothing.
  size_t used = 0;
  size_t valuesUsed = 0;
  auto finishSubkey = [&] {
    if (used > 0) (*subkeys)[used - 1].values.resize(valuesUsed);
  };
  bool keyFound = false;
  sqlite3_int64 current = 0;
  int rc;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
    keyFound = true;
    if (sqlite3_column_type(s, 0) == SQLITE_NULL) continue;
    const sqlite3_int64 child = sqlite3_column_int64(s, 0);
    if (used == 0 || child != current) {
      finishSubkey();
      current = child;
      if (used == subkeys->size()) subkeys->emplace_back();
      AssignUtf8((*subkeys)[used].name, sqlite3_column_text(s, 1), sqlite3_column_bytes(s, 1));
      ++used;
      valuesUsed = 0;
    }
    if (sqlite3_column_type(s, 2) == SQLITE_NULL) continue;
    std::vector<Value>& values = (*subkeys)[used - 1].values;
    if (valuesUsed == values.size()) values.emplace_back();
    Value& v = values[valuesUsed++];
    AssignUtf8(v.name, sqlite3_column_text(s, 2), sqlite3_column_bytes(s, 2));
    v.type = static_cast<uint32_t>(sqlite3_column_int64(s, 3));
    const auto* bytes = static_cast<const uint8_t*>(sqlite3_column_blob(s, 4));
    v.data.assign(bytes, bytes + (bytes != nullptr ? sqlite3_column_bytes(s, 4) : 0));
  }
  finishSubkey();
  subkeys->resize(used);
  sqlite3_reset(s);
  if (rc != SQLITE_DONE) return d.Fail("reading subkeys");
  if (!keyFound) SetMissing("the key does not exist");
  // The rows come in key order, each key's values in name order (the table's own order); the
  // subkeys are put in name order here rather than by a sort in the statement.
  auto byName = [](const Subkey& a, const Subkey& b) {
    return LessIgnoringAsciiCase(a.name, b.name);
  };
  if (!std::is_sorted(subkeys->begin(), subkeys->end(), byName)) {
    std::sort(subkeys->begin(), subkeys->end(), byName);
  }
  return keyFound;
}

bool RegistryStore::EnumSubkeys(RootKey root, std::wstring_view path,
                                std::vector<std::wstring>* names) {
  Impl& d = *impl_;
  std::lock_guard lock(d.mutex);
  if (!d.open) return d.Fail("listing subkeys");
  sqlite3_int64 key = d.KeyId(root, NormalisePath(path));
  if (key <= 0) {
    if (key == 0) SetMissing("the key does not exist");
    return key < 0 ? d.Fail("listing subkeys") : false;
  }
  sqlite3_stmt* s =
      d.Statement("SELECT name FROM keys WHERE parent = ?1 ORDER BY name COLLATE NOCASE");
  if (s == nullptr) return d.Fail("listing subkeys");
  sqlite3_bind_int64(s, 1, key);
  names->clear();
  int rc;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
    names->push_back(FromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0))));
  }
  sqlite3_reset(s);
  return rc == SQLITE_DONE || d.Fail("listing subkeys");
}

bool RegistryStore::DeleteKey(RootKey root, std::wstring_view path) {
  Impl& d = *impl_;
  std::lock_guard lock(d.mutex);
  std::string p = NormalisePath(path);
  if (p.empty()) {
    t_lastError = "a root key cannot be deleted";
    t_lastMissing = false;
    return false;
  }
  return d.Write("deleting a key", [&] {
    sqlite3_int64 key = d.KeyId(root, p);
    if (key <= 0) {
      if (key == 0) SetMissing("the key does not exist");
      return false;
    }
    // Subkeys and values go with it through the cascading references.
    sqlite3_stmt* s = d.Statement("DELETE FROM keys WHERE id = ?1");
    if (s == nullptr) return false;
    sqlite3_bind_int64(s, 1, key);
    int rc = sqlite3_step(s);
    sqlite3_reset(s);
    return rc == SQLITE_DONE;
  });
}

namespace {
std::mutex g_registryMutex;
std::unique_ptr<RegistryStore> g_registry;
}  // namespace

RegistryStore& Registry() {
  std::lock_guard lock(g_registryMutex);
  if (!g_registry) {
    const std::filesystem::path root = DeviceRoot();
    const std::string problem = DeviceRootProblem(root);
    g_registry = problem.empty() ? std::make_unique<RegistryStore>((root / "registry.db").string())
                                 : RegistryStore::Refused("opening the registry: " + problem);
  }
  return *g_registry;
}

void SetRegistryBusyTimeout(std::chrono::milliseconds timeout) {
  g_busyTimeoutMs.store(timeout.count());
  RegistryStore* store = nullptr;
  {
    std::lock_guard lock(g_registryMutex);
    store = g_registry.get();
  }
  // Not under the registry's mutex: an operation inside a transaction holds the store's and may
  // ask for the registry.
  if (store != nullptr) store->SetBusyTimeout(timeout);
}

void ResetRegistryForTesting() {
  std::lock_guard lock(g_registryMutex);
  g_registry.reset();
}

}  // namespace cirrodex::platform
