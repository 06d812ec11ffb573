// The one store behind the registry API: keys and values in the SQLite database
// prefix/registry.db. Callers pass validated arguments; every change is one
// transaction, so several processes can use the database at once. Key ids are never
// reused, so a handle to a deleted key keeps failing with kErrorKeyDeleted.
#pragma once

#include <sqlite3.h>
#include <sys/types.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "platform/win_error.h"

namespace platform::reg::internal {

using KeyId = std::int64_t;

// The fixed ids of the stored roots (HKEY_CLASSES_ROOT is a path below HKLM).
inline constexpr KeyId kLocalMachineId = 1;
inline constexpr KeyId kCurrentUserId = 2;
inline constexpr KeyId kUsersId = 3;
inline constexpr KeyId kCurrentConfigId = 4;
inline constexpr KeyId kPerformanceDataId = 5;
inline constexpr KeyId kDynDataId = 6;

class Query;

struct ValueRecord {
  std::string name;
  std::uint32_t type = 0;
  std::string data;
};

class Store {
 public:
  // The process's store for the current prefix.
  static Store& Get();

  // Host path of the database the next call will use ("" when there is no prefix).
  static std::string DatabasePath();

  // Finds `path` (name components) below `base`.
  Status Open(KeyId base, const std::vector<std::string>& path, KeyId* key);
  // As Open, creating missing keys when `may_create`, else failing with access denied.
  Status Create(KeyId base, const std::vector<std::string>& path, bool may_create, KeyId* key,
                bool* created);
  // kErrorSuccess when the key still exists, else kErrorKeyDeleted.
  Status Exists(KeyId key);

  Status GetValue(KeyId key, std::string_view name, ValueRecord* value);
  Status PutValue(KeyId key, std::string_view name, std::uint32_t type, std::string_view data);
  Status RemoveValue(KeyId key, std::string_view name);
  // Fails with access denied when the key has subkeys or is a root.
  Status RemoveKey(KeyId key);
  // Removes the key with everything below it in one transaction; a root is refused
  // before anything is touched.
  Status RemoveTree(KeyId key);

  Status ValueAt(KeyId key, std::uint32_t index, ValueRecord* value);
  Status SubkeyAt(KeyId key, std::uint32_t index, std::string* name);
  Status Info(KeyId key, KeyInfo* info);

 private:
  class Transaction;
  template <typename Body>
  Status Transact(bool write, Body body);
  // As Transact, for a caller that holds the lock and has connected.
  template <typename Body>
  Status InTransaction(bool write, Body body);
  Store() = default;
  // Opens (or reopens, after a prefix change or a fork) the database.
  Status Connect();
  Status CreateSchema();
  void Disconnect();
  Query Statement(const char* sql);
  Status FindChild(KeyId parent, std::string_view name, KeyId* child);
  Status Found(KeyId key);
  Status Depth(KeyId key, std::int64_t* depth);
  // What tells whether this connection changed the database since a cursor was taken.
  Status Version(std::int64_t* version);

  // Where the last enumeration of a key stopped, so that asking for the next index
  // seeks from there instead of skipping every earlier row. Values come in batches read
  // in one transaction and served while the database is unchanged.
  struct Cursor {
    KeyId key = 0;
    bool values = false;
    std::int64_t version = -1;
    std::uint32_t index = 0;         // of the last entry read (subkeys) or the batch's first
    std::int64_t last_id = 0;        // values: the row id of the batch's last entry
    std::string last_folded;         // subkeys: the folded name of entry `index`
    std::vector<ValueRecord> batch;  // values: entries index, index + 1, ...
    bool batch_reaches_end = false;
    std::uint64_t use = 0;
  };
  Cursor* FindCursor(KeyId key, bool values, std::int64_t version);
  void KeepCursor(Cursor cursor);

  std::mutex mutex_;
  sqlite3* db_ = nullptr;
  std::string path_;
  pid_t owner_ = 0;
  std::vector<std::pair<const char*, sqlite3_stmt*>> statements_;
  std::vector<Cursor> cursors_;
  std::uint64_t cursor_uses_ = 0;
};

// Deepest a key may lie below its root, as on Windows.
inline constexpr std::int64_t kMaxKeyDepth = 512;

// ASCII upper case: the form names are compared and ordered in.
std::string FoldName(std::string_view name);

}  // namespace platform::reg::internal
