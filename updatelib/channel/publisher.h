// The channel writer: publishes a directory tree as a channel (content-addressed objects,
// patches from earlier versions, a signed manifest and, written last, the signed
// pointer) and the key sets that replace a channel's signing keys.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "updatelib/channel/crypto.h"

namespace zomapublish {

struct PublishOptions {
  std::string document_root;  // the HTTP server's document root
  std::string channel;        // e.g. "Zoma/Programs"; also the directory below the root
  std::string source;         // the tree to publish
  std::vector<castanet::SigningKey> keys;  // none: an unsigned channel
  uint64_t version = 0;                    // 0: one more than the current version
  uint64_t expires_seconds = 30 * 86400;   // pointer lifetime
  int level = 9;                           // zstd level of objects
  int patch_level = 3;                     // zstd level of patches (3 measured best)
  int patch_history = 3;                   // patches from this many earlier versions
  uint64_t now = 0;                        // 0: the current time
};

struct PublishReport {
  uint64_t version = 0;
  size_t files = 0;
  size_t new_objects = 0;
  size_t patches = 0;
  uint64_t bytes_stored = 0;  // compressed bytes written
};

bool Publish(const PublishOptions& options, PublishReport* report, std::string* error);

// Signs the current pointer again with a new expiry, without a new version.
bool RefreshPointer(const PublishOptions& options, std::string* error);

// Publishes the next key set of the channel ("keys/<n>"): `new_keys` with `threshold`,
// signed by options.keys (the current signers) and by the new keys. Documents published
// after it name it in their pointer; sign them with the new keys.
bool PublishKeySet(const PublishOptions& options, const std::vector<castanet::SigningKey>& new_keys,
                   int threshold, uint64_t* version, std::string* error);

// Key files: "<name>.key" holds the private seed in hex (mode 0600); "<name>.pub" holds
// the public key line that installations put in their trusted key file.
bool WriteKeyPair(const std::string& base, std::string* error);
bool ReadPrivateKey(const std::string& path, castanet::SigningKey* key, std::string* error);

}  // namespace zomapublish
