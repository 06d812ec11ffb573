// The registry built-ins of the system library: read, write and delete values by a
// path of the form root\key\value ("HKLM\Software\Norvance\Zoma\Update\Download Settings").
#include "platform/registry.h"

#include <cstring>
#include <string>

#include "script/lib/arguments.h"
#include "script/libraries.h"

namespace script {
namespace {

namespace reg = platform::reg;

struct ValuePath {
  std::string key;   // root\key
  std::string name;  // empty: the key's default value
};

// Root, key and value name; false for a path without two backslashes or with an
// unknown root.
bool ParseValuePath(std::string_view text, ValuePath* path) {
  const std::size_t first = text.find('\\');
  const std::size_t last = text.rfind('\\');
  if (first == std::string_view::npos || first == last) return false;
  path->key = std::string(text.substr(0, last));
  path->name = std::string(text.substr(last + 1));
  reg::KeyPath parsed;
  return reg::ParseKeyPath(path->key, &parsed);
}

void GetRegistryValueBuiltin(Call& call) {
  ValuePath path;
  reg::Value value;
  if (ParseValuePath(Unquoted(call, 1), &path) &&
      reg::ReadValue(path.key, path.name, &value) == platform::kErrorSuccess) {
    if (value.type == reg::kRegSz || value.type == reg::kRegBinary) {
      WriteQuoted(call, std::string_view(value.data.c_str()));
    } else if (value.type == reg::kRegDword && value.data.size() >= 4) {
      std::uint32_t number = 0;
      std::memcpy(&number, value.data.data(), 4);
      call.WriteInteger(static_cast<std::int32_t>(number));
    }
    return;
  }
  if (call.Has(2)) call.EvaluateIntoOutput(call.Raw(2));
}

// user_data: the type the name stands for. An existing value keeps its type unless a
// type argument is given.
void SetRegistryValueBuiltin(Call& call) {
  ValuePath path;
  if (!ParseValuePath(Unquoted(call, 1), &path)) {
    call.Write("2");
    return;
  }
  auto type = static_cast<std::uint32_t>(reinterpret_cast<std::intptr_t>(call.user_data));
  reg::Value existing;
  if (reg::ReadValue(path.key, path.name, &existing) == platform::kErrorSuccess)
    type = existing.type;
  if (call.Has(3)) type = static_cast<std::uint32_t>(call.Math(3));
  platform::Status status;
  if (type == reg::kRegDword) {
    status = reg::WriteDword(path.key, path.name, static_cast<std::uint32_t>(call.Math(2)));
  } else {
    std::string data(Unquoted(call, 2));
    data.push_back('\0');
    status = reg::WriteValue(path.key, path.name, type, data);
  }
  call.Write(status == platform::kErrorSuccess ? "0" : "1");
}

void DeleteRegistryValueBuiltin(Call& call) {
  ValuePath path;
  if (!ParseValuePath(Unquoted(call, 1), &path)) return;
  reg::KeyPath key;
  reg::ParseKeyPath(path.key, &key);
  reg::ScopedKey handle;
  bool deleted = reg::OpenKey(key.root, key.subkey.c_str(), reg::kKeyRead | reg::kKeyWrite,
                              handle.out()) == platform::kErrorSuccess &&
                 reg::DeleteValue(handle.get(), path.name.c_str()) == platform::kErrorSuccess;
  call.Write(deleted ? "1" : "0");
}

}  // namespace

void RegisterRegistryBuiltins(Instance* instance) {
  static const BuiltinRow kRows[] = {
      {"GetRegistryValue", GetRegistryValueBuiltin, 0, 1},
      {"SetRegistryValue", SetRegistryValueBuiltin, reg::kRegSz, 2},
      {"SetRegistryValueDword", SetRegistryValueBuiltin, reg::kRegDword, 2},
      {"SetRegistryValueBinary", SetRegistryValueBuiltin, reg::kRegBinary, 2},
      {"DeleteRegistryValue", DeleteRegistryValueBuiltin, 0, 1},
  };
  RegisterTable(instance, kRows);
}

}  // namespace script
