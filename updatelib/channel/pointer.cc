// Writing and reading channel pointers, and the server layout of a channel.
#include "updatelib/channel/pointer.h"

#include "updatelib/channel/crypto.h"
#include "updatelib/channel/text_fields.h"

namespace castanet {

static constexpr std::string_view kPointerMagic = "castanet-pointer 1";

std::string ManifestPath(uint64_t version, std::string_view sha256) {
  return "manifests/" + std::to_string(version) + "-" + std::string(sha256);
}

std::string BlobPath(std::string_view sha256) {
  return "blobs/" + std::string(sha256.substr(0, 2)) + "/" + std::string(sha256);
}

std::string PatchPath(std::string_view from_sha256, std::string_view to_sha256) {
  return "patches/" + std::string(from_sha256) + "-" + std::string(to_sha256);
}

std::string KeySetPath(uint64_t version) { return "keys/" + std::to_string(version); }

std::string SerializePointer(const Pointer& pointer) {
  std::string keyset = pointer.keyset ? "keyset " + std::to_string(pointer.keyset) + "\n" : "";
  return std::string(kPointerMagic) + "\nchannel " + pointer.channel + "\nversion " +
         std::to_string(pointer.version) + "\nmanifest-sha256 " + pointer.manifest_sha256 +
         "\nmanifest-size " + std::to_string(pointer.manifest_size) + "\nexpires " +
         std::to_string(pointer.expires) + "\n" + keyset;
}

bool ParsePointer(std::string_view body, Pointer* pointer, std::string* error) {
  *pointer = Pointer();
  int line_number = 0;
  int seen = 0;
  bool ok = true;
  ForEachLine(body, [&](std::string_view line) {
    line_number++;
    if (line_number == 1) return ok = line == kPointerMagic;
    std::vector<std::string_view> words = SplitFields(line);
    if (words.empty()) return true;
    if (words.size() != 2) return true;  // reserved for later versions
    if (words[0] == "channel") {
      pointer->channel = std::string(words[1]);
      seen |= 1;
    } else if (words[0] == "version") {
      ok = ParseUint64(words[1], &pointer->version);
      seen |= 2;
    } else if (words[0] == "manifest-sha256") {
      ok = IsSha256Hex(words[1]);
      pointer->manifest_sha256 = std::string(words[1]);
      seen |= 4;
    } else if (words[0] == "manifest-size") {
      ok = ParseUint64(words[1], &pointer->manifest_size);
      seen |= 8;
    } else if (words[0] == "expires") {
      ok = ParseUint64(words[1], &pointer->expires);
      seen |= 16;
    } else if (words[0] == "keyset") {
      ok = ParseUint64(words[1], &pointer->keyset);
    }
    return ok;
  });
  if (!ok || seen != 31) {
    *error = "malformed channel pointer";
    return false;
  }
  return true;
}

}  // namespace castanet
