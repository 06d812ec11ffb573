// The channel pointer: the one mutable file of a channel, naming its current manifest.
//
//   castanet-pointer 1
//   channel <name>
//   version <n>
//   manifest-sha256 <sha256 of the signed manifest file>
//   manifest-size <bytes>
//   expires <unix seconds>           a client refuses the pointer after this time
//   keyset <n>                       optional: the key set that signs it (key_set.h)
//   signature <public key> <signature>
//
// The pointer is re-signed with a later expiry from time to time, so that a server that
// keeps serving an old channel (a freeze) is noticed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace castanet {

struct Pointer {
  std::string channel;
  uint64_t version = 0;
  std::string manifest_sha256;
  uint64_t manifest_size = 0;
  uint64_t expires = 0;
  uint64_t keyset = 0;  // 0: the keys the library was given
};

std::string SerializePointer(const Pointer& pointer);
bool ParsePointer(std::string_view body, Pointer* pointer, std::string* error);

// Where things live below a channel's URL.
inline constexpr std::string_view kPointerPath = "pointer";
std::string ManifestPath(uint64_t version, std::string_view sha256);
std::string BlobPath(std::string_view sha256);
std::string PatchPath(std::string_view from_sha256, std::string_view to_sha256);
std::string KeySetPath(uint64_t version);

}  // namespace castanet
