// The interface of patchw32.dll as its callers see it: one export, "RTPatchApply32",
// called with the command line, a progress callback and a wait flag. The callback gets
// a message number and a parameter and answers null to abort, anything else to go on.
#pragma once

#include <cstdint>

namespace patchlib {

using RTPatchCallback = void* (*)(std::uint32_t message, void* parameter);
using RTPatchApply32Function = std::uint32_t (*)(const char* command_line, RTPatchCallback callback,
                                                 std::int32_t wait);

inline constexpr char kRTPatchLibraryName[] = "patchw32.dll";
inline constexpr char kRTPatchEntryName[] = "RTPatchApply32";

// Callback messages.
inline constexpr std::uint32_t kMessageError = 4;          // parameter: the text
inline constexpr std::uint32_t kMessageProgress = 5;       // parameter: uint32_t*, 32768ths
inline constexpr std::uint32_t kMessageTotalFiles = 6;     // parameter: uint32_t* count
inline constexpr std::uint32_t kMessageNewFile = 7;        // parameter: the file's name
inline constexpr std::uint32_t kMessageInvalidPatch = 14;  // no parameter

}  // namespace patchlib
