// What the update engine asks of the installation it updates: its identity on the
// server, where it updates from, its request log, and its own files. Every answer is a
// value; the engine holds one Installation and never shares its fields with it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "updater/update_sources.h"

namespace zoma {

/// Where a session updates from, as the installation decides it.
struct UpdateSources {
  std::string server;  // "host:port"
  std::vector<ChannelEntry> channels;
};

/// The answers of no installation in particular: nothing to update.
class Installation {
 public:
  virtual ~Installation() = default;

  virtual std::string UserAgent() { return "UpdateLibrary/0.96"; }
  virtual std::string ClientName() { return {}; }
  virtual std::optional<std::string> Password() { return std::nullopt; }
  /// The server and the channel table of a session; none: no channels.
  virtual UpdateSources SelectSources() { return {}; }
  /// None: nothing to update; empty: not installed.
  virtual std::optional<std::string> InstallationDirectory() { return std::nullopt; }
  /// The request-log lines; nullopt when they cannot be made.
  virtual std::optional<std::vector<std::string>> RequestLog() {
    return std::vector<std::string>{};
  }
  virtual bool IsUpdaterFile(const std::string& /*name*/) { return false; }
  virtual bool StageUpdaterFile(const std::string& /*name*/, const std::string& /*holding_path*/) {
    return false;
  }
  /// Starts the Alternate copy for the channel's target directory and ends the process;
  /// returns only when it failed.
  virtual void Chain(const std::string& /*target_directory*/) {}
  virtual void RegisterLogonEntry(const std::string& /*name*/) {}
  /// Whether every pass that ends counts as a success (an engine of no installation).
  virtual bool EveryPassSucceeds() { return true; }
};

}  // namespace zoma
