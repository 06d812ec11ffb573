// Where the updater updates from: the client kind and region that pick one of nine
// update servers, the channel tables with their flags, each channel's target
// directory and URL, and the identity (user agent, credentials) given to the server.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zoma {

enum class ClientKind { kProduction, kTest, kDevelopment, kNoUpdate };
enum class Region { kDefault, kEurope, kJapan };

/// From the `ZomaClient` value: prefix "Test", "Dev", "No" (case ignored), else production.
ClientKind ClientKindFromValue(const std::optional<std::string>& value);
/// From the launch record's region text: prefix "Euro" or "Japan" (case ignored).
Region RegionFromText(std::string_view region_text);

const char* RegionName(Region region);          // "default", "europe", "japan"
const char* ServerColumnName(ClientKind kind);  // "production", "test", "development"

/// The built-in server ("host:3500") for a region and kind; kind "no update" uses the
/// production column.
std::string BuiltInServer(Region region, ClientKind kind);

// Channel flags.
inline constexpr std::uint32_t kChannelClean = 0x0001;
inline constexpr std::uint32_t kChannelRemoveFiles = 0x0002;
inline constexpr std::uint32_t kChannelHideState = 0x0004;
inline constexpr std::uint32_t kChannelStrict = 0x0010;
inline constexpr std::uint32_t kChannelAbsoluteDirectory = 0x0020;
inline constexpr std::uint32_t kChannelSystemDirectory = 0x0040;
inline constexpr std::uint32_t kChannelWindowsDirectory = 0x0080;
inline constexpr std::uint32_t kChannelFullTable = 0x0200;
inline constexpr std::uint32_t kChannelProfile = 0x1000;
inline constexpr std::uint32_t kChannelNoUpdate = 0x4000;

struct ChannelEntry {
  std::string name;
  std::string local_directory;
  int progress_start;
  int progress_span;
  std::uint32_t flags;
};

/// The full table (four channels) or the no-update table (one), cut to the first
/// entry in fix mode.
std::vector<ChannelEntry> ChannelTable(ClientKind kind, bool fix_mode);

/// The directory a channel installs into.
std::string ChannelTargetDirectory(const ChannelEntry& entry, const std::string& root,
                                   const std::string& windows_directory,
                                   const std::string& system_directory);

std::string ChannelUrl(const std::string& server, const std::string& channel_name);
/// "Zoma Software/<version>; UpdateLibrary/0.96"; "Unknown Version" when none.
std::string UserAgent(const std::optional<std::string>& current_version);
/// "ZomaClient:<password>", or empty without a password.
std::string Credentials(const std::optional<std::string>& password);

/// True for a download setting that begins with "Needs=" (case ignored).
bool IsPendingNeed(std::string_view setting);

}  // namespace zoma
