// What an update has to do: compare a manifest with the target directory and the
// channel's state, and decide for every file whether it is current, comes from the
// holding area, from a patch of the file on disk, or from its object; and which files
// the channel installed that the new version no longer has.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "updatelib/channel/manifest.h"
#include "updatelib/channel_state.h"
#include "updatelib/profile.h"

namespace castanet {

enum class ContentSource { kHeld, kObject, kPatch };

struct PlannedInstall {
  ManifestFile file;
  bool replace = false;  // a file is in the way (an older version or a stranger)
  ContentSource source = ContentSource::kObject;
};

// One object or patch to fetch (several files with the same contents share one).
struct PlannedDownload {
  std::string sha256;        // the contents it yields
  std::string display_path;  // first file that needs it
  bool patch = false;
  std::string from_sha256;   // patch base
  std::string base_path;     // host path of the patch base (the file on disk)
  uint64_t stored_size = 0;  // bytes on the server
  uint64_t size = 0;         // bytes after decoding
  std::string url_path;      // below the channel URL
  std::string part_file;     // download into this file
  // Small objects come into memory and are decoded as soon as they arrive: a file less to
  // create per object; losing a partial one to a kill costs little.
  bool in_memory = false;
  int memory_result = -1;  // -1 not yet decoded, else what Session::DecodeDownload said
};

struct Plan {
  std::vector<PlannedInstall> installs;
  std::vector<std::string> deletes;  // channel-relative paths
  std::vector<PlannedDownload> downloads;
  // The files that will be installed afterwards: current ones with fresh disk details,
  // plus the ones kept from before (excluded by the profile).
  InstalledState next_state;
  uint64_t transfer_bytes = 0;  // still to fetch, net of partial downloads
  uint64_t install_bytes = 0;   // size of the files to install
  bool empty() const { return installs.empty() && deletes.empty(); }
};

// Hashes a file of the target, or reuses what the state knows when size and
// modification time are unchanged. False when the file is missing or unreadable.
bool CurrentContents(const ChannelState& channel, const InstalledState& state,
                     const std::string& path, InstalledFile* file);

// Paths that other channels sharing the target have installed (PathKey form).
std::set<std::string> PathsOfOtherChannels(const ChannelState& channel);

// check_held: hash contents held from an earlier session again before trusting them
// (strict channels); a held file that fails is deleted and fetched again.
void MakePlan(const ChannelState& channel, const InstalledState& state, const Manifest& manifest,
              const std::string& manifest_sha256, const Profile& profile, bool check_held,
              Plan* plan);

}  // namespace castanet
