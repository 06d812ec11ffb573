// Conveniences over the registry API for the rest of the system: key paths as text
// ("HKEY_LOCAL_MACHINE\Software\..." or "HKLM\..."), typed reads and writes by path,
// and the REG_MULTI_SZ encoding. Built only on the public calls.
#include <array>
#include <cstring>

#include "platform/ascii.h"
#include "platform/registry.h"

namespace platform::reg {
namespace {

struct RootNames {
  std::string_view long_name;
  std::string_view short_name;
  Hkey key;
};

constexpr std::array<RootNames, 7> kRoots = {{
    {"HKEY_LOCAL_MACHINE", "HKLM", kLocalMachine},
    {"HKEY_CURRENT_USER", "HKCU", kCurrentUser},
    {"HKEY_CLASSES_ROOT", "HKCR", kClassesRoot},
    {"HKEY_USERS", "HKU", kUsers},
    {"HKEY_PERFORMANCE_DATA", "HKPD", kPerformanceData},
    {"HKEY_CURRENT_CONFIG", "HKCC", kCurrentConfig},
    {"HKEY_DYN_DATA", "HKDD", kDynData},
}};

// Opens the key of a path text with the given rights (creating it when asked).
Status OpenPath(std::string_view key_path, Access access, bool create, ScopedKey* key) {
  KeyPath path;
  if (!ParseKeyPath(key_path, &path)) return kErrorBadPathname;
  return create ? CreateKey(path.root, path.subkey.c_str(), access, key->out())
                : OpenKey(path.root, path.subkey.c_str(), access, key->out());
}

// The value's data when it exists with exactly `type`.
std::optional<std::string> ReadTyped(std::string_view key_path, std::string_view name,
                                     std::uint32_t type) {
  Value value;
  if (ReadValue(key_path, name, &value) != kErrorSuccess || value.type != type) return std::nullopt;
  return value.data;
}

}  // namespace

bool ParseKeyPath(std::string_view text, KeyPath* path) {
  // Key names reach the store as C strings: a NUL would cut the path short, so that
  // "HKLM\<NUL>x" named the whole hive.
  if (text.find('\0') != std::string_view::npos) return false;
  size_t slash = text.find('\\');
  std::string_view root = text.substr(0, slash);
  std::string_view rest = slash == std::string_view::npos ? "" : text.substr(slash + 1);
  while (!rest.empty() && rest.back() == '\\') rest.remove_suffix(1);
  if (rest.find("\\\\") != std::string_view::npos || (!rest.empty() && rest.front() == '\\'))
    return false;
  for (const RootNames& names : kRoots) {
    if (EqualsIgnoreCase(root, names.long_name) || EqualsIgnoreCase(root, names.short_name)) {
      path->root = names.key;
      path->subkey = std::string(rest);
      return true;
    }
  }
  return false;
}

std::string_view RootName(Hkey root) {
  for (const RootNames& names : kRoots)
    if (names.key == root) return names.long_name;
  return {};
}

Status ReadValue(std::string_view key_path, std::string_view name, Value* value) {
  ScopedKey key;
  if (Status s = OpenPath(key_path, kKeyQueryValue, false, &key); s != kErrorSuccess) return s;
  std::string value_name(name);
  // The value may grow between the size query and the read: ask again until it fits.
  for (;;) {
    std::uint32_t size = 0;
    Status s = QueryValue(key.get(), value_name.c_str(), &value->type, nullptr, &size);
    if (s != kErrorSuccess) return s;
    value->data.assign(size, '\0');
    s = QueryValue(key.get(), value_name.c_str(), &value->type, value->data.data(), &size);
    if (s == kErrorMoreData) continue;
    if (s == kErrorSuccess) value->data.resize(size);
    return s;
  }
}

std::optional<std::string> ReadString(std::string_view key_path, std::string_view name) {
  std::optional<std::string> data = ReadTyped(key_path, name, kRegSz);
  if (data) data->resize(std::strlen(data->c_str()));  // up to the first zero
  return data;
}

std::optional<std::uint32_t> ReadDword(std::string_view key_path, std::string_view name) {
  std::optional<std::string> data = ReadTyped(key_path, name, kRegDword);
  if (!data || data->size() != 4) return std::nullopt;
  const auto* bytes = reinterpret_cast<const unsigned char*>(data->data());
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

std::optional<std::vector<std::string>> ReadMultiString(std::string_view key_path,
                                                        std::string_view name) {
  std::optional<std::string> data = ReadTyped(key_path, name, kRegMultiSz);
  if (!data) return std::nullopt;
  return SplitMultiString(*data);
}

Status WriteValue(std::string_view key_path, std::string_view name, std::uint32_t type,
                  std::string_view data) {
  ScopedKey key;
  if (Status s = OpenPath(key_path, kKeyWrite, true, &key); s != kErrorSuccess) return s;
  return SetValue(key.get(), std::string(name).c_str(), type, data.data(),
                  static_cast<std::uint32_t>(data.size()));
}

Status WriteString(std::string_view key_path, std::string_view name, std::string_view text,
                   std::uint32_t type) {
  std::string data(text);
  data.push_back('\0');
  return WriteValue(key_path, name, type, data);
}

Status WriteDword(std::string_view key_path, std::string_view name, std::uint32_t number) {
  char bytes[4] = {static_cast<char>(number), static_cast<char>(number >> 8),
                   static_cast<char>(number >> 16), static_cast<char>(number >> 24)};
  return WriteValue(key_path, name, kRegDword, std::string_view(bytes, 4));
}

Status WriteMultiString(std::string_view key_path, std::string_view name,
                        const std::vector<std::string>& items) {
  return WriteValue(key_path, name, kRegMultiSz, JoinMultiString(items));
}

std::vector<std::string> SplitMultiString(std::string_view data) {
  std::vector<std::string> items;
  while (!data.empty()) {
    size_t end = data.find('\0');
    if (end == 0) break;  // the closing empty string
    items.emplace_back(data.substr(0, end));
    if (end == std::string_view::npos) break;
    data.remove_prefix(end + 1);
  }
  return items;
}

std::string JoinMultiString(const std::vector<std::string>& items) {
  std::string data;
  for (const std::string& item : items) {
    data += item;
    data.push_back('\0');
  }
  data.push_back('\0');
  return data;
}

}  // namespace platform::reg
