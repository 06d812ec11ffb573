// LAUNCHCODE: the handshake between the updater and the client it starts. The updater
// sets the environment variable to eight words chosen by the current 64-second window;
// the client accepts the value of its own window or of the one before. Header-only so
// that the stand-in client shares exactly these constants.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace zoma {

inline constexpr const char* kLaunchCodeVariable = "LAUNCHCODE";
inline constexpr std::uint32_t kLaunchCodeMultiplier = 0x9E3779B1u;
inline constexpr std::array<const char*, 16> kLaunchCodeWords = {
    "zoma", "orb",  "fen",  "quill", "rune", "moss",  "tarn", "glint",
    "ash",  "vale", "crow", "ember", "loch", "sprig", "dune", "wisp"};

/// The code for the 64-second window `window` (seconds since 1970 divided by 64).
inline std::string LaunchCodeForWindow(std::uint32_t window) {
  std::uint32_t key = window * kLaunchCodeMultiplier;
  std::string code;
  for (int group = 0; group < 8; ++group) {
    if (group > 0) code.push_back(' ');
    code += kLaunchCodeWords[(key >> (4 * group)) & 0xF];
  }
  return code;
}

inline std::uint32_t LaunchCodeWindow(std::time_t now) {
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(now) / 64);
}

inline std::string MakeLaunchCode(std::time_t now = std::time(nullptr)) {
  return LaunchCodeForWindow(LaunchCodeWindow(now));
}

/// True when `code` is the value of the current window or of the one before.
inline bool AcceptLaunchCode(std::string_view code, std::time_t now = std::time(nullptr)) {
  std::uint32_t window = LaunchCodeWindow(now);
  return code == LaunchCodeForWindow(window) || code == LaunchCodeForWindow(window - 1);
}

}  // namespace zoma
