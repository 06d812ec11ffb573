// The channel manifest: the immutable, signed list of a version's files.
//
//   castanet-manifest 1
//   channel <name>
//   version <n>                        increases with every publication
//   created <unix seconds>
//   file <size> <sha256> <stored size> <flags> <path>     one per file, path last
//   patch <from sha256> <to sha256> <size>                one per available patch
//   signature <public key> <signature>                    one per signing key
//
// <stored size> is the length of the zstd-compressed object on the server. Paths are
// channel-relative, '/'-separated, and compare without regard to case (the installation
// is a Windows directory).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace castanet {

inline constexpr uint32_t kFileExecutable = 0x1;

struct ManifestFile {
  std::string path;
  uint64_t size = 0;
  std::string sha256;
  uint64_t stored_size = 0;
  uint32_t flags = 0;
};

struct PatchInfo {
  std::string from_sha256;
  std::string to_sha256;
  uint64_t size = 0;
};

struct Manifest {
  std::string channel;
  uint64_t version = 0;
  uint64_t created = 0;
  std::vector<ManifestFile> files;  // sorted by path
  std::vector<PatchInfo> patches;

  // The patch from one content to another, or nullptr.
  const PatchInfo* FindPatch(std::string_view from, std::string_view to) const;
};

// The manifest body (without signatures).
std::string SerializeManifest(const Manifest& manifest);
// Parses a body; checks every path and refuses duplicates (case ignored) and a file that
// is also used as a directory.
bool ParseManifest(std::string_view body, Manifest* manifest, std::string* error);

// True for a path a channel may install: relative, no "." or ".." components, no
// backslash, colon or control character, not inside ".castanet", at most 259 characters.
bool IsSafeChannelPath(std::string_view path);

// The key under which paths compare: ASCII lower case.
std::string PathKey(std::string_view path);

}  // namespace castanet
