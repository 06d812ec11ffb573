// Server, channel and identity tables of the updater.
#include "updater/update_sources.h"

#include "platform/ascii.h"

namespace zoma {
namespace {

// Rows: default, Europe, Japan; columns: production, test, development.
constexpr const char* kServers[3][3] = {
    {"update.zoma.example", "update-test.zoma.example", "update-dev.zoma.example"},
    {"update.eu.zoma.example", "update-test.eu.zoma.example", "update-dev.eu.zoma.example"},
    {"update.jp.zoma.example", "update-test.jp.zoma.example", "update-dev.jp.zoma.example"},
};

int ServerColumn(ClientKind kind) {
  switch (kind) {
    case ClientKind::kTest:
      return 1;
    case ClientKind::kDevelopment:
      return 2;
    default:
      return 0;
  }
}

}  // namespace

ClientKind ClientKindFromValue(const std::optional<std::string>& value) {
  if (!value) return ClientKind::kProduction;
  if (platform::StartsWithIgnoreCase(*value, "Test")) return ClientKind::kTest;
  if (platform::StartsWithIgnoreCase(*value, "Dev")) return ClientKind::kDevelopment;
  if (platform::StartsWithIgnoreCase(*value, "No")) return ClientKind::kNoUpdate;
  return ClientKind::kProduction;
}

Region RegionFromText(std::string_view region_text) {
  if (platform::StartsWithIgnoreCase(region_text, "Euro")) return Region::kEurope;
  if (platform::StartsWithIgnoreCase(region_text, "Japan")) return Region::kJapan;
  return Region::kDefault;
}

const char* RegionName(Region region) {
  static const char* const names[] = {"default", "europe", "japan"};
  return names[static_cast<int>(region)];
}

const char* ServerColumnName(ClientKind kind) {
  static const char* const names[] = {"production", "test", "development"};
  return names[ServerColumn(kind)];
}

std::string BuiltInServer(Region region, ClientKind kind) {
  return std::string(kServers[static_cast<int>(region)][ServerColumn(kind)]) + ":3500";
}

std::vector<ChannelEntry> ChannelTable(ClientKind kind, bool fix_mode) {
  std::vector<ChannelEntry> table;
  if (kind == ClientKind::kNoUpdate) {
    table = {{"NoUpdate", "NoUpdate", 0, 100, 0x4003}};
  } else {
    table = {
        {"Zoma/Programs", ".", 0, 5, 0x215},
        {"Zoma/GameInfo", ".", 5, 1, 0x215},
        {"Zoma/Zoma", ".", 6, 81, 0x215},
        {"Zoma/WindowsSystem", "WinSys", 87, 13, 0x255},
    };
  }
  if (fix_mode) table.resize(1);
  return table;
}

std::string ChannelTargetDirectory(const ChannelEntry& entry, const std::string& root,
                                   const std::string& windows_directory,
                                   const std::string& system_directory) {
  if (entry.flags & kChannelSystemDirectory) return system_directory;
  if (entry.flags & kChannelWindowsDirectory) return windows_directory;
  if (entry.flags & kChannelAbsoluteDirectory) return entry.local_directory;
  if (entry.local_directory.empty()) return root;
  return root + "\\" + entry.local_directory;
}

std::string ChannelUrl(const std::string& server, const std::string& channel_name) {
  return "http://" + server + "/" + channel_name;
}

std::string UserAgent(const std::optional<std::string>& current_version) {
  return "Zoma Software/" + current_version.value_or("Unknown Version") + "; " +
         "UpdateLibrary/0.96";
}

std::string Credentials(const std::optional<std::string>& password) {
  if (!password || password->empty()) return {};
  return "ZomaClient:" + *password;
}

bool IsPendingNeed(std::string_view setting) {
  return platform::StartsWithIgnoreCase(setting, "Needs=");
}

}  // namespace zoma
