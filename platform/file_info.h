// Inside the platform layer: what the Windows view reports about a host file (DOS
// attributes, size, the three times) and where the attributes that the host's mode bits
// cannot hold are kept (the extended attribute "user.DOSATTRIB").
#pragma once

#include <cstdint>
#include <string>

#include "platform/clock.h"

namespace platform {

struct HostFileInfo {
  std::uint32_t attributes = 0;
  std::uint64_t size = 0;
  FileTime creation_time;
  FileTime last_access_time;
  FileTime last_write_time;
  bool is_directory = false;
  bool is_read_only = false;  // a file without its owner write bit
};

// By host path (following links) or by open descriptor (path ""). False with errno set.
bool QueryHostFile(const std::string& host_path, HostFileInfo* info);
bool QueryHostFile(int fd, HostFileInfo* info);

// HIDDEN, SYSTEM and ARCHIVE: the bits kept in "user.DOSATTRIB".
inline constexpr std::uint32_t kStoredAttributeMask = 0x02 | 0x04 | 0x20;

// The stored bits of a file (0 when it has none or the file system keeps none).
std::uint32_t ReadStoredAttributes(const std::string& host_path);
// Writes (or, for 0, removes) the stored bits. A file system without extended attributes
// counts as success: there only READONLY survives. False with errno set otherwise.
bool WriteStoredAttributes(const std::string& host_path, std::uint32_t attributes);

}  // namespace platform
