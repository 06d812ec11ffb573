// Reading and writing the updater's registry settings through the settings store.
#include "updater/update_settings.h"

#include <algorithm>
#include <cstdlib>

#include "clientcfg/settings_store.h"
#include "platform/registry.h"

namespace zoma {
namespace {

namespace reg = platform::reg;

// A count past this is not a count anyone wrote; it is not walked value by value.
constexpr long kMaxDownloadSettings = 4096;

// How many numbered settings there are, or nullopt when the single setting applies:
// only a missing count or exactly "0" means that. Any other text counts by its decimal
// value, so "abc" means none at all, never the single setting.
std::optional<long> NumberedSettingsCount() {
  std::optional<std::string> count = UpdateSetting("Download Settings Count");
  if (!count || *count == "0") return std::nullopt;
  long value = std::strtol(count->c_str(), nullptr, 10);
  return std::clamp<long>(value, 0, kMaxDownloadSettings);
}

std::string NumberedSettingName(long i) { return "Download Setting " + std::to_string(i); }

std::string ClientFilePath(const char* directory_override, const char* subdirectory,
                           const char* file_name) {
  char path[platform::kMaxPath];
  if (clientcfg::GetClientFilePath(nullptr, directory_override, "Root Directory", subdirectory,
                                   file_name, path, sizeof path, reg::Hkey::kNull) != 0)
    return {};
  return path;
}

void DeleteValue(const char* subkey, const std::string& name) {
  reg::ScopedKey key;
  if (reg::OpenKey(reg::kLocalMachine, subkey, reg::kKeyQueryValue | reg::kKeySetValue,
                   key.out()) == platform::kErrorSuccess)
    reg::DeleteValue(key.get(), name.c_str());
}

}  // namespace

std::optional<std::string> MainSetting(const char* name) {
  return clientcfg::GetSettingString(clientcfg::kMainKey, name);
}

std::optional<std::string> UpdateSetting(const char* name) {
  return clientcfg::GetSettingString(clientcfg::kUpdateKey, name);
}

std::optional<std::string> RootDirectory() { return MainSetting("Root Directory"); }

std::string ProgramsFilePath(const char* file_name) {
  return ClientFilePath("Programs Directory", "Programs", file_name);
}

std::string SystemFilePath(const char* file_name) {
  return ClientFilePath("System Directory", "System", file_name);
}

std::optional<std::string> TakeCachedArguments() {
  std::optional<std::string> cached = MainSetting(kCachedArgumentsValue);
  if (cached) DeleteValue(clientcfg::kMainKey, kCachedArgumentsValue);
  return cached;
}

ClientKind ReadClientKind() { return ClientKindFromValue(UpdateSetting("ZomaClient")); }

std::string SelectServer(Region region, ClientKind kind) {
  std::string name = std::string(RegionName(region)) + "." + ServerColumnName(kind);
  std::optional<std::string> server = clientcfg::GetSettingString(kServersKey, name.c_str());
  if (!server || server->empty()) return BuiltInServer(region, kind);
  if (server->find(':') == std::string::npos) *server += ":3500";
  return *server;
}

std::vector<std::string> DownloadSettings() {
  std::vector<std::string> settings;
  if (std::optional<long> count = NumberedSettingsCount()) {
    for (long i = 1; i <= *count; ++i)
      if (std::optional<std::string> value = UpdateSetting(NumberedSettingName(i).c_str()))
        settings.push_back(*value);
  } else if (std::optional<std::string> value = UpdateSetting("Download Settings")) {
    settings.push_back(*value);
  }
  return settings;
}

std::vector<std::string> RequestLogLines(const std::string& affiliation) {
  std::vector<std::string> lines;
  if (!affiliation.empty()) lines.push_back("Affiliation=" + affiliation);
  for (std::string& setting : DownloadSettings()) lines.push_back(std::move(setting));
  return lines;
}

bool NeedsPending() {
  for (const std::string& setting : DownloadSettings())
    if (IsPendingNeed(setting)) return true;
  return false;
}

void ClearNeeds() {
  std::optional<long> count = NumberedSettingsCount();
  DeleteValue(clientcfg::kUpdateKey, "Download Settings Count");
  if (count) {
    for (long i = 1; i <= *count; ++i) {
      std::string name = NumberedSettingName(i);
      std::optional<std::string> value = UpdateSetting(name.c_str());
      if (value && IsPendingNeed(*value)) DeleteValue(clientcfg::kUpdateKey, name);
    }
  } else if (std::optional<std::string> value = UpdateSetting("Download Settings")) {
    if (IsPendingNeed(*value)) DeleteValue(clientcfg::kUpdateKey, "Download Settings");
  }
}

}  // namespace zoma
