// The Zoma installation's update engine: its servers and channels, its identity, the
// updater's own files and the hand-off to the Alternate copy when one of them changes.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "updater/launch_record_fields.h"
#include "updater/update_engine.h"

namespace zoma {

struct ClientUpdaterOptions {
  /// The fix copy updates only the first channel and may install the updater's files.
  bool fix_mode = false;
  /// The launch record file (Windows path); empty without one.
  std::string launch_record_path;
  /// Chains to the Alternate copy for the channel's target directory; returns only when
  /// the copy could not be started.
  std::function<void(const std::string& target_directory)> chain;
};

// The engine together with the Zoma installation it answers for.
class ClientUpdater : private Installation, public UpdateEngine {
 public:
  ClientUpdater(SystemServices& system, UpdateLog& log, ClientUpdaterOptions options);

  /// Option B set, then the session "Zoma".
  void StartStandardSession();
  /// Before a second pass: the last one counts as failed, and every channel updates.
  void AnnounceRestart();

  /// The launch record's fields, read anew; nullopt when it cannot be read.
  std::optional<LaunchRecordFields> ReadLaunchRecord();

 private:
  // Installation.
  std::string UserAgent() override;
  std::string ClientName() override { return "ZomaClient"; }
  std::optional<std::string> Password() override;
  UpdateSources SelectSources() override;
  std::optional<std::string> InstallationDirectory() override;
  std::optional<std::vector<std::string>> RequestLog() override;
  bool IsUpdaterFile(const std::string& name) override;
  bool StageUpdaterFile(const std::string& name, const std::string& holding_path) override;
  void Chain(const std::string& target_directory) override;
  void RegisterLogonEntry(const std::string& name) override;
  bool EveryPassSucceeds() override { return false; }

  ClientUpdaterOptions options_;
  int option_b_ = 0;
};

}  // namespace zoma
