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
// What is left of the time that all waits for a held store may take together; negative: no cap.
std::atomic<int64_t> g_busyBudgetUs{-1};

// SQLite's own busy handler naps these many milliseconds in turn, then the last one each time.
constexpr int kBusyNapsMs[] = {1, 2, 5, 10, 15, 20, 25, 25, 25, 50, 50, 100};

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
void AssignUtf8(std::wstring& out, std::string_view text) {
  out.resize(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (static_cast<unsigned char>(text[i]) >= 0x80) {
      out = FromUtf8(text);
      return;
    }
    out[i] = static_cast<wchar_t>(text[i]);
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

// Value data to bind as a blob.
struct Bytes {
  const void* data;
  size_t size;
};

// A cached statement in use: parameters bound by type from the first on, stepped, and reset with
// its bindings cleared when it goes out of scope, so that no way out leaves it holding a lock.
class Query {
 public:
  explicit Query(sqlite3_stmt* statement) : s_(statement) {}
  ~Query() {
    if (s_ == nullptr) return;
    sqlite3_reset(s_);
    sqlite3_clear_bindings(s_);
  }
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  // False when the statement could not be prepared.
  explicit operator bool() const { return s_ != nullptr; }

  template <typename... Params>
  Query& Bind(const Params&... params) {
    int index = 0;
    (BindAt(++index, params), ...);
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step() { return sqlite3_step(s_); }

  // Columns of the current row; texts and blobs are valid until the next step.
  bool IsNull(int column) const { return sqlite3_column_type(s_, column) == SQLITE_NULL; }
  sqlite3_int64 Int(int column) const { return sqlite3_column_int64(s_, column); }
  std::string_view Text(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s_, column));
    if (text == nullptr) return {};
    return {text, static_cast<size_t>(sqlite3_column_bytes(s_, column))};
  }
  void Blob(int column, std::vector<uint8_t>& out) const {
    const auto* bytes = static_cast<const uint8_t*>(sqlite3_column_blob(s_, column));
    out.assign(bytes, bytes + (bytes != nullptr ? sqlite3_column_bytes(s_, column) : 0));
  }

 private:
  void BindAt(int index, sqlite3_int64 value) { sqlite3_bind_int64(s_, index, value); }
  void BindAt(int index, uint32_t value) { sqlite3_bind_int64(s_, index, value); }
  void BindAt(int index, RootKey root) {
    sqlite3_bind_int64(s_, index, static_cast<sqlite3_int64>(root));
  }
  void BindAt(int index, const std::string& text) {
    sqlite3_bind_text(s_, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
  }
  void BindAt(int index, Bytes bytes) {
    // A zero-length blob must still be a blob, not NULL.
    static const uint8_t kEmpty = 0;
    sqlite3_bind_blob(s_, index, bytes.size == 0 ? &kEmpty : bytes.data,
                      static_cast<int>(bytes.size), SQLITE_STATIC);
  }

  sqlite3_stmt* s_;
};

// What looking up a key found.
enum class Lookup { Found, Missing, Failed };

constexpr char kNoKey[] = "the key does not exist";
constexpr char kNoKeyOrValue[] = "the key or value does not exist";

}  // namespace

struct RegistryStore::Impl {
  sqlite3* db = nullptr;
  bool open = false;
  bool readOnly = false;
  std::string file;
  std::string openError;
  std::chrono::milliseconds busyTimeout{10000};
  // When the busy handler's current wait began.
  std::chrono::steady_clock::time_point busySince;
  // Set once an operation gave up because the process's budget for waiting was used up.
  std::atomic<bool> gaveUpWaiting{false};
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

  // Opening, in three steps that each leave `openError` set when they fail.
  bool Connect();
  bool CheckIntegrity();
  bool PrepareSchema();
  // sqlite3_exec, retrying a busy answer for the busy time-out; `error` gets SQLite's message.
  int ExecWhileOpening(const char* sql, sqlite3_callback callback, void* arg, std::string& error);
  // Naps a moment (the `count`-th nap of this wait) for a store another process holds; false
  // when it is time to give up: the wait began the busy time-out ago, or the process's waits
  // used up their budget.
  bool WaitWhileBusy(std::chrono::steady_clock::time_point since, int count);

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

  // A cached statement; false as a Query when it cannot be prepared.
  Query Statement(const std::string& sql) {
    auto it = statements.find(sql);
    if (it == statements.end()) {
      sqlite3_stmt* stmt = nullptr;
      if (sqlite3_prepare_v3(db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) !=
          SQLITE_OK) {
        return Query(nullptr);
      }
      it = statements.emplace(sql, stmt).first;
    }
    return Query(it->second);
  }

  bool Exec(const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
  }

  // Finds the key at `path` and puts its id in `id`. When it is missing, `missing` (if given)
  // becomes the calling thread's failure.
  Lookup FindKey(RootKey root, const std::string& path, sqlite3_int64& id,
                 const char* missing = nullptr) {
    Query q = Statement("SELECT id FROM keys WHERE root = ?1 AND path = ?2");
    if (!q) return Lookup::Failed;
    const int rc = q.Bind(root, path).Step();
    if (rc == SQLITE_ROW) {
      id = q.Int(0);
      return Lookup::Found;
    }
    if (rc != SQLITE_DONE) return Lookup::Failed;
    if (missing != nullptr) SetMissing(missing);
    return Lookup::Missing;
  }

  // Creates the missing keys along `path`; the id of the last, or -1.
  sqlite3_int64 EnsureKey(RootKey root, const std::string& path) {
    sqlite3_int64 id = 0;
    const Lookup found = FindKey(root, path, id);
    if (found != Lookup::Missing) return found == Lookup::Found ? id : -1;
    const sqlite3_int64 parent = EnsureKey(root, ParentOf(path));
    if (parent <= 0) return -1;
    Query q = Statement("INSERT INTO keys(root, path, parent, name) VALUES(?1, ?2, ?3, ?4)");
    if (!q || q.Bind(root, path, parent, LeafOf(path)).Step() != SQLITE_DONE) return -1;
    return sqlite3_last_insert_rowid(db);
  }

  bool PutValue(sqlite3_int64 key, const std::string& name, uint32_t type, const void* data,
                size_t size) {
    Query q = Statement(
        "INSERT INTO vals(key, name, type, data) VALUES(?1, ?2, ?3, ?4) "
        "ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data");
    return q && q.Bind(key, name, type, Bytes{data, size}).Step() == SQLITE_DONE;
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

bool RegistryStore::Impl::WaitWhileBusy(std::chrono::steady_clock::time_point since, int count) {
  using std::chrono::microseconds;
  const auto now = std::chrono::steady_clock::now();
  auto left = std::chrono::duration_cast<microseconds>(since + busyTimeout - now);
  const int64_t budget = g_busyBudgetUs.load();
  const bool capped = budget >= 0 && budget <= left.count();
  if (capped) left = microseconds(budget);
  if (left.count() <= 0) {
    if (capped) gaveUpWaiting = true;
    return false;
  }
  const size_t nap = std::min<size_t>(static_cast<size_t>(count), std::size(kBusyNapsMs) - 1);
  std::this_thread::sleep_for(
      std::min<microseconds>(left, std::chrono::milliseconds(kBusyNapsMs[nap])));
  if (budget >= 0) {
    const auto slept =
        std::chrono::duration_cast<microseconds>(std::chrono::steady_clock::now() - now);
    if (g_busyBudgetUs.fetch_sub(slept.count()) < slept.count()) g_busyBudgetUs.store(0);
  }
  return true;
}

int RegistryStore::Impl::ExecWhileOpening(const char* sql, sqlite3_callback callback, void* arg,
                                          std::string& error) {
  const auto since = std::chrono::steady_clock::now();
  for (int count = 0;; ++count) {
    char* message = nullptr;
    const int code = sqlite3_exec(db, sql, callback, arg, &message);
    error = message != nullptr ? message : sqlite3_errstr(code);
    sqlite3_free(message);
    const int primary = code & 0xFF;
    if ((primary != SQLITE_BUSY && primary != SQLITE_LOCKED) || !WaitWhileBusy(since, count)) {
      return code;
    }
  }
}

bool RegistryStore::Impl::Connect() {
  // A write-protected file is opened for reading only, whoever runs (even one whom the system
  // would let write), so that its owner's protection holds and nothing is written into it.
  struct stat info {};
  if (lstat(file.c_str(), &info) != 0 && errno == ENOENT) {
    // Made here rather than by SQLite, which would give it (and its journal files, which take
    // its mode) 0644 less the umask: the store stays the user's alone whatever the umask.
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
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
  const int rc = sqlite3_open_v2(file.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    openError = "opening the registry " + file + ": " +
                (db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    return false;
  }
  readOnly = writeProtected || sqlite3_db_readonly(db, "main") == 1;
  // The journal and its index stay when the last connection closes, the journal emptied
  // (journal_size_limit below): every short run (a download every few minutes) would otherwise
  // make both files anew and delete them again.
  if (!readOnly) {
    int persist = 1;
    sqlite3_file_control(db, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
  }
  busyTimeout = std::chrono::milliseconds(g_busyTimeoutMs.load());
  // Several processes share the file: wait for a busy database rather than fail, within the
  // time-out and the process's budget. Switching a brand-new file to WAL needs a lock that the
  // busy handler does not always wait for while another process is creating the same file, so
  // ExecWhileOpening retries a busy answer too.
  sqlite3_busy_handler(
      db,
      +[](void* self, int count) {
        Impl& d = *static_cast<Impl*>(self);
        if (count == 0) d.busySince = std::chrono::steady_clock::now();
        return d.WaitWhileBusy(d.busySince, count) ? 1 : 0;
      },
      this);
  // WAL with synchronous=NORMAL: a commit survives the process being killed; a power cut may
  // lose the last commits but never damages the file. A read-only store keeps the journal mode
  // it has.
  std::string error;
  if (ExecWhileOpening(readOnly ? "PRAGMA foreign_keys=ON;"
                                : "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; "
                                  "PRAGMA journal_size_limit=0; PRAGMA foreign_keys=ON;",
                       nullptr, nullptr, error) != SQLITE_OK) {
    openError = "opening the registry " + file + ": " + error;
    return false;
  }
  return true;
}

bool RegistryStore::Impl::CheckIntegrity() {
  // A damaged file is refused as a whole: nothing is written into it, and every read fails.
  std::string damage;
  std::string error;
  const int checked = ExecWhileOpening(
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
      &damage, error);
  if (checked == SQLITE_OK && damage.empty()) return true;
  openError = "opening the registry " + file + ": the file is damaged (" +
              (checked != SQLITE_OK ? error : damage) + ")";
  return false;
}

bool RegistryStore::Impl::PrepareSchema() {
  // The tables are made once; later opens only read, so that opening never takes the write lock.
  int tables = 0;
  std::string error;
  ExecWhileOpening(
      "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN ('keys', 'vals')",
      +[](void* out, int, char** row, char**) {
        *static_cast<int*>(out) = row[0] != nullptr ? std::atoi(row[0]) : 0;
        return 0;
      },
      &tables, error);
  if (tables == 2) return true;
  if (readOnly) {
    openError = "opening the registry " + file + ": the file is read-only and holds no registry";
    return false;
  }
  // Write() refuses a store that is not open.
  open = true;
  if (Write("preparing the registry", [&] { return Exec(kSchema); })) return true;
  open = false;
  openError = "opening the registry " + file + ": " + t_lastError;
  return false;
}

RegistryStore::RegistryStore(const std::string& file) : impl_(std::make_unique<Impl>()) {
  Impl& d = *impl_;
  d.file = file;
  d.open = d.Connect() && d.CheckIntegrity() && d.PrepareSchema();
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
  d.busyTimeout = timeout;
}

bool RegistryStore::GaveUpWaiting() const { return impl_->gaveUpWaiting; }

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
  sqlite3_int64 id = 0;
  const Lookup found = d.FindKey(root, NormalisePath(path), id, kNoKey);
  return found == Lookup::Failed ? d.Fail("opening a key") : found == Lookup::Found;
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
  const std::string p = NormalisePath(path);
  const std::string n = ToUtf8(name);
  Query q = d.Statement(
      "SELECT v.type, v.data FROM vals v JOIN keys k ON v.key = k.id "
      "WHERE k.root = ?1 AND k.path = ?2 AND v.name = ?3");
  if (!q) return d.Fail("reading a value");
  const int rc = q.Bind(root, p, n).Step();
  if (rc == SQLITE_DONE) {
    SetMissing(kNoKeyOrValue);
    return false;
  }
  if (rc != SQLITE_ROW) return d.Fail("reading a value");
  if (type != nullptr) *type = static_cast<uint32_t>(q.Int(0));
  if (data != nullptr) q.Blob(1, *data);
  return true;
}

bool RegistryStore::SetValue(RootKey root, std::wstring_view path, std::wstring_view name,
                             uint32_t type, const void* data, size_t size) {
  Impl& d = *impl_;
  std::lock_guard lock(d.mutex);
  std::string p = NormalisePath(path);
  std::string n = ToUtf8(name);
  return d.Write("writing a value", [&] {
    sqlite3_int64 key = 0;
    return d.FindKey(root, p, key, kNoKey) == Lookup::Found && d.PutValue(key, n, type, data, size);
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
    sqlite3_int64 key = 0;
    if (d.FindKey(root, p, key, kNoKeyOrValue) != Lookup::Found) return false;
    Query q = d.Statement("DELETE FROM vals WHERE key = ?1 AND name = ?2");
    if (!q || q.Bind(key, n).Step() != SQLITE_DONE) return false;
    if (sqlite3_changes(d.db) == 0) {
      SetMissing(kNoKeyOrValue);
      return false;
    }
    return true;
  });
}

bool RegistryStore::EnumValues(RootKey root, std::wstring_view path, std::vector<Value>* values) {
  Impl& d = *impl_;
  std::lock_guard lock(d.mutex);
  if (!d.open) return d.Fail("listing values");
  sqlite3_int64 key = 0;
  const Lookup found = d.FindKey(root, NormalisePath(path), key, kNoKey);
  if (found != Lookup::Found) return found == Lookup::Failed ? d.Fail("listing values") : false;
  Query q =
      d.Statement("SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY name COLLATE NOCASE");
  if (!q) return d.Fail("listing values");
  q.Bind(key);
  values->clear();
  int rc;
  while ((rc = q.Step()) == SQLITE_ROW) {
    Value v;
    v.name = FromUtf8(q.Text(0));
    v.type = static_cast<uint32_t>(q.Int(1));
    q.Blob(2, v.data);
    values->push_back(std::move(v));
  }
  return rc == SQLITE_DONE || d.Fail("listing values");
}

bool RegistryStore::ReadSubkeys(RootKey root, std::wstring_view path,
                                std::vector<Subkey>* subkeys) {
  Impl& d = *impl_;
  std::lock_guard lock(d.mutex);
  if (!d.open) return d.Fail("reading subkeys");
  const std::string p = NormalisePath(path);
  // The key's own row comes back even without subkeys, so that no row at all means no key.
  Query q = d.Statement(
      "SELECT c.id, c.name, v.name, v.type, v.data FROM keys k "
      "LEFT JOIN keys c ON c.parent = k.id LEFT JOIN vals v ON v.key = c.id "
      "WHERE k.root = ?1 AND k.path = ?2 ORDER BY c.id");
  if (!q) return d.Fail("reading subkeys");
  q.Bind(root, p);
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
  while ((rc = q.Step()) == SQLITE_ROW) {
    keyFound = true;
    if (q.IsNull(0)) continue;
    const sqlite3_int64 child = q.Int(0);
    if (used == 0 || child != current) {
      finishSubkey();
      current = child;
      if (used == subkeys->size()) subkeys->emplace_back();
      AssignUtf8((*subkeys)[used].name, q.Text(1));
      ++used;
      valuesUsed = 0;
    }
    if (q.IsNull(2)) continue;
    std::vector<Value>& values = (*subkeys)[used - 1].values;
    if (valuesUsed == values.size()) values.emplace_back();
    Value& v = values[valuesUsed++];
    AssignUtf8(v.name, q.Text(2));
    v.type = static_cast<uint32_t>(q.Int(3));
    q.Blob(4, v.data);
  }
  finishSubkey();
  subkeys->resize(used);
  if (rc != SQLITE_DONE) return d.Fail("reading subkeys");
  if (!keyFound) SetMissing(kNoKey);
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
  sqlite3_int64 key = 0;
  const Lookup found = d.FindKey(root, NormalisePath(path), key, kNoKey);
  if (found != Lookup::Found) return found == Lookup::Failed ? d.Fail("listing subkeys") : false;
  Query q = d.Statement("SELECT name FROM keys WHERE parent = ?1 ORDER BY name COLLATE NOCASE");
  if (!q) return d.Fail("listing subkeys");
  q.Bind(key);
  names->clear();
  int rc;
  while ((rc = q.Step()) == SQLITE_ROW) names->push_back(FromUtf8(q.Text(0)));
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
    sqlite3_int64 key = 0;
    if (d.FindKey(root, p, key, kNoKey) != Lookup::Found) return false;
    // Subkeys and values go with it through the cascading references.
    Query q = d.Statement("DELETE FROM keys WHERE id = ?1");
    return q && q.Bind(key).Step() == SQLITE_DONE;
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

void SetRegistryBusyBudget(std::chrono::milliseconds budget) {
  g_busyBudgetUs.store(budget.count() < 0 ? -1 : std::chrono::microseconds(budget).count());
}

void ResetRegistryForTesting() {
  std::lock_guard lock(g_registryMutex);
  g_registry.reset();
}

}  // namespace cirrodex::platform
