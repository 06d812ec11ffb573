// SHA-256 digests and Ed25519 signatures (OpenSSL EVP), with their hex text forms.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace castanet {

// Lower-case hex of bytes; and back (false on odd length or a non-hex character).
std::string ToHex(std::string_view bytes);
bool FromHex(std::string_view hex, std::string* bytes);
// True for 64 lower-case hex digits: the form every digest takes in channel files.
bool IsSha256Hex(std::string_view text);

// Incremental SHA-256.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;
  void Update(const void* data, size_t size);
  std::string HexDigest();  // finishes the digest

 private:
  struct State;
  std::unique_ptr<State> state_;
};

std::string Sha256Hex(std::string_view data);

// Hashes a file; false with *error when it cannot be read. *size receives its length.
bool HashFile(const std::string& path, std::string* sha256_hex, uint64_t* size, std::string* error);

// An Ed25519 key pair; the private key is kept as its 32-byte seed.
struct SigningKey {
  std::string seed;        // 32 bytes
  std::string public_key;  // 32 bytes
};

bool GenerateSigningKey(SigningKey* key, std::string* error);
bool SigningKeyFromSeed(std::string_view seed, SigningKey* key, std::string* error);
bool Sign(const SigningKey& key, std::string_view message, std::string* signature,
          std::string* error);
bool VerifySignature(std::string_view public_key, std::string_view message,
                     std::string_view signature);

}  // namespace castanet
