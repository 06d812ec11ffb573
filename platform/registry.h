// The registry: keys and typed values under the predefined roots, with the calls and
// result codes of the Win32 registry API (RegOpenKeyExA, RegQueryValueExA, ...). The
// store is one SQLite database in the prefix that several processes share.
//
// Key and value names compare case-insensitively (ASCII) and keep the spelling they were
// created with. Values enumerate in creation order, subkeys in name order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win_error.h"

namespace platform::reg {

// A key handle, as HKEY: a predefined root or a handle returned by OpenKey/CreateKey.
enum class Hkey : std::uint32_t { kNull = 0 };

inline constexpr Hkey kClassesRoot = Hkey(0x80000000u);  // HKLM\Software\Classes
inline constexpr Hkey kCurrentUser = Hkey(0x80000001u);
inline constexpr Hkey kLocalMachine = Hkey(0x80000002u);
inline constexpr Hkey kUsers = Hkey(0x80000003u);
inline constexpr Hkey kPerformanceData = Hkey(0x80000004u);
inline constexpr Hkey kCurrentConfig = Hkey(0x80000005u);
inline constexpr Hkey kDynData = Hkey(0x80000006u);

// Value types.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;

// Access rights.
using Access = std::uint32_t;
inline constexpr Access kKeyQueryValue = 0x0001;
inline constexpr Access kKeySetValue = 0x0002;
inline constexpr Access kKeyCreateSubKey = 0x0004;
inline constexpr Access kKeyEnumerateSubKeys = 0x0008;
inline constexpr Access kKeyNotify = 0x0010;
inline constexpr Access kKeyCreateLink = 0x0020;
inline constexpr Access kDelete = 0x00010000;
inline constexpr Access kKeyRead = 0x00020019;
inline constexpr Access kKeyWrite = 0x00020006;
inline constexpr Access kKeyAllAccess = 0x000F003F;
inline constexpr Access kMaximumAllowed = 0x02000000;

// Keys lie at most 512 levels below their root; creating deeper fails with
// kErrorFilenameExcedRange.
// Longest key name component and value name (characters, terminator excluded).
inline constexpr std::size_t kMaxKeyNameLength = 255;
inline constexpr std::size_t kMaxValueNameLength = 16383;

// RegOpenKeyExA. An empty or null subkey opens a new handle to `key` itself.
Status OpenKey(Hkey key, const char* subkey, Access access, Hkey* result);

// RegCreateKeyExA: opens the key, creating it and any missing intermediate keys.
// *created (optional) tells whether the key was new (REG_CREATED_NEW_KEY) or opened.
Status CreateKey(Hkey key, const char* subkey, Access access, Hkey* result,
                 bool* created = nullptr);

// RegQueryValueExA. `name` null or "" is the default value. With `data` null and `size`
// given, reports the size; a buffer too small gives kErrorMoreData with the size needed
// and leaves the buffer untouched. A string without terminator gets one when it fits;
// the size reported stays the stored size.
Status QueryValue(Hkey key, const char* name, std::uint32_t* type, void* data, std::uint32_t* size);

// RegSetValueExA: stores `size` bytes as given (callers include a string's terminator).
Status SetValue(Hkey key, const char* name, std::uint32_t type, const void* data,
                std::uint32_t size);

// RegDeleteValueA.
Status DeleteValue(Hkey key, const char* name);

// RegDeleteKeyA: deletes a key that has no subkeys; "" deletes `key` itself.
Status DeleteKey(Hkey key, const char* subkey);

// RegEnumValueA. *name_size is the buffer size in, the name length (terminator
// excluded) out. kErrorNoMoreItems past the last value.
Status EnumValue(Hkey key, std::uint32_t index, char* name, std::uint32_t* name_size,
                 std::uint32_t* type, void* data, std::uint32_t* data_size);

// RegEnumKeyExA (without class and time).
Status EnumKey(Hkey key, std::uint32_t index, char* name, std::uint32_t* name_size);

struct KeyInfo {
  std::uint32_t subkeys = 0;
  std::uint32_t max_subkey_length = 0;  // characters, terminator excluded
  std::uint32_t values = 0;
  std::uint32_t max_value_name_length = 0;
  std::uint32_t max_value_data_size = 0;  // bytes
};

// RegQueryInfoKeyA.
Status QueryInfoKey(Hkey key, KeyInfo* info);

// RegFlushKey: every change is already committed; this only checks the handle.
Status FlushKey(Hkey key);

// RegCloseKey. Closing a predefined root succeeds and does nothing.
Status CloseKey(Hkey key);

// ---- Helpers for the rest of the system, by key path text --------------------------

// A key named by text: "HKEY_LOCAL_MACHINE\Software\Norvance" or "HKLM\Software\...".
struct KeyPath {
  Hkey root = Hkey::kNull;
  std::string subkey;  // without the root; may be empty
};

// Parses a key path; the root is matched without regard to case. False for an unknown
// root or a path with empty components.
bool ParseKeyPath(std::string_view text, KeyPath* path);

// The long name of a predefined root ("HKEY_LOCAL_MACHINE"), or "" for other handles.
std::string_view RootName(Hkey root);

// Closes a handle when it goes out of scope.
class ScopedKey {
 public:
  ScopedKey() = default;
  explicit ScopedKey(Hkey key) : key_(key) {}
  ~ScopedKey() { Reset(); }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;
  Hkey get() const { return key_; }
  Hkey* out() {
    Reset();
    return &key_;
  }
  void Reset() {
    if (key_ != Hkey::kNull) CloseKey(key_);
    key_ = Hkey::kNull;
  }

 private:
  Hkey key_ = Hkey::kNull;
};

struct Value {
  std::uint32_t type = kRegNone;
  std::string data;  // raw bytes as stored
};

// Reads a value of any type by key path. kErrorFileNotFound when key or value is absent,
// kErrorBadPathname for a path that does not parse.
Status ReadValue(std::string_view key_path, std::string_view name, Value* value);

// Typed reads: absent when the key or value is missing or has another type (REG_SZ only
// for strings, so a REG_EXPAND_SZ value is not read as one).
std::optional<std::string> ReadString(std::string_view key_path, std::string_view name);
std::optional<std::uint32_t> ReadDword(std::string_view key_path, std::string_view name);
std::optional<std::vector<std::string>> ReadMultiString(std::string_view key_path,
                                                        std::string_view name);

// Writes by key path, creating the key when missing.
Status WriteValue(std::string_view key_path, std::string_view name, std::uint32_t type,
                  std::string_view data);
Status WriteString(std::string_view key_path, std::string_view name, std::string_view text,
                   std::uint32_t type = kRegSz);
Status WriteDword(std::string_view key_path, std::string_view name, std::uint32_t number);
Status WriteMultiString(std::string_view key_path, std::string_view name,
                        const std::vector<std::string>& items);

// Deletes a key with all its subkeys and values (RegDeleteTree of the key itself), in
// one transaction: it all goes or nothing does. A predefined root is refused.
Status DeleteTree(Hkey key, const char* subkey);

// Decodes REG_MULTI_SZ data: strings up to the empty string or the end of the data.
std::vector<std::string> SplitMultiString(std::string_view data);
// Encodes REG_MULTI_SZ data, with the closing empty string.
std::string JoinMultiString(const std::vector<std::string>& items);

}  // namespace platform::reg
