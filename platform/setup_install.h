// SetupInstallFileExA for one file named by absolute path (no INF context): copy a
// source over a target with the setup API's copy-style rules.
//
// Without version resources, "newer" compares modification times. On POSIX a file in
// use (a running program, a loaded library) can still be replaced: the new copy is
// written beside the target and renamed over it, and running processes keep the old
// one. A target therefore counts as in use only when that replacement is refused; it
// is then replaced at the next restart when the style allows it.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Copy styles (SP_COPY_*).
inline constexpr std::uint32_t kSpCopyDeleteSource = 0x00000001;
inline constexpr std::uint32_t kSpCopyReplaceOnly = 0x00000002;
inline constexpr std::uint32_t kSpCopyNewerOrSame = 0x00000004;
inline constexpr std::uint32_t kSpCopyNoOverwrite = 0x00000008;
inline constexpr std::uint32_t kSpCopySourceAbsolute = 0x00000040;
inline constexpr std::uint32_t kSpCopySourcePathAbsolute = 0x00000080;
inline constexpr std::uint32_t kSpCopyInUseNeedsReboot = 0x00000100;
inline constexpr std::uint32_t kSpCopyForceInUse = 0x00000200;
inline constexpr std::uint32_t kSpCopyNoSkip = 0x00000400;
inline constexpr std::uint32_t kSpCopyForceNoOverwrite = 0x00001000;
inline constexpr std::uint32_t kSpCopyForceNewer = 0x00002000;
inline constexpr std::uint32_t kSpCopyNewerOnly = 0x00010000;

/// Copies source over target (Windows paths). The copy keeps the source's modification
/// time. True when the file was installed, now or (with *file_was_in_use set) at the next
/// restart. False with last error 0 when the style said to skip it: the target is newer
/// (kSpCopyNewerOrSame; kSpCopyForceNewer only makes that silent, there is no one to ask
/// here), exists (kSpCopyNoOverwrite) or is missing (kSpCopyReplaceOnly). False with an
/// error code when the copy failed. kSpCopyDeleteSource deletes the source afterwards.
bool SetupInstallFileEx(const std::string& source, const std::string& target,
                        std::uint32_t copy_style, bool* file_was_in_use);

}  // namespace platform
