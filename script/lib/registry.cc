// The registry built-ins of the system library. A value path is root\key\value
// ("HKLM\Software\Norvance\Zoma\Update\Download Settings"; an empty value name, from a
// path that ends with a backslash, is the key's default value); a key path is root\key.
// Result codes are the library's own small numbers, never Win32 codes.
#include "platform/registry.h"

#include <cstring>
#include <string>

#include "script/lib/arguments.h"
#include "script/libraries.h"

namespace script {
namespace {

namespace reg = platform::reg;

constexpr reg::Access kReadWrite = reg::kKeyRead | reg::kKeyWrite;

struct ValuePath {
  reg::KeyPath key;
  std::string name;  // empty: the key's default value
};

// Root, key and value name; false for a path without two backslashes or with an
// unknown root.
bool ParseValuePath(std::string_view text, ValuePath* path) {
  const std::size_t first = text.find('\\');
  const std::size_t last = text.rfind('\\');
  if (first == std::string_view::npos || first == last) return false;
  if (text.find('\0') != std::string_view::npos) return false;
  path->name = std::string(text.substr(last + 1));
  return reg::ParseKeyPath(text.substr(0, last), &path->key);
}

// Root and key: everything after the first backslash is the key.
bool ParseKeyArgument(std::string_view text, reg::KeyPath* key) {
  if (text.find('\\') == std::string_view::npos || text.find('\0') != std::string_view::npos)
    return false;
  return reg::ParseKeyPath(text, key);
}

// Reads a value of any type through a key opened for reading.
bool QueryValue(const ValuePath& path, reg::Value* value) {
  reg::ScopedKey key;
  if (reg::OpenKey(path.key.root, path.key.subkey.c_str(), reg::kKeyRead, key.out()) !=
      platform::kErrorSuccess)
    return false;
  std::uint32_t type = 0, size = 0;
  if (reg::QueryValue(key.get(), path.name.c_str(), &type, nullptr, &size) !=
      platform::kErrorSuccess)
    return false;
  value->type = type;
  value->data.assign(size, '\0');
  return size == 0 || reg::QueryValue(key.get(), path.name.c_str(), &type, value->data.data(),
                                      &size) == platform::kErrorSuccess;
}

void GetRegistryValueBuiltin(Call& call) {
  ValuePath path;
  reg::Value value;
  if (ParseValuePath(Unquoted(call, 1), &path) && QueryValue(path, &value)) {
    if (value.type == reg::kRegSz || value.type == reg::kRegBinary) {
      WriteQuoted(call, std::string_view(value.data).substr(0, value.data.find('\0')));
    } else if (value.type == reg::kRegDword && value.data.size() >= 4) {
      std::uint32_t number = 0;
      std::memcpy(&number, value.data.data(), 4);
      call.WriteInteger(static_cast<std::int32_t>(number));
    }
    return;
  }
  if (call.Has(2)) call.EvaluateIntoOutput(call.Raw(2));
}

void CreateRegistryKeyBuiltin(Call& call) {
  reg::KeyPath key;
  if (!ParseKeyArgument(Unquoted(call, 1), &key)) {
    call.Write("1");
    return;
  }
  reg::ScopedKey handle;
  call.Write(reg::CreateKey(key.root, key.subkey.c_str(), kReadWrite, handle.out()) ==
                     platform::kErrorSuccess
                 ? "0"
                 : "2");
}

// user_data: the type the name stands for. An existing value keeps its type unless a
// type argument is given. The old value is replaced in one step, so that a write that
// fails leaves it as it was.
void SetRegistryValueBuiltin(Call& call) {
  ValuePath path;
  if (!ParseValuePath(Unquoted(call, 1), &path)) {
    call.Write("2");
    return;
  }
  reg::ScopedKey key;
  if (reg::CreateKey(path.key.root, path.key.subkey.c_str(), kReadWrite, key.out()) !=
      platform::kErrorSuccess) {
    call.Write("2");
    return;
  }
  auto type = static_cast<std::uint32_t>(reinterpret_cast<std::intptr_t>(call.user_data));
  std::uint32_t existing = 0;
  if (reg::QueryValue(key.get(), path.name.c_str(), &existing, nullptr, nullptr) ==
      platform::kErrorSuccess)
    type = existing;
  if (call.Has(3)) type = static_cast<std::uint32_t>(call.Math(3));
  platform::Status status;
  if (type == reg::kRegDword) {
    const auto number = static_cast<std::uint32_t>(call.Math(2));
    status = reg::SetValue(key.get(), path.name.c_str(), type, &number, sizeof number);
  } else {
    std::string data(Unquoted(call, 2));
    data.push_back('\0');
    status = reg::SetValue(key.get(), path.name.c_str(), type, data.data(),
                           static_cast<std::uint32_t>(data.size()));
  }
  call.Write(status == platform::kErrorSuccess ? "0" : "1");
}

// user_data 0: RegistryValueExists (the type code, or 0); 1: RegistryKeyExists.
void RegistryExistsBuiltin(Call& call) {
  std::string_view text = Unquoted(call, 1);
  if (reinterpret_cast<std::intptr_t>(call.user_data) == 1) {
    reg::KeyPath key;
    reg::ScopedKey handle;
    call.Write(ParseKeyArgument(text, &key) &&
                       reg::OpenKey(key.root, key.subkey.c_str(), reg::kKeyRead, handle.out()) ==
                           platform::kErrorSuccess
                   ? "1"
                   : "0");
    return;
  }
  ValuePath path;
  reg::ScopedKey key;
  std::uint32_t type = 0;
  if (!ParseValuePath(text, &path) ||
      reg::OpenKey(path.key.root, path.key.subkey.c_str(), reg::kKeyRead, key.out()) !=
          platform::kErrorSuccess ||
      reg::QueryValue(key.get(), path.name.c_str(), &type, nullptr, nullptr) !=
          platform::kErrorSuccess) {
    call.Write("0");
    return;
  }
  call.WriteInteger(type);
}

void DeleteRegistryValueBuiltin(Call& call) {
  ValuePath path;
  if (!ParseValuePath(Unquoted(call, 1), &path)) return;
  reg::ScopedKey handle;
  bool deleted = reg::OpenKey(path.key.root, path.key.subkey.c_str(), kReadWrite, handle.out()) ==
                     platform::kErrorSuccess &&
                 reg::DeleteValue(handle.get(), path.name.c_str()) == platform::kErrorSuccess;
  call.Write(deleted ? "1" : "0");
}

// Checked like a value path, but the whole text after the root names the key. A key
// with subkeys is not deleted.
void DeleteRegistryKeyBuiltin(Call& call) {
  std::string_view text = Unquoted(call, 1);
  ValuePath checked;
  if (!ParseValuePath(text, &checked)) return;
  reg::KeyPath key;
  if (!reg::ParseKeyPath(text, &key) || key.subkey.empty()) {
    call.Write("0");
    return;
  }
  call.Write(reg::DeleteKey(key.root, key.subkey.c_str()) == platform::kErrorSuccess ? "1" : "0");
}

}  // namespace

void RegisterRegistryBuiltins(Instance* instance) {
  static const BuiltinRow kRows[] = {
      {"GetRegistryValue", GetRegistryValueBuiltin, 0, 1},
      {"CreateRegistryKey", CreateRegistryKeyBuiltin, 0, 1},
      {"SetRegistryValue", SetRegistryValueBuiltin, reg::kRegSz, 2},
      {"SetRegistryValueDword", SetRegistryValueBuiltin, reg::kRegDword, 2},
      {"SetRegistryValueBinary", SetRegistryValueBuiltin, reg::kRegBinary, 2},
      {"RegistryValueExists", RegistryExistsBuiltin, 0, 1},
      {"RegistryKeyExists", RegistryExistsBuiltin, 1, 1},
      {"DeleteRegistryValue", DeleteRegistryValueBuiltin, 0, 1},
      {"DeleteRegistryKey", DeleteRegistryKeyBuiltin, 0, 1},
  };
  RegisterTable(instance, kRows);
}

}  // namespace script
