// The SQLite store of the registry. Names are kept as bytes (8-bit texts, not UTF-8)
// beside an upper-cased copy that the uniqueness rules and the key order use. Writers
// take the database's write lock at the start of their transaction (BEGIN IMMEDIATE) so
// that two processes never deadlock upgrading a read; a busy timeout makes them queue.
#include "platform/registry_store.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>

#include "platform/ascii.h"
#include "platform/prefix.h"

namespace platform::reg::internal {
namespace {

constexpr int kBusyTimeoutMs = 5000;

// The process id without a system call on every registry call; a forked child learns
// its own at the fork.
pid_t CurrentProcessId() {
  static std::atomic<pid_t> pid{0};
  static std::once_flag watch_forks;
  std::call_once(watch_forks, [] { pthread_atfork(nullptr, nullptr, [] { pid = 0; }); });
  pid_t current = pid.load(std::memory_order_relaxed);
  if (current == 0) {
    current = getpid();
    pid.store(current, std::memory_order_relaxed);
  }
  return current;
}

// A fresh registry holds the roots and the keys every Windows installation has, so
// that callers which only open them (the RunOnce entry, delayed renames) find them.
constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS keys(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  parent INTEGER NOT NULL,
  name BLOB NOT NULL,
  folded BLOB NOT NULL,
  UNIQUE(parent, folded));
CREATE TABLE IF NOT EXISTS vals(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  key INTEGER NOT NULL,
  name BLOB NOT NULL,
  folded BLOB NOT NULL,
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  UNIQUE(key, folded));
INSERT OR IGNORE INTO keys(id, parent, name, folded) VALUES
  (1, 0, CAST('HKEY_LOCAL_MACHINE' AS BLOB), CAST('HKEY_LOCAL_MACHINE' AS BLOB)),
  (2, 0, CAST('HKEY_CURRENT_USER' AS BLOB), CAST('HKEY_CURRENT_USER' AS BLOB)),
  (3, 0, CAST('HKEY_USERS' AS BLOB), CAST('HKEY_USERS' AS BLOB)),
  (4, 0, CAST('HKEY_CURRENT_CONFIG' AS BLOB), CAST('HKEY_CURRENT_CONFIG' AS BLOB)),
  (5, 0, CAST('HKEY_PERFORMANCE_DATA' AS BLOB), CAST('HKEY_PERFORMANCE_DATA' AS BLOB)),
  (6, 0, CAST('HKEY_DYN_DATA' AS BLOB), CAST('HKEY_DYN_DATA' AS BLOB)),
  (7, 1, CAST('Software' AS BLOB), CAST('SOFTWARE' AS BLOB)),
  (8, 7, CAST('Classes' AS BLOB), CAST('CLASSES' AS BLOB)),
  (9, 7, CAST('Microsoft' AS BLOB), CAST('MICROSOFT' AS BLOB)),
  (10, 9, CAST('Windows' AS BLOB), CAST('WINDOWS' AS BLOB)),
  (11, 10, CAST('CurrentVersion' AS BLOB), CAST('CURRENTVERSION' AS BLOB)),
  (12, 11, CAST('Run' AS BLOB), CAST('RUN' AS BLOB)),
  (13, 11, CAST('RunOnce' AS BLOB), CAST('RUNONCE' AS BLOB)),
  (14, 1, CAST('System' AS BLOB), CAST('SYSTEM' AS BLOB)),
  (15, 14, CAST('CurrentControlSet' AS BLOB), CAST('CURRENTCONTROLSET' AS BLOB)),
  (16, 15, CAST('Control' AS BLOB), CAST('CONTROL' AS BLOB)),
  (17, 16, CAST('Session Manager' AS BLOB), CAST('SESSION MANAGER' AS BLOB));
)sql";

// Version 2 orders values by creation within a key, so that enumeration can seek.
constexpr const char* kUpgradeTo2 = R"sql(
CREATE INDEX IF NOT EXISTS vals_order ON vals(key, id);
PRAGMA user_version = 2;
)sql";

Status StatusFromSqlite(int code) {
  switch (code & 0xff) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return kErrorSuccess;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT:
    case SQLITE_ERROR:  // a database of another shape
      return kErrorRegistryCorrupt;
    case SQLITE_NOMEM:
      return kErrorNotEnoughMemory;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return kErrorAccessDenied;
    default:  // busy, locked, I/O error, cannot open, disk full
      return kErrorRegistryIoFailed;
  }
}

// A prepared statement in use; reset (and its bindings cleared) when the scope ends.
}  // namespace

// A statement that failed to prepare steps to its preparation error.
class Query {
 public:
  Query(sqlite3_stmt* statement, int prepare_code)
      : statement_(statement), prepare_code_(prepare_code) {}
  ~Query() {
    if (!statement_) return;
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  Query& Bind(int index, std::int64_t number) {
    if (statement_) sqlite3_bind_int64(statement_, index, number);
    return *this;
  }
  // Always a blob, never NULL, even when empty.
  Query& Bind(int index, std::string_view bytes) {
    static const char kEmpty = 0;
    if (statement_)
      sqlite3_bind_blob(statement_, index, bytes.empty() ? &kEmpty : bytes.data(),
                        static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step() { return statement_ ? sqlite3_step(statement_) : prepare_code_; }
  // Runs a statement that returns no rows.
  Status Run() {
    int code = Step();
    return code == SQLITE_DONE ? kErrorSuccess : StatusFromSqlite(code);
  }
  std::int64_t Number(int column) { return sqlite3_column_int64(statement_, column); }
  std::string Bytes(int column) {
    const void* bytes = sqlite3_column_blob(statement_, column);
    int size = sqlite3_column_bytes(statement_, column);
    return bytes ? std::string(static_cast<const char*>(bytes), size) : std::string();
  }

 private:
  sqlite3_stmt* statement_;
  int prepare_code_;
};

namespace {

// Runs a query expected to give at most one row; kErrorFileNotFound when it gives none.
Status StepRow(Query& query) {
  int code = query.Step();
  if (code == SQLITE_ROW) return kErrorSuccess;
  if (code == SQLITE_DONE) return kErrorFileNotFound;
  return StatusFromSqlite(code);
}

}  // namespace

std::string FoldName(std::string_view name) { return ToUpperAscii(name); }

// One transaction per store call; rolled back unless committed.
class Store::Transaction {
 public:
  Transaction(sqlite3* db, bool write) : db_(db) {
    status_ = StatusFromSqlite(
        sqlite3_exec(db_, write ? "BEGIN IMMEDIATE" : "BEGIN", nullptr, nullptr, nullptr));
    open_ = status_ == kErrorSuccess;
  }
  ~Transaction() {
    if (open_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  Status status() const { return status_; }
  // Commits when `result` is success; returns the final status.
  Status Finish(Status result) {
    if (result != kErrorSuccess || !open_) return result;
    open_ = false;
    int code = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (code != SQLITE_OK) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      return StatusFromSqlite(code);
    }
    return kErrorSuccess;
  }

 private:
  sqlite3* db_;
  Status status_;
  bool open_ = false;
};

// Every public call: lock, connect, run `body` in one transaction.
template <typename Body>
Status Store::Transact(bool write, Body body) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Status status = Connect(); status != kErrorSuccess) return status;
  return InTransaction(write, body);
}

template <typename Body>
Status Store::InTransaction(bool write, Body body) {
  Transaction transaction(db_, write);
  if (transaction.status() != kErrorSuccess) return transaction.status();
  return transaction.Finish(body());
}

Store& Store::Get() {
  static Store* store = new Store();  // lives for the process; closed by the OS at exit
  return *store;
}

std::string Store::DatabasePath() {
  // Asked on every registry call: the answer is kept for the environment it was made in.
  struct Cached {
    std::string variables[3];
    std::string path;
    bool valid = false;
  };
  static constexpr const char* kVariables[] = {"ZOMA_PREFIX", "XDG_DATA_HOME", "HOME"};
  thread_local Cached cached;
  bool same = cached.valid;
  for (int i = 0; i < 3 && same; ++i) {
    const char* value = std::getenv(kVariables[i]);
    same = cached.variables[i] == (value ? value : "");
  }
  if (same) return cached.path;
  for (int i = 0; i < 3; ++i) {
    const char* value = std::getenv(kVariables[i]);
    cached.variables[i] = value ? value : "";
  }
  cached.path = PrefixPath("registry.db");
  cached.valid = !cached.path.empty();
  return cached.path;
}

void Store::Disconnect() {
  // A connection inherited across fork belongs to the parent: drop it without closing.
  if (db_ && owner_ == CurrentProcessId()) {
    for (auto& entry : statements_) sqlite3_finalize(entry.second);
    sqlite3_close(db_);
  }
  statements_.clear();
  cursors_.clear();
  db_ = nullptr;
  path_.clear();
}

namespace {

// Serialises the first-open set-up (journal mode, schema) between processes: several
// starting at once on a fresh prefix would otherwise race for the locks the journal-mode
// change needs and fail with a busy database.
class SetupLock {
 public:
  explicit SetupLock(const std::string& database) {
    fd_ = open((database + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ >= 0)
      while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
  }
  ~SetupLock() {
    if (fd_ >= 0) close(fd_);  // closing releases the lock
  }
  SetupLock(const SetupLock&) = delete;
  SetupLock& operator=(const SetupLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace

Status Store::Connect() {
  std::string path = DatabasePath();
  if (path.empty()) return kErrorRegistryIoFailed;
  if (db_ && path == path_ && owner_ == CurrentProcessId()) return kErrorSuccess;
  Disconnect();
  SetupLock setup_lock(path);
  sqlite3* db = nullptr;
  int code = sqlite3_open_v2(
      path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (code != SQLITE_OK) {
    sqlite3_close(db);
    return StatusFromSqlite(code);
  }
  db_ = db;
  path_ = path;
  owner_ = CurrentProcessId();
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  Status status = CreateSchema();
  if (status != kErrorSuccess) Disconnect();
  return status;
}

Status Store::CreateSchema() {
  // journal_mode answers with the mode now in force; anything but WAL is not usable.
  std::string mode;
  {
    Query query = Statement("PRAGMA journal_mode=WAL");
    if (Status s = StepRow(query); s != kErrorSuccess) return s;
    mode = query.Bytes(0);
  }
  if (mode != "wal") return kErrorRegistryIoFailed;
  int code = sqlite3_exec(db_, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
  if (code != SQLITE_OK) return StatusFromSqlite(code);
  // Skip the write lock when another process has laid out the schema already.
  std::int64_t version = 0;
  {
    Query query = Statement("PRAGMA user_version");
    if (Status s = StepRow(query); s != kErrorSuccess) return s;
    version = query.Number(0);
  }
  if (version == 2) return kErrorSuccess;
  if (version != 0 && version != 1)
    return kErrorRegistryCorrupt;  // a schema this code does not know
  Transaction transaction(db_, true);
  if (transaction.status() != kErrorSuccess) return transaction.status();
  code = version == 0 ? sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr) : SQLITE_OK;
  if (code == SQLITE_OK) code = sqlite3_exec(db_, kUpgradeTo2, nullptr, nullptr, nullptr);
  return transaction.Finish(StatusFromSqlite(code));
}

// Statements are prepared once per connection and kept.
Query Store::Statement(const char* sql) {
  for (auto& entry : statements_) {
    if (entry.first == sql) return Query(entry.second, SQLITE_OK);
  }
  sqlite3_stmt* statement = nullptr;
  int code = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
  if (code == SQLITE_OK) statements_.emplace_back(sql, statement);
  return Query(statement, code);
}

Status Store::Found(KeyId key) {
  Query query = Statement("SELECT 1 FROM keys WHERE id = ?");
  query.Bind(1, key);
  Status status = StepRow(query);
  return status == kErrorFileNotFound ? kErrorKeyDeleted : status;
}

Status Store::Depth(KeyId key, std::int64_t* depth) {
  Query query = Statement(
      "WITH RECURSIVE up(id, depth) AS (SELECT ?, 0 UNION ALL "
      "SELECT keys.parent, up.depth + 1 FROM keys JOIN up ON keys.id = up.id "
      "WHERE keys.parent != 0) SELECT max(depth) FROM up");
  query.Bind(1, key);
  if (Status s = StepRow(query); s != kErrorSuccess) return s;
  *depth = query.Number(0);
  return kErrorSuccess;
}

Status Store::Version(std::int64_t* version) {
  // Changes this connection made. Those of other processes are seen from the next
  // batch on, and by every enumeration that starts again at index 0, as a snapshot per
  // enumeration would show them; checking for them on every call would cost a lock.
  *version = sqlite3_total_changes64(db_);
  return kErrorSuccess;
}

Store::Cursor* Store::FindCursor(KeyId key, bool values, std::int64_t version) {
  for (Cursor& cursor : cursors_)
    if (cursor.key == key && cursor.values == values && cursor.version == version) return &cursor;
  return nullptr;
}

void Store::KeepCursor(Cursor cursor) {
  constexpr std::size_t kMaxCursors = 16;
  Cursor kept = std::move(cursor);
  kept.use = ++cursor_uses_;
  for (Cursor& existing : cursors_) {
    if (existing.key == kept.key && existing.values == kept.values) {
      existing = std::move(kept);
      return;
    }
  }
  if (cursors_.size() < kMaxCursors) {
    cursors_.push_back(std::move(kept));
    return;
  }
  auto oldest = std::min_element(cursors_.begin(), cursors_.end(),
                                 [](const Cursor& a, const Cursor& b) { return a.use < b.use; });
  *oldest = std::move(kept);
}

Status Store::FindChild(KeyId parent, std::string_view name, KeyId* child) {
  Query query = Statement("SELECT id FROM keys WHERE parent = ? AND folded = ?");
  query.Bind(1, parent).Bind(2, FoldName(name));
  Status status = StepRow(query);
  if (status == kErrorSuccess) *child = query.Number(0);
  return status;
}

Status Store::Exists(KeyId key) {
  return Transact(false, [&]() -> Status { return Found(key); });
}

Status Store::Open(KeyId base, const std::vector<std::string>& path, KeyId* key) {
  return Transact(false, [&]() -> Status {
    if (Status s = Found(base); s != kErrorSuccess) return s;
    KeyId current = base;
    for (const std::string& name : path)
      if (Status s = FindChild(current, name, &current); s != kErrorSuccess) return s;
    *key = current;
    return kErrorSuccess;
  });
}

Status Store::Create(KeyId base, const std::vector<std::string>& path, bool may_create, KeyId* key,
                     bool* created) {
  return Transact(true, [&]() -> Status {
    if (Status s = Found(base); s != kErrorSuccess) return s;
    KeyId current = base;
    bool made = false;
    std::int64_t depth = -1;  // of `current`, computed when a key is about to be made
    for (const std::string& name : path) {
      KeyId parent = current;
      Status s = FindChild(current, name, &current);
      if (s == kErrorFileNotFound) {
        if (!may_create) return kErrorAccessDenied;
        if (depth < 0)
          if (Status s2 = Depth(parent, &depth); s2 != kErrorSuccess) return s2;
        if (++depth > kMaxKeyDepth) return kErrorFilenameExcedRange;
        Query insert = Statement("INSERT INTO keys(parent, name, folded) VALUES(?, ?, ?)");
        insert.Bind(1, current).Bind(2, name).Bind(3, FoldName(name));
        if (Status s2 = insert.Run(); s2 != kErrorSuccess) return s2;
        current = sqlite3_last_insert_rowid(db_);
        made = true;
      } else if (s != kErrorSuccess) {
        return s;
      } else if (depth >= 0) {
        ++depth;
      }
    }
    *key = current;
    if (created) *created = made;
    return kErrorSuccess;
  });
}

Status Store::GetValue(KeyId key, std::string_view name, ValueRecord* value) {
  return Transact(false, [&]() -> Status {
    if (Status s = Found(key); s != kErrorSuccess) return s;
    Query query = Statement("SELECT name, type, data FROM vals WHERE key = ? AND folded = ?");
    query.Bind(1, key).Bind(2, FoldName(name));
    if (Status s = StepRow(query); s != kErrorSuccess) return s;
    *value = {query.Bytes(0), static_cast<std::uint32_t>(query.Number(1)), query.Bytes(2)};
    return kErrorSuccess;
  });
}

Status Store::PutValue(KeyId key, std::string_view name, std::uint32_t type,
                       std::string_view data) {
  return Transact(true, [&]() -> Status {
    if (Status s = Found(key); s != kErrorSuccess) return s;
    // An existing value keeps its place in the enumeration and its spelling.
    Query upsert = Statement(
        "INSERT INTO vals(key, name, folded, type, data) VALUES(?, ?, ?, ?, ?) "
        "ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, "
        "data = excluded.data");
    upsert.Bind(1, key).Bind(2, name).Bind(3, FoldName(name)).Bind(4, type).Bind(5, data);
    return upsert.Run();
  });
}

Status Store::RemoveValue(KeyId key, std::string_view name) {
  return Transact(true, [&]() -> Status {
    if (Status s = Found(key); s != kErrorSuccess) return s;
    Query remove = Statement("DELETE FROM vals WHERE key = ? AND folded = ?");
    remove.Bind(1, key).Bind(2, FoldName(name));
    if (Status s = remove.Run(); s != kErrorSuccess) return s;
    return sqlite3_changes(db_) > 0 ? kErrorSuccess : kErrorFileNotFound;
  });
}

Status Store::RemoveKey(KeyId key) {
  return Transact(true, [&]() -> Status {
    if (Status s = Found(key); s != kErrorSuccess) return s;
    if (key <= kDynDataId) return kErrorAccessDenied;
    {
      Query children = Statement("SELECT 1 FROM keys WHERE parent = ? LIMIT 1");
      children.Bind(1, key);
      Status s = StepRow(children);
      if (s == kErrorSuccess) return kErrorAccessDenied;
      if (s != kErrorFileNotFound) return s;
    }
    Query values = Statement("DELETE FROM vals WHERE key = ?");
    values.Bind(1, key);
    if (Status s = values.Run(); s != kErrorSuccess) return s;
    Query remove = Statement("DELETE FROM keys WHERE id = ?");
    remove.Bind(1, key);
    return remove.Run();
  });
}

Status Store::RemoveTree(KeyId key) {
  return Transact(true, [&]() -> Status {
    if (Status s = Found(key); s != kErrorSuccess) return s;
    // Checked before anything goes: a refused delete must leave the tree whole.
    if (key <= kDynDataId) return kErrorAccessDenied;
    Query values = Statement(
        "WITH RECURSIVE tree(id) AS (SELECT ? UNION ALL "
        "SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) "
        "DELETE FROM vals WHERE key IN tree");
    values.Bind(1, key);
    if (Status s = values.Run(); s != kErrorSuccess) return s;
    Query keys = Statement(
        "WITH RECURSIVE tree(id) AS (SELECT ? UNION ALL "
        "SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) "
        "DELETE FROM keys WHERE id IN tree");
    keys.Bind(1, key);
    return keys.Run();
  });
}

Status Store::ValueAt(KeyId key, std::uint32_t index, ValueRecord* value) {
  constexpr std::size_t kBatchRows = 256;
  constexpr std::size_t kBatchBytes = 1 << 20;
  std::lock_guard<std::mutex> lock(mutex_);
  if (Status status = Connect(); status != kErrorSuccess) return status;
  std::int64_t version = 0;
  if (Status s = Version(&version); s != kErrorSuccess) return s;
  if (Cursor* cursor = index == 0 ? nullptr : FindCursor(key, true, version)) {
    if (index >= cursor->index && index - cursor->index < cursor->batch.size()) {
      cursor->use = ++cursor_uses_;
      *value = cursor->batch[index - cursor->index];
      return kErrorSuccess;
    }
    if (cursor->batch_reaches_end && index >= cursor->index) return kErrorNoMoreItems;
  }
  const Cursor* cursor = FindCursor(key, true, version);
  bool continues =
      cursor && !cursor->batch.empty() && index == cursor->index + cursor->batch.size();
  Cursor next;
  next.key = key;
  next.values = true;
  next.version = version;
  next.index = index;
  Status status = InTransaction(false, [&]() -> Status {
    if (Status s = Found(key); s != kErrorSuccess) return s;
    Query seek = Statement(
        "SELECT id, name, type, data FROM vals WHERE key = ? AND id > ? ORDER BY id LIMIT ?");
    Query skip = Statement(
        "SELECT id, name, type, data FROM vals WHERE key = ? ORDER BY id LIMIT ? OFFSET ?");
    Query& query = continues || index == 0 ? seek : skip;
    query.Bind(1, key);
    if (&query == &seek) {
      query.Bind(2, continues ? cursor->last_id : 0).Bind(3, std::int64_t{kBatchRows});
    } else {
      query.Bind(2, std::int64_t{kBatchRows}).Bind(3, static_cast<std::int64_t>(index));
    }
    std::size_t bytes = 0;
    int code = SQLITE_DONE;
    while (next.batch.size() < kBatchRows && bytes < kBatchBytes &&
           (code = query.Step()) == SQLITE_ROW) {
      next.last_id = query.Number(0);
      next.batch.push_back(
          {query.Bytes(1), static_cast<std::uint32_t>(query.Number(2)), query.Bytes(3)});
      bytes += next.batch.back().name.size() + next.batch.back().data.size();
    }
    if (next.batch.size() < kBatchRows && bytes < kBatchBytes) {
      if (code != SQLITE_DONE) return StatusFromSqlite(code);
      next.batch_reaches_end = true;
    }
    return kErrorSuccess;
  });
  if (status != kErrorSuccess) return status;
  if (next.batch.empty()) return kErrorNoMoreItems;
  *value = next.batch.front();
  KeepCursor(std::move(next));
  return kErrorSuccess;
}

Status Store::SubkeyAt(KeyId key, std::uint32_t index, std::string* name) {
  return Transact(false, [&]() -> Status {
    if (Status s = Found(key); s != kErrorSuccess) return s;
    std::int64_t version = 0;
    if (Status s = Version(&version); s != kErrorSuccess) return s;
    const Cursor* cursor = FindCursor(key, false, version);
    if (cursor && cursor->index + 1 != index) cursor = nullptr;
    Query seek = Statement(
        "SELECT name, folded FROM keys WHERE parent = ? AND folded > ? ORDER BY folded LIMIT 1");
    Query skip = Statement(
        "SELECT name, folded FROM keys WHERE parent = ? ORDER BY folded LIMIT 1 OFFSET ?");
    Query& query = cursor ? seek : skip;
    query.Bind(1, key);
    if (cursor)
      query.Bind(2, std::string_view(cursor->last_folded));
    else
      query.Bind(2, static_cast<std::int64_t>(index));
    Status s = StepRow(query);
    if (s == kErrorFileNotFound) return kErrorNoMoreItems;
    if (s != kErrorSuccess) return s;
    *name = query.Bytes(0);
    Cursor next;
    next.key = key;
    next.index = index;
    next.version = version;
    next.last_folded = query.Bytes(1);
    KeepCursor(next);
    return kErrorSuccess;
  });
}

Status Store::Info(KeyId key, KeyInfo* info) {
  return Transact(false, [&]() -> Status {
    if (Status s = Found(key); s != kErrorSuccess) return s;
    KeyInfo result;
    {
      Query keys = Statement(
          "SELECT count(*), coalesce(max(length(name)), 0) FROM keys "
          "WHERE parent = ?");
      keys.Bind(1, key);
      if (Status s = StepRow(keys); s != kErrorSuccess) return s;
      result.subkeys = static_cast<std::uint32_t>(keys.Number(0));
      result.max_subkey_length = static_cast<std::uint32_t>(keys.Number(1));
    }
    Query values = Statement(
        "SELECT count(*), coalesce(max(length(name)), 0), "
        "coalesce(max(length(data)), 0) FROM vals WHERE key = ?");
    values.Bind(1, key);
    if (Status s = StepRow(values); s != kErrorSuccess) return s;
    result.values = static_cast<std::uint32_t>(values.Number(0));
    result.max_value_name_length = static_cast<std::uint32_t>(values.Number(1));
    result.max_value_data_size = static_cast<std::uint32_t>(values.Number(2));
    *info = result;
    return kErrorSuccess;
  });
}

}  // namespace platform::reg::internal
