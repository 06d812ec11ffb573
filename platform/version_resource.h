// VS_VERSIONINFO version blocks: found in PE files (the RT_VERSION resource of 32- and
// 64-bit programs and libraries) and in our ELF files (the section ".rsrc_version"),
// walked in both layouts (the Unicode one of Win32 and the older ANSI one), queried by
// sub-block path as VerQueryValueA does, and built for the build's stamping.
//
// Everything here reads outside input: offsets, lengths and counts are checked against
// the bytes present, nesting is bounded, and a malformed block yields "no version
// resource", never a read outside the buffer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

inline constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
inline constexpr char kElfVersionSection[] = ".rsrc_version";

/// The version block of a PE or ELF image held in memory, or nullopt when the image
/// has none (or is not an image). The view points into `image`.
std::optional<std::string_view> FindVersionBlock(std::string_view image);

/// The same for a PE image only, and for an ELF image only.
std::optional<std::string_view> FindPeVersionBlock(std::string_view image);
std::optional<std::string_view> FindElfVersionBlock(std::string_view image);

/// True when `block` is a well-formed VS_VERSIONINFO block in either layout.
bool IsVersionBlock(std::string_view block);

/// VerQueryValueA over a block: "\" is the fixed file information (VS_FIXEDFILEINFO,
/// 52 bytes), "\VarFileInfo\Translation" the language and code-page pairs, and
/// "\StringFileInfo\<lang><cp>\<name>" a string, given back as 8-bit text without its
/// terminator (UTF-16 characters above 255 become "?"). Names compare ignoring case.
/// nullopt when the path names nothing.
std::optional<std::string> QueryVersionValue(std::string_view block, std::string_view sub_block);

/// VS_FIXEDFILEINFO.
struct FixedFileInfo {
  std::uint32_t signature = kFixedFileInfoSignature;
  std::uint32_t struct_version = 0x00010000;
  std::uint32_t file_version_ms = 0;
  std::uint32_t file_version_ls = 0;
  std::uint32_t product_version_ms = 0;
  std::uint32_t product_version_ls = 0;
  std::uint32_t file_flags_mask = 0x3F;
  std::uint32_t file_flags = 0;
  std::uint32_t file_os = 0x00040004;  // VOS_NT_WINDOWS32
  std::uint32_t file_type = 1;         // VFT_APP; 2 is VFT_DLL
  std::uint32_t file_subtype = 0;
  std::uint32_t file_date_ms = 0;
  std::uint32_t file_date_ls = 0;
};

/// Decodes the value of "\" (false when it is short or lacks the signature).
bool ParseFixedFileInfo(std::string_view value, FixedFileInfo* info);

/// What a built block says.
struct VersionBlockContents {
  FixedFileInfo fixed;
  std::uint16_t language = 0x0409;   // U.S. English
  std::uint16_t code_page = 0x04E4;  // Windows Latin-1
  std::vector<std::pair<std::string, std::string>> strings;
};

/// A VS_VERSIONINFO block in the Unicode layout, or (with `ansi`) the older one.
std::string BuildVersionBlock(const VersionBlockContents& contents, bool ansi = false);

}  // namespace platform
