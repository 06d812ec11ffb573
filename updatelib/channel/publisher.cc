// The publisher. The order of writes keeps a channel consistent for clients at every
// moment: objects and patches first, then the manifest, and the pointer last (one atomic
// rename), so a client never sees a pointer to something that is not there yet.
#include "updatelib/channel/publisher.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <map>

#include "updatelib/channel/file_io.h"
#include "updatelib/channel/key_set.h"
#include "updatelib/channel/manifest.h"
#include "updatelib/channel/pointer.h"
#include "updatelib/channel/signed_text.h"
#include "updatelib/channel/text_fields.h"
#include "updatelib/channel/zstd_codec.h"

namespace zomapublish {
namespace {

using castanet::Manifest;
using castanet::ManifestFile;

struct SourceFile {
  std::string path;  // channel-relative
  std::string host_path;
  bool executable = false;
};

bool ListTree(const std::string& root, const std::string& relative, std::vector<SourceFile>* files,
              std::string* error) {
  std::string directory = relative.empty() ? root : root + "/" + relative;
  DIR* dir = opendir(directory.c_str());
  if (!dir) {
    *error = directory + ": " + castanet::ErrnoText(errno);
    return false;
  }
  std::vector<std::string> names;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    std::string child = relative.empty() ? name : relative + "/" + name;
    std::string host = root + "/" + child;
    struct stat info;
    if (stat(host.c_str(), &info) != 0) {
      *error = host + ": " + castanet::ErrnoText(errno);
      return false;
    }
    if (S_ISDIR(info.st_mode)) {
      if (!ListTree(root, child, files, error)) return false;
    } else if (S_ISREG(info.st_mode)) {
      if (!castanet::IsSafeChannelPath(child)) {
        *error = child + ": name cannot be published";
        return false;
      }
      files->push_back({child, host, (info.st_mode & S_IXUSR) != 0});
    }
  }
  return true;
}

bool FileExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

uint64_t FileSize(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

// Reads a signed document of the channel without checking signatures: the publisher
// trusts its own document root.
bool ReadBody(const std::string& path, std::string* body, std::string* error) {
  std::string text;
  if (!castanet::ReadWholeFile(path, &text, error)) return false;
  std::string_view view;
  std::vector<castanet::Signature> signatures;
  if (!castanet::SplitSignedText(text, &view, &signatures, error)) return false;
  *body = std::string(view);
  return true;
}

bool ReadCurrent(const std::string& channel_dir, castanet::Pointer* pointer, Manifest* manifest,
                 std::string* error) {
  std::string body;
  if (!ReadBody(channel_dir + "/pointer", &body, error) ||
      !castanet::ParsePointer(body, pointer, error) ||
      !ReadBody(
          channel_dir + "/" + castanet::ManifestPath(pointer->version, pointer->manifest_sha256),
          &body, error)) {
    return false;
  }
  return castanet::ParseManifest(body, manifest, error);
}

// Earlier manifests of the channel, newest first, at most `count`.
std::vector<Manifest> EarlierManifests(const std::string& channel_dir, uint64_t below, int count) {
  std::vector<std::pair<uint64_t, std::string>> found;
  if (DIR* dir = opendir((channel_dir + "/manifests").c_str())) {
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      size_t dash = name.find('-');
      uint64_t version = 0;
      if (dash != std::string::npos && castanet::ParseUint64(name.substr(0, dash), &version) &&
          version < below && name.find(".tmp") == std::string::npos) {
        found.push_back({version, name});
      }
    }
    closedir(dir);
  }
  std::sort(found.rbegin(), found.rend());
  std::vector<Manifest> manifests;
  for (const auto& [version, name] : found) {
    if (static_cast<int>(manifests.size()) >= count) break;
    std::string body, error;
    Manifest manifest;
    if (ReadBody(channel_dir + "/manifests/" + name, &body, &error) &&
        castanet::ParseManifest(body, &manifest, &error)) {
      manifests.push_back(std::move(manifest));
    }
  }
  return manifests;
}

bool StoreObject(const std::string& channel_dir, const SourceFile& source, int level,
                 ManifestFile* file, PublishReport* report, std::string* error) {
  std::string blob = channel_dir + "/" + castanet::BlobPath(file->sha256);
  if (FileExists(blob)) {
    file->stored_size = FileSize(blob);
    return true;
  }
  if (!castanet::MakeDirectories(castanet::ParentPath(blob), error)) return false;
  std::string temporary = blob + ".tmp";
  castanet::CodecStatus status =
      castanet::CompressFile(source.host_path, temporary, level, &file->stored_size);
  if (!status.ok() || rename(temporary.c_str(), blob.c_str()) != 0) {
    *error = source.path + ": " + (status.ok() ? castanet::ErrnoText(errno) : status.message);
    unlink(temporary.c_str());
    return false;
  }
  report->new_objects++;
  report->bytes_stored += file->stored_size;
  return true;
}

// Makes the patch old -> new when it is smaller than the object; records it in manifest.
bool StorePatch(const std::string& channel_dir, const std::string& scratch,
                const ManifestFile& old_file, const SourceFile& source, const ManifestFile& file,
                int level, Manifest* manifest, PublishReport* report, std::string* error) {
  if (manifest->FindPatch(old_file.sha256, file.sha256)) return true;
  std::string patch_path = channel_dir + "/" + castanet::PatchPath(old_file.sha256, file.sha256);
  if (FileExists(patch_path)) {
    uint64_t size = FileSize(patch_path);
    if (size < file.stored_size) manifest->patches.push_back({old_file.sha256, file.sha256, size});
    return true;
  }
  std::string old_contents = scratch + "/old";
  castanet::CodecStatus status =
      castanet::DecompressObject(channel_dir + "/" + castanet::BlobPath(old_file.sha256),
                                 old_contents, old_file.size, old_file.sha256);
  if (!status.ok()) return true;  // the old object is gone: no patch, the object serves
  std::string patch;
  status = castanet::MakePatch(old_contents, source.host_path, level, &patch);
  unlink(old_contents.c_str());
  if (!status.ok() || patch.size() >= file.stored_size) return true;
  if (!castanet::MakeDirectories(castanet::ParentPath(patch_path), error) ||
      !castanet::WriteFileAtomically(patch_path, patch, error)) {
    return false;
  }
  manifest->patches.push_back({old_file.sha256, file.sha256, patch.size()});
  report->patches++;
  report->bytes_stored += patch.size();
  return true;
}

// HTTP servers derive the pointer's validator (ETag, Last-Modified) from its size and its
// modification time in whole seconds. Two pointers of equal size written in the same
// second would look unchanged to a client's conditional request, so each new pointer is
// given a modification time at least one second past the previous one.
bool WritePointer(const std::string& channel_dir, const castanet::Pointer& pointer,
                  const std::vector<castanet::SigningKey>& keys, std::string* error) {
  std::string path = channel_dir + "/pointer", text;
  struct stat before;
  bool had_pointer = stat(path.c_str(), &before) == 0;
  if (!castanet::SignText(castanet::SerializePointer(pointer), keys, &text, error) ||
      !castanet::WriteFileAtomically(path, text, error)) {
    return false;
  }
  struct stat after;
  if (had_pointer && stat(path.c_str(), &after) == 0 &&
      after.st_mtim.tv_sec <= before.st_mtim.tv_sec) {
    struct timespec times[2] = {{before.st_mtim.tv_sec + 1, 0}, {before.st_mtim.tv_sec + 1, 0}};
    utimensat(AT_FDCWD, path.c_str(), times, 0);
  }
  return true;
}

// The newest key set published for the channel (0: none), which signs its documents.
uint64_t CurrentKeySet(const std::string& channel_dir) {
  uint64_t newest = 0;
  for (uint64_t version = 1;; ++version) {
    if (!FileExists(channel_dir + "/" + castanet::KeySetPath(version))) return newest;
    newest = version;
  }
}

uint64_t Now(const PublishOptions& options) {
  return options.now ? options.now : static_cast<uint64_t>(time(nullptr));
}

}  // namespace

bool Publish(const PublishOptions& options, PublishReport* report, std::string* error) {
  *report = PublishReport();
  if (options.channel.empty() || !castanet::IsSafeChannelPath(options.channel)) {
    *error = "bad channel name: " + options.channel;
    return false;
  }
  std::string channel_dir = options.document_root + "/" + options.channel;
  castanet::Pointer current;
  Manifest current_manifest;
  std::string ignored;
  bool have_current = ReadCurrent(channel_dir, &current, &current_manifest, &ignored);
  if (!have_current && FileExists(channel_dir + "/pointer")) {
    *error = "the channel's current pointer cannot be read: " + ignored;
    return false;
  }
  uint64_t version = options.version ? options.version : current.version + 1;
  if (have_current && version <= current.version) {
    *error = "version " + std::to_string(version) + " is not above the current version " +
             std::to_string(current.version);
    return false;
  }

  std::vector<SourceFile> sources;
  if (!ListTree(options.source, "", &sources, error)) return false;
  std::string scratch = channel_dir + "/.publish-tmp";
  if (!castanet::MakeDirectories(scratch, error)) return false;

  Manifest manifest;
  manifest.channel = options.channel;
  manifest.version = version;
  manifest.created = Now(options);
  std::vector<Manifest> earlier = EarlierManifests(channel_dir, version, options.patch_history);
  for (const SourceFile& source : sources) {
    ManifestFile file;
    file.path = source.path;
    file.flags = source.executable ? castanet::kFileExecutable : 0;
    if (!castanet::HashFile(source.host_path, &file.sha256, &file.size, error) ||
        !StoreObject(channel_dir, source, options.level, &file, report, error)) {
      return false;
    }
    for (const Manifest& old : earlier) {
      std::string key = castanet::PathKey(file.path);
      for (const ManifestFile& old_file : old.files) {
        if (castanet::PathKey(old_file.path) == key && old_file.sha256 != file.sha256 &&
            !StorePatch(channel_dir, scratch, old_file, source, file, options.patch_level,
                        &manifest, report, error)) {
          return false;
        }
      }
    }
    manifest.files.push_back(std::move(file));
  }
  rmdir(scratch.c_str());

  std::string manifest_text;
  if (!castanet::SignText(castanet::SerializeManifest(manifest), options.keys, &manifest_text,
                          error)) {
    return false;
  }
  castanet::Pointer pointer;
  pointer.channel = options.channel;
  pointer.version = version;
  pointer.manifest_sha256 = castanet::Sha256Hex(manifest_text);
  pointer.manifest_size = manifest_text.size();
  pointer.expires = Now(options) + options.expires_seconds;
  pointer.keyset = CurrentKeySet(channel_dir);
  std::string manifest_path =
      channel_dir + "/" + castanet::ManifestPath(version, pointer.manifest_sha256);
  if (!castanet::MakeDirectories(castanet::ParentPath(manifest_path), error) ||
      !castanet::WriteFileAtomically(manifest_path, manifest_text, error) ||
      !WritePointer(channel_dir, pointer, options.keys, error)) {
    return false;
  }
  report->version = version;
  report->files = manifest.files.size();
  return true;
}

bool RefreshPointer(const PublishOptions& options, std::string* error) {
  std::string channel_dir = options.document_root + "/" + options.channel;
  castanet::Pointer pointer;
  Manifest manifest;
  if (!ReadCurrent(channel_dir, &pointer, &manifest, error)) return false;
  pointer.expires = Now(options) + options.expires_seconds;
  pointer.keyset = CurrentKeySet(channel_dir);
  return WritePointer(channel_dir, pointer, options.keys, error);
}

bool PublishKeySet(const PublishOptions& options, const std::vector<castanet::SigningKey>& new_keys,
                   int threshold, uint64_t* version, std::string* error) {
  if (options.channel.empty() || !castanet::IsSafeChannelPath(options.channel)) {
    *error = "bad channel name: " + options.channel;
    return false;
  }
  if (new_keys.empty() || threshold < 1 || static_cast<size_t>(threshold) > new_keys.size()) {
    *error = "a key set needs at least as many keys as its threshold";
    return false;
  }
  std::string channel_dir = options.document_root + "/" + options.channel;
  castanet::KeySet set;
  set.channel = options.channel;
  set.version = CurrentKeySet(channel_dir) + 1;
  set.keys.threshold = threshold;
  for (const castanet::SigningKey& key : new_keys) set.keys.public_keys.insert(key.public_key);
  // Signed by the keys clients trust now and by the new ones, which proves both are held.
  std::vector<castanet::SigningKey> signers = options.keys;
  signers.insert(signers.end(), new_keys.begin(), new_keys.end());
  std::string text;
  std::string path = channel_dir + "/" + castanet::KeySetPath(set.version);
  if (!castanet::SignText(castanet::SerializeKeySet(set), signers, &text, error) ||
      !castanet::MakeDirectories(castanet::ParentPath(path), error) ||
      !castanet::WriteFileAtomically(path, text, error))
    return false;
  *version = set.version;
  return true;
}

bool WriteKeyPair(const std::string& base, std::string* error) {
  castanet::SigningKey key;
  if (!castanet::GenerateSigningKey(&key, error)) return false;
  std::string key_path = base + ".key";
  int fd = open(key_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error = key_path + ": " + castanet::ErrnoText(errno);
    return false;
  }
  std::string text = castanet::ToHex(key.seed) + "\n";
  bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  if (!ok) {
    *error = key_path + ": write failed";
    return false;
  }
  size_t slash = base.rfind('/');
  std::string name = slash == std::string::npos ? base : base.substr(slash + 1);
  return castanet::WriteFileAtomically(base + ".pub", castanet::PublicKeyLine(key, name), error);
}

bool ReadPrivateKey(const std::string& path, castanet::SigningKey* key, std::string* error) {
  std::string text, seed;
  if (!castanet::ReadWholeFile(path, &text, error, 4096)) return false;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  if (text.size() != 64 || !castanet::FromHex(text, &seed)) {
    *error = path + ": not a private key file";
    return false;
  }
  return castanet::SigningKeyFromSeed(seed, key, error);
}

}  // namespace zomapublish
