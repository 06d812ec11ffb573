// The registry API on POSIX: checks arguments, handles and access rights at the
// boundary and applies the Win32 buffer rules, then calls the one store
// (registry_store.cc). Handles live in a per-process table; each remembers the
// database it was opened in, so a handle does not wander into another prefix.
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/registry.h"
#include "platform/registry_store.h"

namespace platform::reg {
namespace {

using internal::KeyId;
using internal::Store;

constexpr Access kGenericRead = 0x80000000u;
constexpr Access kGenericWrite = 0x40000000u;
constexpr Access kGenericAll = 0x10000000u;

struct OpenHandle {
  KeyId key;
  Access access;
  std::string database;
};

class HandleTable {
 public:
  Hkey Add(KeyId key, Access access) {
    std::lock_guard<std::mutex> lock(mutex_);
    // Small even numbers, far from the predefined roots (0x8000000x).
    next_ = next_ >= 0x7ffffff0u ? 0x100 : next_ + 4;
    while (handles_.count(next_)) next_ += 4;
    handles_[next_] = {key, access, Store::DatabasePath()};
    return Hkey(next_);
  }
  // The handle's key and rights, when it was opened in `database`.
  bool Find(Hkey key, const std::string& database, KeyId* id, Access* access) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = handles_.find(static_cast<std::uint32_t>(key));
    if (it == handles_.end() || it->second.database != database) return false;
    *id = it->second.key;
    *access = it->second.access;
    return true;
  }
  bool Remove(Hkey key) {
    std::lock_guard<std::mutex> lock(mutex_);
    return handles_.erase(static_cast<std::uint32_t>(key)) > 0;
  }

 private:
  std::mutex mutex_;
  std::uint32_t next_ = 0xfc;
  std::unordered_map<std::uint32_t, OpenHandle> handles_;
};

HandleTable& Handles() {
  static HandleTable* table = new HandleTable();
  return *table;
}

bool IsPredefined(Hkey key) {
  auto number = static_cast<std::uint32_t>(key);
  return number >= static_cast<std::uint32_t>(kClassesRoot) &&
         number <= static_cast<std::uint32_t>(kDynData);
}

// Generic and maximum rights become the key rights they stand for.
Access NormalizeAccess(Access access) {
  if (access & (kMaximumAllowed | kGenericAll)) access |= kKeyAllAccess;
  if (access & kGenericRead) access |= kKeyRead;
  if (access & kGenericWrite) access |= kKeyWrite;
  return access;
}

// The store's key for a handle, when the handle carries the rights `needed`.
Status Resolve(Hkey key, Access needed, KeyId* id) {
  static constexpr std::pair<Hkey, KeyId> kStoredRoots[] = {
      {kLocalMachine, internal::kLocalMachineId},
      {kCurrentUser, internal::kCurrentUserId},
      {kUsers, internal::kUsersId},
      {kCurrentConfig, internal::kCurrentConfigId},
      {kPerformanceData, internal::kPerformanceDataId},
      {kDynData, internal::kDynDataId}};
  for (const auto& [root, root_id] : kStoredRoots) {
    if (key == root) {
      *id = root_id;
      return kErrorSuccess;
    }
  }
  if (key == kClassesRoot) {
    static const std::vector<std::string> kClasses = {"Software", "Classes"};
    Status status = Store::Get().Open(internal::kLocalMachineId, kClasses, id);
    if (status != kErrorFileNotFound) return status;
    return Store::Get().Create(internal::kLocalMachineId, kClasses, true, id, nullptr);
  }
  Access access = 0;
  if (!Handles().Find(key, Store::DatabasePath(), id, &access)) return kErrorInvalidHandle;
  if ((access & needed) != needed) return kErrorAccessDenied;
  return kErrorSuccess;
}

// Splits a subkey path into names. Doubled and trailing backslashes are tolerated as
// Windows does; a leading one is not.
Status SplitSubkey(const char* subkey, std::vector<std::string>* names) {
  names->clear();
  if (!subkey || !*subkey) return kErrorSuccess;
  if (*subkey == '\\') return kErrorBadPathname;
  std::string_view rest(subkey);
  while (!rest.empty()) {
    size_t slash = rest.find('\\');
    std::string_view name = rest.substr(0, slash);
    if (name.size() > kMaxKeyNameLength) return kErrorInvalidParameter;
    if (!name.empty()) names->emplace_back(name);
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
  return kErrorSuccess;
}

Status CheckValueName(const char* name) {
  return name && std::strlen(name) > kMaxValueNameLength ? kErrorInvalidParameter : kErrorSuccess;
}

bool IsStringType(std::uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// Copies value data into a caller's buffer by the RegQueryValueExA rules.
Status CopyData(const internal::ValueRecord& value, void* data, std::uint32_t* size) {
  if (!size) return kErrorSuccess;
  auto needed = static_cast<std::uint32_t>(value.data.size());
  if (data) {
    if (*size < needed) {
      *size = needed;
      return kErrorMoreData;
    }
    std::memcpy(data, value.data.data(), needed);
    // NT terminates a string stored without its zero when there is room for one.
    if (IsStringType(value.type) && needed > 0 && value.data.back() != '\0' && *size > needed)
      static_cast<char*>(data)[needed] = '\0';
  }
  *size = needed;
  return kErrorSuccess;
}

}  // namespace

Status OpenKey(Hkey key, const char* subkey, Access access, Hkey* result) {
  if (!result) return kErrorInvalidParameter;
  *result = Hkey::kNull;
  KeyId base;
  std::vector<std::string> names;
  if (Status s = Resolve(key, 0, &base); s != kErrorSuccess) return s;
  if (Status s = SplitSubkey(subkey, &names); s != kErrorSuccess) return s;
  KeyId found;
  if (Status s = Store::Get().Open(base, names, &found); s != kErrorSuccess) return s;
  *result = Handles().Add(found, NormalizeAccess(access));
  return kErrorSuccess;
}

Status CreateKey(Hkey key, const char* subkey, Access access, Hkey* result, bool* created) {
  if (!result) return kErrorInvalidParameter;
  *result = Hkey::kNull;
  KeyId base;
  std::vector<std::string> names;
  if (Status s = Resolve(key, 0, &base); s != kErrorSuccess) return s;
  if (Status s = SplitSubkey(subkey, &names); s != kErrorSuccess) return s;
  // Creating needs KEY_CREATE_SUB_KEY on the parent; opening what exists does not.
  bool may_create = Resolve(key, kKeyCreateSubKey, &base) == kErrorSuccess;
  KeyId found;
  bool made = false;
  if (Status s = Store::Get().Create(base, names, may_create, &found, &made); s != kErrorSuccess)
    return s;
  if (created) *created = made;
  *result = Handles().Add(found, NormalizeAccess(access));
  return kErrorSuccess;
}

Status QueryValue(Hkey key, const char* name, std::uint32_t* type, void* data,
                  std::uint32_t* size) {
  if (data && !size) return kErrorInvalidParameter;
  KeyId id;
  if (Status s = Resolve(key, kKeyQueryValue, &id); s != kErrorSuccess) return s;
  internal::ValueRecord value;
  if (Status s = Store::Get().GetValue(id, name ? name : "", &value); s != kErrorSuccess) return s;
  if (type) *type = value.type;
  return CopyData(value, data, size);
}

Status SetValue(Hkey key, const char* name, std::uint32_t type, const void* data,
                std::uint32_t size) {
  if (!data && size > 0) return kErrorInvalidParameter;
  if (Status s = CheckValueName(name); s != kErrorSuccess) return s;
  KeyId id;
  if (Status s = Resolve(key, kKeySetValue, &id); s != kErrorSuccess) return s;
  std::string_view bytes(data ? static_cast<const char*>(data) : "", size);
  return Store::Get().PutValue(id, name ? name : "", type, bytes);
}

Status DeleteValue(Hkey key, const char* name) {
  if (Status s = CheckValueName(name); s != kErrorSuccess) return s;
  KeyId id;
  if (Status s = Resolve(key, kKeySetValue, &id); s != kErrorSuccess) return s;
  return Store::Get().RemoveValue(id, name ? name : "");
}

namespace {

// The key a delete names. A predefined root (HKEY_CLASSES_ROOT included) is never
// deleted, whatever it holds.
Status ResolveDeletable(Hkey key, const char* subkey, KeyId* target) {
  if (!subkey) return kErrorInvalidParameter;
  KeyId base;
  std::vector<std::string> names;
  if (Status s = Resolve(key, 0, &base); s != kErrorSuccess) return s;
  if (Status s = SplitSubkey(subkey, &names); s != kErrorSuccess) return s;
  if (names.empty() && IsPredefined(key)) return kErrorAccessDenied;
  return Store::Get().Open(base, names, target);
}

}  // namespace

Status DeleteKey(Hkey key, const char* subkey) {
  KeyId target;
  if (Status s = ResolveDeletable(key, subkey, &target); s != kErrorSuccess) return s;
  return Store::Get().RemoveKey(target);
}

Status DeleteTree(Hkey key, const char* subkey) {
  KeyId target;
  if (Status s = ResolveDeletable(key, subkey, &target); s != kErrorSuccess) return s;
  return Store::Get().RemoveTree(target);
}

Status EnumValue(Hkey key, std::uint32_t index, char* name, std::uint32_t* name_size,
                 std::uint32_t* type, void* data, std::uint32_t* data_size) {
  if (!name || !name_size || (data && !data_size)) return kErrorInvalidParameter;
  KeyId id;
  if (Status s = Resolve(key, kKeyQueryValue, &id); s != kErrorSuccess) return s;
  internal::ValueRecord value;
  if (Status s = Store::Get().ValueAt(id, index, &value); s != kErrorSuccess) return s;
  if (value.name.size() + 1 > *name_size) return kErrorMoreData;
  std::memcpy(name, value.name.c_str(), value.name.size() + 1);
  *name_size = static_cast<std::uint32_t>(value.name.size());
  if (type) *type = value.type;
  return CopyData(value, data, data_size);
}

Status EnumKey(Hkey key, std::uint32_t index, char* name, std::uint32_t* name_size) {
  if (!name || !name_size) return kErrorInvalidParameter;
  KeyId id;
  if (Status s = Resolve(key, kKeyEnumerateSubKeys, &id); s != kErrorSuccess) return s;
  std::string subkey;
  if (Status s = Store::Get().SubkeyAt(id, index, &subkey); s != kErrorSuccess) return s;
  if (subkey.size() + 1 > *name_size) return kErrorMoreData;
  std::memcpy(name, subkey.c_str(), subkey.size() + 1);
  *name_size = static_cast<std::uint32_t>(subkey.size());
  return kErrorSuccess;
}

Status QueryInfoKey(Hkey key, KeyInfo* info) {
  if (!info) return kErrorInvalidParameter;
  KeyId id;
  if (Status s = Resolve(key, kKeyQueryValue, &id); s != kErrorSuccess) return s;
  return Store::Get().Info(id, info);
}

Status FlushKey(Hkey key) {
  KeyId id;
  if (Status s = Resolve(key, 0, &id); s != kErrorSuccess) return s;
  return Store::Get().Exists(id);
}

Status CloseKey(Hkey key) {
  if (IsPredefined(key)) return kErrorSuccess;
  return Handles().Remove(key) ? kErrorSuccess : kErrorInvalidHandle;
}

}  // namespace platform::reg
