// Registry getters and setters of the settings store and the client directory rules.
#include "clientcfg/settings_store.h"

#include <cstdio>
#include <cstring>

namespace clientcfg {
namespace {

namespace reg = platform::reg;
using platform::kErrorSuccess;

// The value's bytes when it exists with exactly the wanted type.
std::optional<std::string> QueryTyped(Hkey key, const char* name, std::uint32_t wanted) {
  std::uint32_t type = 0, size = 0;
  if (reg::QueryValue(key, name, &type, nullptr, &size) != kErrorSuccess || type != wanted)
    return std::nullopt;
  std::string data(size, '\0');
  if (reg::QueryValue(key, name, &type, data.data(), &size) != kErrorSuccess || type != wanted)
    return std::nullopt;
  data.resize(size);
  return data;
}

// Opens a subkey of HKEY_LOCAL_MACHINE for query and runs `read` on it.
template <typename T, typename Read>
T WithSettingKey(const char* subkey, T default_value, Read read) {
  reg::ScopedKey key;
  if (reg::OpenKey(reg::kLocalMachine, subkey, reg::kKeyQueryValue, key.out()) != kErrorSuccess)
    return default_value;
  return read(key.get());
}

platform::Status PutSetting(const char* subkey, const char* name, std::uint32_t type,
                            const void* data, std::uint32_t size) {
  reg::ScopedKey key;
  platform::Status status =
      reg::OpenKey(reg::kLocalMachine, subkey,
                   reg::kKeySetValue | reg::kKeyCreateSubKey | reg::kKeyWrite, key.out());
  if (status != kErrorSuccess) return status;
  return reg::SetValue(key.get(), name, type, data, size);
}

// The main key given by the caller, or one opened here and closed on return.
class MainKey {
 public:
  explicit MainKey(Hkey given) : key_(given) {
    if (key_ == Hkey::kNull)
      opened_ = reg::OpenKey(reg::kLocalMachine, kMainKey, reg::kKeyQueryValue, owned_.out()) ==
                kErrorSuccess;
  }
  bool ok() const { return key_ != Hkey::kNull || opened_; }
  Hkey get() const { return key_ != Hkey::kNull ? key_ : owned_.get(); }

 private:
  Hkey key_;
  reg::ScopedKey owned_;
  bool opened_ = false;
};

}  // namespace

OwnedText QueryString(Hkey key, const char* name, OwnedText default_value) {
  std::optional<std::string> data = QueryTyped(key, name, reg::kRegSz);
  if (!data) return default_value;
  return data->substr(0, data->find('\0'));
}

std::uint32_t QueryDword(Hkey key, const char* name, std::uint32_t default_value) {
  std::optional<std::string> data = QueryTyped(key, name, reg::kRegDword);
  if (!data || data->size() != 4) return default_value;
  std::uint32_t value;
  std::memcpy(&value, data->data(), 4);
  return value;
}

OwnedText QueryBinary(Hkey key, const char* name, OwnedText default_value) {
  std::optional<std::string> data = QueryTyped(key, name, reg::kRegBinary);
  return data ? data : default_value;
}

OwnedText GetSettingString(const char* subkey, const char* name, OwnedText default_value) {
  return WithSettingKey(subkey, default_value,
                        [&](Hkey key) { return QueryString(key, name, default_value); });
}

std::uint32_t GetSettingDword(const char* subkey, const char* name, std::uint32_t default_value) {
  return WithSettingKey(subkey, default_value,
                        [&](Hkey key) { return QueryDword(key, name, default_value); });
}

OwnedText GetSettingBinary(const char* subkey, const char* name, OwnedText default_value) {
  return WithSettingKey(subkey, default_value,
                        [&](Hkey key) { return QueryBinary(key, name, default_value); });
}

std::string GameKeyName(std::int32_t game_id) {
  std::string name = "Software\\Norvance\\Zoma\\Manifest\\GAME00000000000000000000";
  std::size_t zero = name.find('0');
  char number[16];
  int length = std::snprintf(number, sizeof number, "%d", game_id);
  return name.substr(0, zero) + std::string(number, length);
}

OwnedText GetGameString(std::int32_t game_id, const char* name, OwnedText default_value) {
  return GetSettingString(GameKeyName(game_id).c_str(), name, std::move(default_value));
}

std::uint32_t GetGameDword(std::int32_t game_id, const char* name, std::uint32_t default_value) {
  return GetSettingDword(GameKeyName(game_id).c_str(), name, default_value);
}

OwnedText GetGameBinary(std::int32_t game_id, const char* name, OwnedText default_value) {
  return GetSettingBinary(GameKeyName(game_id).c_str(), name, std::move(default_value));
}

platform::Status SetString(Hkey key, const char* name, const std::string& value) {
  return reg::SetValue(key, name, reg::kRegSz, value.c_str(),
                       static_cast<std::uint32_t>(value.size() + 1));
}

platform::Status SetDword(Hkey key, const char* name, std::uint32_t value) {
  return reg::SetValue(key, name, reg::kRegDword, &value, 4);
}

platform::Status SetBinary(Hkey key, const char* name, const void* data, std::uint32_t length) {
  return reg::SetValue(key, name, reg::kRegBinary, data, length);
}

platform::Status PutSettingString(const char* subkey, const char* name, const std::string& value) {
  return PutSetting(subkey, name, reg::kRegSz, value.c_str(),
                    static_cast<std::uint32_t>(value.size() + 1));
}

platform::Status PutSettingDword(const char* subkey, const char* name, std::uint32_t value) {
  return PutSetting(subkey, name, reg::kRegDword, &value, 4);
}

platform::Status PutSettingBinary(const char* subkey, const char* name, const void* data,
                                  std::uint32_t length) {
  return PutSetting(subkey, name, reg::kRegBinary, data, length);
}

int GetClientDirectory(const char* override_name, const char* root_name,
                       const char* default_subdirectory, char* out, std::size_t size,
                       Hkey main_key) {
  MainKey key(main_key);
  if (!key.ok()) return 2;
  if (override_name) {
    if (OwnedText value = QueryString(key.get(), override_name)) {
      if (CopyBounded(out, value->c_str(), size)) return 1;
      StripTrailingSeparators(out);
      return 0;
    }
  }
  OwnedText root = QueryString(key.get(), root_name);
  if (!root) return 3;
  if (CopyBounded(out, root->c_str(), size)) return 1;
  if (EnsureTrailingSeparator(out, size)) return 1;
  if (AppendBounded(out, SkipLeadingSeparators(default_subdirectory ? default_subdirectory : ""),
                    size))
    return 1;
  StripTrailingSeparators(out);
  return 0;
}

int GetClientFilePath(const char* file_override_name, const char* directory_override_name,
                      const char* root_name, const char* default_subdirectory,
                      const char* file_name, char* out, std::size_t size, Hkey main_key) {
  MainKey key(main_key);
  if (!key.ok()) return 2;
  if (file_override_name) {
    if (OwnedText value = QueryString(key.get(), file_override_name))
      return CopyBounded(out, value->c_str(), size);
  }
  const char* subdirectory =
      SkipLeadingSeparators(default_subdirectory ? default_subdirectory : "");
  if (GetClientDirectory(directory_override_name, root_name, subdirectory, out, size, key.get()))
    return 1;
  if (EnsureTrailingSeparator(out, size)) return 1;
  if (AppendBounded(out, SkipLeadingSeparators(file_name ? file_name : ""), size)) return 1;
  return 0;
}

}  // namespace clientcfg
