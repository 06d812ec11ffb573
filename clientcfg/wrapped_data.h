// The wrapped data container: a block of data zlib-compressed and lightly scrambled
// behind a four-character magic ("VLI2" for launch files, "LCH!" for cooked scripts).
// The scrambling keeps the contents from being read or edited as plain text; it is
// not protection.
//
// Layout (numbers little-endian):
//   0   4  magic
//   4   4  format version, 1
//   8   4  filler length + payload length + 1
//   12  3  random bytes, never read
//   15  1  filler length F (the writer uses 0..63)
//   16  F  random filler, never read
//   16+F 1 seed byte (the writer stores 0)
//   17+F   the zlib stream of the payload, scrambled: key = seed*2; each stored byte
//          c = x ^ key, then key = c*2 (8 bits).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace clientcfg {

inline constexpr std::string_view kLaunchFileMagic = "VLI2";
inline constexpr std::string_view kCookedScriptMagic = "LCH!";

/// Wraps a non-empty block. Fails (nullopt) for empty input and, as the format has
/// always done, for data whose zlib stream does not fit in max(length, 2000) bytes.
std::optional<std::string> WrapData(std::string_view data, std::string_view magic);

/// Unwraps a container with the given magic. Data that does not begin with the magic
/// comes back unchanged. The payload is as long as the header's length field says (a
/// stream that inflates to more is cut there). Fails (nullopt) for empty input, a
/// version other than 1, a header that points past the data, a stream zlib refuses, or
/// one that inflates to less than the header's length.
std::optional<std::string> UnwrapData(std::string_view data, std::string_view magic);

/// The payload length a container's header announces, without unwrapping; nullopt when
/// the data does not begin with the magic or the header is incomplete or inconsistent.
std::optional<std::size_t> WrappedPayloadSize(std::string_view data, std::string_view magic);

}  // namespace clientcfg
