// Sounds: PlaySoundA for WAV files. Every request is recorded in the user-interface
// transcript ("sound", name, flags); a file plays when a sound device is there. A
// missing or malformed file fails quietly.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// PlaySound flags (SND_*).
inline constexpr std::uint32_t kSndSync = 0x0000;
inline constexpr std::uint32_t kSndAsync = 0x0001;
inline constexpr std::uint32_t kSndNoDefault = 0x0002;
inline constexpr std::uint32_t kSndLoop = 0x0008;
inline constexpr std::uint32_t kSndNoStop = 0x0010;
inline constexpr std::uint32_t kSndPurge = 0x0040;
inline constexpr std::uint32_t kSndNoWait = 0x2000;
inline constexpr std::uint32_t kSndFilename = 0x20000;

/// PCM samples of a WAV file.
struct WaveData {
  std::uint16_t channels = 0;
  std::uint32_t sample_rate = 0;
  std::uint16_t bits_per_sample = 0;  // 8 or 16
  std::string samples;
};

/// Reads a RIFF/WAVE file holding uncompressed PCM (8 or 16 bits, 1 or 2 channels).
/// False for anything else.
bool ParseWave(const std::string& bytes, WaveData* wave);

/// PlaySoundA with a file name: an empty name stops the sound that plays. A file that
/// is missing or not PCM WAV gives false. With kSndAsync the call returns while the
/// sound plays; kSndLoop (with kSndAsync) repeats it until the next request. With
/// kSndNoStop a request made while a sound plays fails.
bool PlaySound(const std::string& sound, std::uint32_t flags);

}  // namespace platform
