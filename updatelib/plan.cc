// Planning an update.
#include "updatelib/plan.h"

#include <sys/stat.h>
#include <unistd.h>

#include <map>

#include "platform/short_names.h"
#include "updatelib/channel/crypto.h"
#include "updatelib/channel/pointer.h"

namespace castanet {
namespace {

constexpr uint64_t kInMemoryLimit = 1 << 20;

uint64_t FileSizeOr0(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

bool IsFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// A held file counts when it is there (and, if asked, still has its contents).
bool IsHeld(const std::string& path, const ManifestFile& file, bool check) {
  if (!IsFile(path)) return false;
  if (!check) return true;
  std::string sha256, error;
  uint64_t size = 0;
  if (HashFile(path, &sha256, &size, &error) && sha256 == file.sha256 && size == file.size) {
    return true;
  }
  unlink(path.c_str());
  return false;
}

// Other spellings of a channel path's file name in its directory: in the Windows view
// they name the same file, so installing the path replaces them. Listings are cached
// per directory for the plan.
class OtherSpellings {
 public:
  explicit OtherSpellings(const ChannelState& channel) : channel_(channel) {}

  std::vector<std::string> Of(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string directory = slash == std::string::npos ? "" : path.substr(0, slash);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    auto [listing, fresh] = listings_.try_emplace(directory);
    if (fresh) listing->second = List(directory);
    std::vector<std::string> others;
    auto [first, last] = listing->second.equal_range(PathKey(name));
    for (auto it = first; it != last; ++it) {
      if (it->second != name)
        others.push_back(directory.empty() ? it->second : directory + "/" + it->second);
    }
    return others;
  }

 private:
  std::multimap<std::string, std::string> List(const std::string& directory) {
    std::multimap<std::string, std::string> names;  // folded name -> name
    std::string host = directory.empty() ? channel_.target() : channel_.TargetPath(directory);
    std::vector<std::string> entries;
    platform::ReadDirectoryNames(host, &entries);
    for (const std::string& name : entries) {
      if (directory.empty() && name == ".castanet") continue;
      struct stat info;
      if (lstat((host + "/" + name).c_str(), &info) == 0 && !S_ISDIR(info.st_mode))
        names.emplace(PathKey(name), name);
    }
    return names;
  }

  const ChannelState& channel_;
  std::map<std::string, std::multimap<std::string, std::string>> listings_;
};

}  // namespace

bool CurrentContents(const ChannelState& channel, const InstalledState& state,
                     const std::string& path, InstalledFile* file) {
  std::string host = channel.TargetPath(path);
  struct stat info;
  if (lstat(host.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  file->size = info.st_size;
  file->mtime_ns = StatMtimeNs(info);
  auto known = state.files.find(PathKey(path));
  if (known != state.files.end() && known->second.second.mtime_ns != 0 &&
      known->second.second.mtime_ns == file->mtime_ns && known->second.second.size == file->size) {
    file->sha256 = known->second.second.sha256;
    return true;
  }
  std::string error;
  uint64_t size = 0;
  return HashFile(host, &file->sha256, &size, &error) && size == file->size;
}

std::set<std::string> PathsOfOtherChannels(const ChannelState& channel) {
  std::set<std::string> paths;
  std::string root = channel.target() + "/.castanet";
  std::vector<std::string> names;
  if (!platform::ReadDirectoryNames(root, &names)) return paths;
  std::string own = channel.directory().substr(root.size() + 1);
  for (const std::string& name : names) {
    if (name == own) continue;
    InstalledState state;
    std::string error;
    if (!ChannelState::ForKey(channel.target(), name).Load(&state, &error)) continue;
    for (const auto& [key, entry_value] : state.files) paths.insert(key);
  }
  return paths;
}

void MakePlan(const ChannelState& channel, const InstalledState& state, const Manifest& manifest,
              const std::string& manifest_sha256, const Profile& profile, bool check_held,
              Plan* plan) {
  *plan = Plan();
  plan->next_state.manifest_sha256 = manifest_sha256;
  plan->next_state.version = manifest.version;
  std::map<std::string, size_t> download_of_sha;
  std::set<std::string> in_manifest;
  OtherSpellings spellings(channel);
  for (const ManifestFile& file : manifest.files) {
    std::string key = PathKey(file.path);
    in_manifest.insert(key);
    if (!profile.Includes(file.path)) {
      auto old = state.files.find(key);
      if (old != state.files.end()) plan->next_state.files.insert(*old);
      continue;
    }
    InstalledFile current;
    bool present = CurrentContents(channel, state, file.path, &current);
    // A file renamed only in letter case ("a.txt" installed, "A.TXT" published) is one
    // file in the Windows view: the old spelling goes when the new one comes.
    std::vector<std::string> others = spellings.Of(file.path);
    plan->deletes.insert(plan->deletes.end(), others.begin(), others.end());
    if (present && current.sha256 == file.sha256) {
      plan->next_state.files[key] = {file.path, current};
      continue;
    }
    struct stat info;
    PlannedInstall install;
    install.file = file;
    install.replace = lstat(channel.TargetPath(file.path).c_str(), &info) == 0;
    plan->install_bytes += file.size;
    if (IsHeld(channel.HoldingPath(file.sha256), file, check_held)) {
      install.source = ContentSource::kHeld;
    } else if (download_of_sha.count(file.sha256)) {
      install.source = plan->downloads[download_of_sha[file.sha256]].patch ? ContentSource::kPatch
                                                                           : ContentSource::kObject;
    } else {
      PlannedDownload download;
      download.sha256 = file.sha256;
      download.display_path = file.path;
      download.size = file.size;
      const PatchInfo* patch = present ? manifest.FindPatch(current.sha256, file.sha256) : nullptr;
      if (patch && patch->size < file.stored_size) {
        download.patch = true;
        download.from_sha256 = current.sha256;
        download.base_path = channel.TargetPath(file.path);
        download.stored_size = patch->size;
        download.url_path = PatchPath(current.sha256, file.sha256);
        download.part_file = channel.HoldingPath(current.sha256 + "-" + file.sha256 + ".part");
        install.source = ContentSource::kPatch;
      } else {
        download.stored_size = file.stored_size;
        download.url_path = BlobPath(file.sha256);
        download.part_file = channel.HoldingPath(file.sha256 + ".part");
        download.in_memory = download.stored_size <= kInMemoryLimit && !IsFile(download.part_file);
        install.source = ContentSource::kObject;
      }
      uint64_t held = std::min(FileSizeOr0(download.part_file), download.stored_size);
      plan->transfer_bytes += download.stored_size - held;
      download_of_sha[file.sha256] = plan->downloads.size();
      plan->downloads.push_back(std::move(download));
    }
    plan->installs.push_back(std::move(install));
  }

  // Files the channel installed that the new version drops: delete them only when they
  // are still as the channel left them and no other channel claims them.
  std::set<std::string> others;
  bool others_loaded = false;
  for (const auto& [key, entry] : state.files) {
    if (in_manifest.count(key)) continue;
    if (!others_loaded) {
      others = PathsOfOtherChannels(channel);
      others_loaded = true;
    }
    if (others.count(key)) continue;
    InstalledFile current;
    if (!CurrentContents(channel, state, entry.first, &current)) continue;
    if (current.sha256 != entry.second.sha256) continue;  // changed by someone else: keep
    plan->deletes.push_back(entry.first);
  }
}

}  // namespace castanet
