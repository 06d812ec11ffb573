// The installation's answers to the update engine.
#include "updater/client_updater.h"

#include "platform/ascii.h"
#include "updater/logon_entry.h"
#include "updater/update_settings.h"

namespace zoma {

ClientUpdater::ClientUpdater(SystemServices& system, UpdateLog& log, ClientUpdaterOptions options)
    : UpdateEngine(system, log, this), options_(std::move(options)) {}

void ClientUpdater::StartStandardSession() {
  option_b_ = 1;
  StartSession("Zoma");
}

void ClientUpdater::AnnounceRestart() {
  PrepareRepeatedPass();
  Status("Zoma needs to restart the update to ensure you are updated correctly.");
}

std::optional<LaunchRecordFields> ClientUpdater::ReadLaunchRecord() {
  if (options_.launch_record_path.empty()) return std::nullopt;
  std::optional<std::string> bytes =
      system_.ReadFileHead(options_.launch_record_path, kLaunchRecordSize);
  if (!bytes) return std::nullopt;
  return ParseLaunchRecordFields(*bytes);
}

std::string ClientUpdater::UserAgent() { return zoma::UserAgent(MainSetting("Current Version")); }

std::optional<std::string> ClientUpdater::Password() { return UpdateSetting("Password"); }

UpdateSources ClientUpdater::SelectSources() {
  ClientKind kind = ReadClientKind();
  std::optional<LaunchRecordFields> record = ReadLaunchRecord();
  Region region = RegionFromText(record ? record->region_text : "");
  return {SelectServer(region, kind), ChannelTable(kind, options_.fix_mode)};
}

std::optional<std::string> ClientUpdater::InstallationDirectory() { return RootDirectory(); }

std::optional<std::vector<std::string>> ClientUpdater::RequestLog() {
  std::optional<LaunchRecordFields> record = ReadLaunchRecord();
  if (!record) return std::nullopt;
  return RequestLogLines(record->affiliation);
}

bool ClientUpdater::IsUpdaterFile(const std::string& name) {
  // The fix copy runs from the Alternate directory, so the files in Programs are free
  // to be replaced there; refusing them would chain to yet another fix copy forever.
  if (options_.fix_mode) return false;
  std::string normalised = name;
  for (char& c : normalised)
    if (c == '\\') c = '/';
  return platform::EqualsIgnoreCase(normalised, "programs/zomaup.exe") ||
         platform::EqualsIgnoreCase(normalised, "programs/mrbupd.dll");
}

bool ClientUpdater::StageUpdaterFile(const std::string& name, const std::string& holding_path) {
  std::optional<std::string> root = RootDirectory();
  if (!root) return false;
  system_.CreateDirectoryTree(*root + "\\Alternate");
  std::size_t dot = name.rfind('.');
  std::string extension = dot == std::string::npos ? "" : name.substr(dot + 1);
  if (platform::EqualsIgnoreCase(extension, "EXE"))
    return system_.CopyFile(holding_path, *root + "\\Alternate\\ZomaUp.exe", false);
  if (platform::EqualsIgnoreCase(extension, "DLL"))
    return system_.CopyFile(holding_path, *root + "\\Alternate\\mrbupd.dll", false);
  return false;
}

void ClientUpdater::Chain(const std::string& target_directory) {
  if (options_.chain) options_.chain(target_directory);
}

void ClientUpdater::RegisterLogonEntry(const std::string& name) { zoma::RegisterLogonEntry(name); }

}  // namespace zoma
