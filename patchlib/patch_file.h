// The patch file that patchw32.dll applies and zomapatch writes. One patch carries any
// number of files; each entry names the version it applies to and the version it makes
// by size and SHA-256, so that nothing is changed unless both are exactly right.
//
// Layout (integers little-endian):
//   "ZOMAPTCH"                   magic, 8 bytes
//   u32 format                   1
//   u32 entry count
//   entry...                     see below
//   32 bytes                     SHA-256 of every byte before it
// An entry:
//   u8  action                   1 delta (zstd patch-from over the source version),
//                                2 whole contents (one zstd frame), 3 delete
//   u8  flags                    bit 0: a source version is named (the target must
//                                exist with that size and digest)
//   u16 name length, name        relative Windows path, "\"-separated, 1-259 bytes
//   u64 source size, 32 bytes source SHA-256     (zero without a source)
//   u64 result size, 32 bytes result SHA-256     (zero for a delete)
//   u64 data length, data
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace patchlib {

inline constexpr char kPatchMagic[] = "ZOMAPTCH";
inline constexpr std::uint32_t kPatchFormat = 1;
// Results reach back over the whole source version; zstd windows stop at 2 GiB.
inline constexpr std::uint64_t kMaxFileSize = UINT64_C(1) << 31;

enum class Action : std::uint8_t { kDelta = 1, kWhole = 2, kDelete = 3 };

using Digest = std::array<unsigned char, 32>;

struct Entry {
  Action action = Action::kWhole;
  bool has_source = false;
  std::string name;
  std::uint64_t source_size = 0;
  Digest source_sha256{};
  std::uint64_t result_size = 0;
  Digest result_sha256{};
  std::string_view data;  // into the patch text
};

struct Patch {
  std::vector<Entry> entries;
};

/// Parses a whole patch file held in memory. Nothing in it is trusted: every length,
/// count and name is checked, and the trailing digest must match. False with a reason.
bool ParsePatch(std::string_view bytes, Patch* patch, std::string* error);

/// Writes a patch (entries' data included) with its trailing digest.
std::string SerializePatch(const Patch& patch);

/// A name an entry may carry: relative, no drive, no empty, "." or ".." component,
/// no "/" and no character a Windows name cannot hold.
bool IsSafeEntryName(std::string_view name);

Digest Sha256(std::string_view data);
std::string DigestHex(const Digest& digest);

}  // namespace patchlib
