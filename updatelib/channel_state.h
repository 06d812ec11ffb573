// A channel's local state below the target directory:
//
//   <target>/.castanet/<channel key>/
//     state              what is installed: manifest digest and version, and one line
//                        per installed file (size, modification time, SHA-256, path)
//     manifest-<sha256>  the signed manifest that state names (and the one in progress)
//     pointer            the last pointer fetched, with its ETag, for conditional requests
//     holding/           downloads: <sha256> verified contents, *.part partial downloads
//     journal            present only while an install is in progress
//     txn/new/<n>, txn/old/<n>   the new and the previous version of file n of the install
//     lock               held by the process that works on the channel
//
// The channel key is the channel name with every character outside [A-Za-z0-9._-]
// written as %XX, so "Zoma/Programs" becomes "Zoma%2FPrograms".
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <map>
#include <string>

namespace castanet {

struct InstalledFile {
  uint64_t size = 0;
  int64_t mtime_ns = 0;  // 0: unknown, hash the file before trusting it
  std::string sha256;
};

struct InstalledState {
  std::string manifest_sha256;  // empty: nothing installed yet
  uint64_t version = 0;
  std::map<std::string, std::pair<std::string, InstalledFile>> files;  // PathKey -> (path, file)
};

class ChannelState {
 public:
  ChannelState(std::string target, std::string channel);
  // The state of whatever channel owns <target>/.castanet/<key> (for reading only).
  static ChannelState ForKey(const std::string& target, const std::string& key);
  ChannelState(ChannelState&& other) noexcept;

  const std::string& target() const { return target_; }
  const std::string& channel() const { return channel_; }
  const std::string& directory() const { return directory_; }
  std::string Path(const std::string& name) const { return directory_ + "/" + name; }
  std::string TargetPath(const std::string& relative) const { return target_ + "/" + relative; }
  std::string HoldingPath(const std::string& name) const { return directory_ + "/holding/" + name; }
  std::string ManifestFile(const std::string& sha256) const {
    return directory_ + "/manifest-" + sha256;
  }

  // Creates the directories of the state.
  bool Create(std::string* error) const;
  bool Exists() const;

  // Reads "state"; a missing file is an empty state. False when it is corrupt.
  bool Load(InstalledState* state, std::string* error) const;
  bool Save(const InstalledState& state, std::string* error) const;

  // Takes the channel's lock, waiting up to timeout_ms; released by Unlock or at exit.
  bool Lock(int timeout_ms);
  void Unlock();
  ~ChannelState();

 private:
  std::string target_;
  std::string channel_;
  std::string directory_;
  int lock_fd_ = -1;
};

std::string ChannelKey(const std::string& channel);

// The modification time of a stat result in nanoseconds.
int64_t StatMtimeNs(const struct stat& info);

}  // namespace castanet
