// A channel's key set: the keys its documents must be signed with, and how a publisher
// replaces them without a new library. Version n of the set lives at "keys/<n>" below
// the channel and names the channel:
//
//   castanet-keys 1
//   channel <name>
//   version <n>
//   threshold <k>
//   key <public key hex> [name]          one line per key
//   signature <public key> <signature>
//
// Version n is accepted only when enough keys of version n-1 (the library's own keys for
// n = 1) signed it, and enough of its own keys did too, so that neither a thief of one
// retired key nor a typo in a new set can take a channel over. Once a set is accepted
// the keys before it stop counting; versions never go back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "updatelib/channel/signed_text.h"

namespace castanet {

struct KeySet {
  std::string channel;
  uint64_t version = 0;
  TrustedKeys keys;
};

std::string SerializeKeySet(const KeySet& set);
bool ParseKeySet(std::string_view body, KeySet* set, std::string* error);

// Checks the signed document of a key set meant to follow `current` for `channel` as
// `version`. On success *accepted holds it.
bool AcceptKeySet(std::string_view text, const TrustedKeys& current, std::string_view channel,
                  uint64_t version, KeySet* accepted, std::string* error);

}  // namespace castanet
