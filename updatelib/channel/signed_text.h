// Signed text documents (manifests and pointers): a body of lines followed by one line
//   signature <public key hex> <signature hex>
// per signing key. The signature covers the body bytes exactly. A reader trusts a
// document when at least `threshold` distinct trusted keys signed it.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "updatelib/channel/crypto.h"

namespace castanet {

struct TrustedKeys {
  std::set<std::string> public_keys;  // raw 32-byte keys
  int threshold = 1;
  bool empty() const { return public_keys.empty(); }
};

// Parses a key file: "# comment" lines, "threshold N", and one public key (64 hex digits,
// optionally followed by a name) per line.
bool ParseTrustedKeys(std::string_view text, TrustedKeys* keys, std::string* error);

// Appends one signature line per key to the body.
bool SignText(std::string_view body, const std::vector<SigningKey>& keys, std::string* signed_text,
              std::string* error);

// Separates the body from the signature lines. False when the layout is malformed.
struct Signature {
  std::string public_key;  // raw
  std::string signature;   // raw
};
bool SplitSignedText(std::string_view text, std::string_view* body,
                     std::vector<Signature>* signatures, std::string* error);

// Checks the signatures against the trusted keys. With no trusted keys every document is
// refused: a missing trust root never means "accept anything".
bool VerifySignedText(std::string_view text, const TrustedKeys& keys, std::string_view* body,
                      std::string* error);

// The text form of a public key in key files: 64 hex digits.
std::string PublicKeyLine(const SigningKey& key, std::string_view name);

}  // namespace castanet
