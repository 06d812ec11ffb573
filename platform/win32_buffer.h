// Inside the platform layer: the Win32 rule for text returned into a caller's buffer.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace platform {

// On success the length without the terminator; when the buffer cannot hold the text and
// its terminator, the size needed (terminator included) and the buffer is left untouched.
inline std::uint32_t CopyToBuffer(const std::string& text, char* buffer, std::uint32_t size) {
  if (!buffer || text.size() + 1 > size) return static_cast<std::uint32_t>(text.size() + 1);
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<std::uint32_t>(text.size());
}

}  // namespace platform
