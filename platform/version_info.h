// The version API (GetFileVersionInfoSizeA, GetFileVersionInfoA, VerQueryValueA) over
// files named by Windows path: PE programs and libraries, and our ELF ones, whose block
// lives in the section ".rsrc_version" (version_resource.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

inline constexpr std::uint32_t kErrorResourceDataNotFound = 1812;
inline constexpr std::uint32_t kErrorResourceTypeNotFound = 1813;

/// GetFileVersionInfoSizeA: the size of the file's version block; 0 with the last error
/// set when the file cannot be read (its error) or has no block
/// (kErrorResourceTypeNotFound).
std::uint32_t GetFileVersionInfoSize(const std::string& path);

/// GetFileVersionInfoA: copies at most `size` bytes of the block into `data`. False with
/// the last error set when there is no block.
bool GetFileVersionInfo(const std::string& path, std::uint32_t size, void* data);

/// VerQueryValueA over a block that GetFileVersionInfo filled: see QueryVersionValue.
std::optional<std::string> VerQueryValue(const void* block, std::uint32_t size,
                                         std::string_view sub_block);

/// The whole block of a file in one call (nullopt when it has none).
std::optional<std::string> ReadFileVersionBlock(const std::string& path);

}  // namespace platform
