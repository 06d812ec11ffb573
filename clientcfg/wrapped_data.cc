// Wrapping and unwrapping of the scrambled zlib container.
#include "clientcfg/wrapped_data.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <random>

namespace clientcfg {
namespace {

constexpr std::uint32_t kVersion = 1;
constexpr std::size_t kHeaderSize = 16;  // up to and including the filler length
constexpr std::size_t kMinCompressBuffer = 2000;
constexpr std::size_t kMaxFiller = 64;
// Refuse to inflate beyond this, whatever the header claims: a container is a launch
// file or a script, never gigabytes.
constexpr std::size_t kMaxPayload = std::size_t{1} << 30;

void PutLittleEndian32(std::string& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::uint32_t GetLittleEndian32(std::string_view data, std::size_t offset) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<std::uint8_t>(data[offset + i]);
  return value;
}

// The filler is never read back, so any generator will do; a private one keeps the C
// library's shared rand() state untouched.
std::uint8_t RandomByte() {
  thread_local std::minstd_rand generator{std::random_device{}()};
  return static_cast<std::uint8_t>(generator() & 0xFF);
}

}  // namespace

std::optional<std::string> WrapData(std::string_view data, std::string_view magic) {
  if (data.empty() || magic.size() != 4) return std::nullopt;
  std::string compressed(std::max(data.size(), kMinCompressBuffer), '\0');
  uLongf compressed_size = compressed.size();
  if (compress(reinterpret_cast<Bytef*>(compressed.data()), &compressed_size,
               reinterpret_cast<const Bytef*>(data.data()), data.size()) != Z_OK)
    return std::nullopt;
  compressed.resize(compressed_size);

  std::size_t filler = RandomByte() % kMaxFiller;
  std::string out;
  out.reserve(kHeaderSize + filler + 1 + compressed.size());
  out.append(magic);
  PutLittleEndian32(out, kVersion);
  PutLittleEndian32(out, static_cast<std::uint32_t>(filler + data.size() + 1));
  for (int i = 0; i < 3; ++i) out.push_back(static_cast<char>(RandomByte()));
  out.push_back(static_cast<char>(filler));
  for (std::size_t i = 0; i < filler; ++i) out.push_back(static_cast<char>(RandomByte()));
  std::uint8_t seed = 0;
  out.push_back(static_cast<char>(seed));
  std::uint8_t key = static_cast<std::uint8_t>(seed * 2);
  for (char x : compressed) {
    std::uint8_t stored = static_cast<std::uint8_t>(x) ^ key;
    out.push_back(static_cast<char>(stored));
    key = static_cast<std::uint8_t>(stored * 2);
  }
  return out;
}

std::optional<std::string> UnwrapData(std::string_view data, std::string_view magic) {
  if (data.empty()) return std::nullopt;
  if (magic.size() != 4 || data.substr(0, 4) != magic) return std::string(data);
  if (data.size() < kHeaderSize + 1 || GetLittleEndian32(data, 4) != kVersion) return std::nullopt;

  std::size_t filler = static_cast<std::uint8_t>(data[15]);
  std::size_t seed_offset = kHeaderSize + filler;
  if (seed_offset >= data.size()) return std::nullopt;
  std::uint64_t length_field = GetLittleEndian32(data, 8);
  if (length_field < filler + 1) return std::nullopt;
  std::size_t expected = static_cast<std::size_t>(length_field - filler - 1);

  std::uint8_t key = static_cast<std::uint8_t>(static_cast<std::uint8_t>(data[seed_offset]) * 2);
  std::string_view scrambled = data.substr(seed_offset + 1);
  std::string stream(scrambled.size(), '\0');
  for (std::size_t i = 0; i < scrambled.size(); ++i) {
    std::uint8_t stored = static_cast<std::uint8_t>(scrambled[i]);
    stream[i] = static_cast<char>(stored ^ key);
    key = static_cast<std::uint8_t>(stored * 2);
  }

  // The header's length is the payload's: a stream that inflates to more is cut there,
  // one that inflates to less is damaged (its tail would be bytes never written). The
  // whole stream is still inflated, so that damage past the cut is found as well.
  if (expected > kMaxPayload) return std::nullopt;
  std::string payload;
  payload.reserve(std::min(expected, scrambled.size() * 15));
  z_stream inflater{};
  if (inflateInit(&inflater) != Z_OK) return std::nullopt;
  inflater.next_in = reinterpret_cast<Bytef*>(stream.data());
  inflater.avail_in = static_cast<uInt>(std::min<std::size_t>(stream.size(), UINT32_MAX));
  std::uint64_t inflated = 0;
  char chunk[16384];
  int result = Z_OK;
  while (result == Z_OK) {
    inflater.next_out = reinterpret_cast<Bytef*>(chunk);
    inflater.avail_out = sizeof chunk;
    result = inflate(&inflater, Z_NO_FLUSH);
    std::size_t got = sizeof chunk - inflater.avail_out;
    if (result == Z_BUF_ERROR || (result == Z_OK && got == 0)) break;  // the stream ends early
    if (payload.size() < expected) payload.append(chunk, std::min(got, expected - payload.size()));
    inflated += got;
    if (inflated > kMaxPayload) break;
  }
  inflateEnd(&inflater);
  if (result != Z_STREAM_END || payload.size() != expected) return std::nullopt;
  return payload;
}

std::optional<std::size_t> WrappedPayloadSize(std::string_view data, std::string_view magic) {
  if (magic.size() != 4 || data.size() < kHeaderSize || data.substr(0, 4) != magic)
    return std::nullopt;
  std::size_t filler = static_cast<std::uint8_t>(data[15]);
  std::uint64_t length_field = GetLittleEndian32(data, 8);
  if (length_field < filler + 1) return std::nullopt;
  return static_cast<std::size_t>(length_field - filler - 1);
}

}  // namespace clientcfg
