// Reading and writing patch files. The reader treats the file as hostile: it checks
// the digest first, then walks the entries with every length bounded by what is left.
#include "patchlib/patch_file.h"

#include <openssl/evp.h>

#include <cstring>
#include <set>

#include "platform/ascii.h"

namespace patchlib {
namespace {

constexpr std::size_t kHeaderSize = 16;
constexpr std::size_t kDigestSize = 32;
// Fixed part of an entry: action, flags, name length, two sizes and digests, data length.
constexpr std::size_t kEntryFixedSize = 1 + 1 + 2 + 8 + 32 + 8 + 32 + 8;
constexpr std::size_t kMaxNameLength = 259;

class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  std::size_t left() const { return bytes_.size() - pos_; }
  std::uint64_t Uint(int width) {
    std::uint64_t value = 0;
    for (int i = 0; i < width; ++i)
      value |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes_[pos_ + i])) << (8 * i);
    pos_ += width;
    return value;
  }
  std::string_view Bytes(std::size_t n) {
    std::string_view piece = bytes_.substr(pos_, n);
    pos_ += n;
    return piece;
  }
  void ReadDigest(Digest* digest) { std::memcpy(digest->data(), Bytes(kDigestSize).data(), 32); }

 private:
  std::string_view bytes_;
  std::size_t pos_ = 0;
};

void PutUint(std::string& out, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void PutDigest(std::string& out, const Digest& digest) {
  out.append(reinterpret_cast<const char*>(digest.data()), digest.size());
}

bool Fail(std::string* error, std::string text) {
  *error = std::move(text);
  return false;
}

}  // namespace

Digest Sha256(std::string_view data) {
  Digest digest{};
  unsigned int length = 0;
  EVP_Digest(data.data(), data.size(), digest.data(), &length, EVP_sha256(), nullptr);
  return digest;
}

std::string DigestHex(const Digest& digest) {
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (unsigned char byte : digest) {
    text.push_back(kHex[byte >> 4]);
    text.push_back(kHex[byte & 15]);
  }
  return text;
}

bool IsSafeEntryName(std::string_view name) {
  if (name.empty() || name.size() > kMaxNameLength) return false;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find('\\', start);
    if (end == std::string_view::npos) end = name.size();
    std::string_view component = name.substr(start, end - start);
    if (component.empty() || component == "." || component == "..") return false;
    // Trailing dots and blanks vanish from Windows names, so "..." would climb too.
    if (component.back() == '.' || component.back() == ' ') return false;
    for (char c : component) {
      if (static_cast<unsigned char>(c) < 32 || std::strchr("<>:\"/|?*", c) != nullptr)
        return false;
    }
    start = end + 1;
  }
  return true;
}

bool ParsePatch(std::string_view bytes, Patch* patch, std::string* error) {
  patch->entries.clear();
  if (bytes.size() < kHeaderSize + kDigestSize || bytes.substr(0, 8) != kPatchMagic)
    return Fail(error, "not a patch file");
  std::string_view body = bytes.substr(0, bytes.size() - kDigestSize);
  Digest stored{};
  std::memcpy(stored.data(), bytes.data() + body.size(), kDigestSize);
  if (Sha256(body) != stored) return Fail(error, "the patch file is damaged");

  Reader reader(body);
  reader.Bytes(8);
  if (reader.Uint(4) != kPatchFormat) return Fail(error, "unknown patch format");
  const std::uint64_t count = reader.Uint(4);
  if (count > reader.left() / kEntryFixedSize) return Fail(error, "entry count out of range");
  std::set<std::string> names;
  for (std::uint64_t i = 0; i < count; ++i) {
    if (reader.left() < kEntryFixedSize) return Fail(error, "entry cut short");
    Entry entry;
    const std::uint64_t action = reader.Uint(1);
    const std::uint64_t flags = reader.Uint(1);
    const std::uint64_t name_length = reader.Uint(2);
    if (action < 1 || action > 3 || flags > 1) return Fail(error, "unknown entry kind");
    entry.action = static_cast<Action>(action);
    entry.has_source = flags & 1;
    if (name_length > reader.left()) return Fail(error, "entry name cut short");
    entry.name = std::string(reader.Bytes(name_length));
    if (!IsSafeEntryName(entry.name)) return Fail(error, "entry name not allowed");
    if (reader.left() < kEntryFixedSize - 4) return Fail(error, "entry cut short");
    entry.source_size = reader.Uint(8);
    reader.ReadDigest(&entry.source_sha256);
    entry.result_size = reader.Uint(8);
    reader.ReadDigest(&entry.result_sha256);
    const std::uint64_t data_length = reader.Uint(8);
    if (data_length > reader.left()) return Fail(error, "entry data cut short");
    entry.data = reader.Bytes(data_length);
    if (entry.source_size > kMaxFileSize || entry.result_size > kMaxFileSize)
      return Fail(error, "file too large");
    // A delta needs the version it applies to, a delete says which version it removes.
    if ((entry.action != Action::kWhole && !entry.has_source) ||
        (entry.action == Action::kDelete && (entry.result_size != 0 || !entry.data.empty())))
      return Fail(error, "entry is inconsistent");
    if (!names.insert(platform::ToUpperAscii(entry.name)).second)
      return Fail(error, "a file is named twice");
    patch->entries.push_back(std::move(entry));
  }
  if (reader.left() != 0) return Fail(error, "data after the last entry");
  return true;
}

std::string SerializePatch(const Patch& patch) {
  std::string out(kPatchMagic, 8);
  PutUint(out, kPatchFormat, 4);
  PutUint(out, patch.entries.size(), 4);
  for (const Entry& entry : patch.entries) {
    PutUint(out, static_cast<std::uint8_t>(entry.action), 1);
    PutUint(out, entry.has_source ? 1 : 0, 1);
    PutUint(out, entry.name.size(), 2);
    out += entry.name;
    PutUint(out, entry.source_size, 8);
    PutDigest(out, entry.source_sha256);
    PutUint(out, entry.result_size, 8);
    PutDigest(out, entry.result_sha256);
    PutUint(out, entry.data.size(), 8);
    out += entry.data;
  }
  PutDigest(out, Sha256(out));
  return out;
}

}  // namespace patchlib
