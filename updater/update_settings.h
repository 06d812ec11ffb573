// The registry settings the updater reads and writes: the main key's directories and
// values, the Update key's client kind, password and download settings (the request
// log and the pending "Needs=" settings), and the server overrides.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "updater/update_sources.h"

namespace zoma {

/// Values named "<region>.<kind>" here override the built-in update servers.
inline constexpr const char* kServersKey = "Software\\Norvance\\Zoma\\Update\\Servers";
inline constexpr const char* kCachedArgumentsValue = "Command-Line Arguments Cached Here";

std::optional<std::string> MainSetting(const char* name);
std::optional<std::string> UpdateSetting(const char* name);
std::optional<std::string> RootDirectory();

/// A file in the Programs or System directory; "" when the path cannot be built.
std::string ProgramsFilePath(const char* file_name);
std::string SystemFilePath(const char* file_name);

/// Reads and deletes the arguments a chain cached for the post-fix process.
std::optional<std::string> TakeCachedArguments();

ClientKind ReadClientKind();
/// The override for the region and kind ("host:port"; ":3500" added when it names no
/// port), else the built-in server.
std::string SelectServer(Region region, ClientKind kind);

/// The download settings in the order they are sent: `Download Setting 1..Count`
/// (missing ones skipped) when Count exists and is not "0", else `Download Settings`.
std::vector<std::string> DownloadSettings();

/// The request-log lines for one channel: "Affiliation=<code>" when there is a code,
/// then the download settings.
std::vector<std::string> RequestLogLines(const std::string& affiliation);

/// A download setting that begins with "Needs=" is waiting.
bool NeedsPending();
/// Deletes `Download Settings Count` and every "Needs=" setting; others stay.
void ClearNeeds();

}  // namespace zoma
