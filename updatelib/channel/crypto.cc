// SHA-256 and Ed25519 through OpenSSL's EVP interface.
#include "updatelib/channel/crypto.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>

#include "updatelib/channel/file_io.h"

namespace castanet {

std::string ToHex(std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    hex += kDigits[c >> 4];
    hex += kDigits[c & 15];
  }
  return hex;
}

static int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool FromHex(std::string_view hex, std::string* bytes) {
  if (hex.size() % 2 != 0) return false;
  bytes->clear();
  for (size_t i = 0; i < hex.size(); i += 2) {
    int high = HexValue(hex[i]), low = HexValue(hex[i + 1]);
    if (high < 0 || low < 0) return false;
    *bytes += static_cast<char>(high * 16 + low);
  }
  return true;
}

bool IsSha256Hex(std::string_view text) {
  if (text.size() != 64) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

struct Sha256::State {
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  ~State() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256() : state_(new State) { EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr); }
Sha256::~Sha256() = default;

void Sha256::Update(const void* data, size_t size) {
  EVP_DigestUpdate(state_->context, data, size);
}

std::string Sha256::HexDigest() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(state_->context, digest, &length);
  return ToHex(std::string_view(reinterpret_cast<char*>(digest), length));
}

std::string Sha256Hex(std::string_view data) {
  Sha256 hash;
  hash.Update(data.data(), data.size());
  return hash.HexDigest();
}

bool HashFile(const std::string& path, std::string* sha256_hex, uint64_t* size,
              std::string* error) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = path + ": " + ErrnoText(errno);
    return false;
  }
  Sha256 hash;
  uint64_t total = 0;
  std::string buffer(1 << 20, '\0');
  for (;;) {
    ssize_t n = read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = path + ": " + ErrnoText(errno);
      close(fd);
      return false;
    }
    if (n == 0) break;
    hash.Update(buffer.data(), n);
    total += n;
  }
  close(fd);
  *sha256_hex = hash.HexDigest();
  if (size) *size = total;
  return true;
}

bool SigningKeyFromSeed(std::string_view seed, SigningKey* key, std::string* error) {
  EVP_PKEY* pkey = EVP_PKEY_new_raw_private_key(
      EVP_PKEY_ED25519, nullptr, reinterpret_cast<const unsigned char*>(seed.data()), seed.size());
  if (!pkey) {
    *error = "not an Ed25519 private key";
    return false;
  }
  unsigned char public_key[32];
  size_t length = sizeof public_key;
  bool ok = EVP_PKEY_get_raw_public_key(pkey, public_key, &length) == 1 && length == 32;
  EVP_PKEY_free(pkey);
  if (!ok) {
    *error = "cannot derive the public key";
    return false;
  }
  key->seed = std::string(seed);
  key->public_key.assign(reinterpret_cast<char*>(public_key), 32);
  return true;
}

bool GenerateSigningKey(SigningKey* key, std::string* error) {
  EVP_PKEY* pkey = nullptr;
  EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr);
  bool ok = context && EVP_PKEY_keygen_init(context) == 1 && EVP_PKEY_keygen(context, &pkey) == 1;
  EVP_PKEY_CTX_free(context);
  unsigned char seed[32];
  size_t length = sizeof seed;
  ok = ok && EVP_PKEY_get_raw_private_key(pkey, seed, &length) == 1 && length == 32;
  EVP_PKEY_free(pkey);
  if (!ok) {
    *error = "key generation failed";
    return false;
  }
  return SigningKeyFromSeed(std::string_view(reinterpret_cast<char*>(seed), 32), key, error);
}

bool Sign(const SigningKey& key, std::string_view message, std::string* signature,
          std::string* error) {
  EVP_PKEY* pkey = EVP_PKEY_new_raw_private_key(
      EVP_PKEY_ED25519, nullptr, reinterpret_cast<const unsigned char*>(key.seed.data()),
      key.seed.size());
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  unsigned char output[64];
  size_t length = sizeof output;
  bool ok =
      pkey && context && EVP_DigestSignInit(context, nullptr, nullptr, nullptr, pkey) == 1 &&
      EVP_DigestSign(context, output, &length,
                     reinterpret_cast<const unsigned char*>(message.data()), message.size()) == 1;
  EVP_MD_CTX_free(context);
  EVP_PKEY_free(pkey);
  if (!ok) {
    *error = "signing failed";
    return false;
  }
  signature->assign(reinterpret_cast<char*>(output), length);
  return true;
}

bool VerifySignature(std::string_view public_key, std::string_view message,
                     std::string_view signature) {
  if (public_key.size() != 32 || signature.size() != 64) return false;
  EVP_PKEY* pkey = EVP_PKEY_new_raw_public_key(
      EVP_PKEY_ED25519, nullptr, reinterpret_cast<const unsigned char*>(public_key.data()), 32);
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  bool ok =
      pkey && context && EVP_DigestVerifyInit(context, nullptr, nullptr, nullptr, pkey) == 1 &&
      EVP_DigestVerify(context, reinterpret_cast<const unsigned char*>(signature.data()),
                       signature.size(), reinterpret_cast<const unsigned char*>(message.data()),
                       message.size()) == 1;
  EVP_MD_CTX_free(context);
  EVP_PKEY_free(pkey);
  return ok;
}

}  // namespace castanet
