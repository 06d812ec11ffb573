// The version API on POSIX: the file is mapped read-only and its block located in place,
// so asking a large data file for its version costs no more than its headers.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/paths.h"
#include "platform/version_info.h"
#include "platform/version_resource.h"
#include "platform/win_error.h"

namespace platform {

std::optional<std::string> ReadFileVersionBlock(const std::string& path) {
  Status status = kErrorSuccess;
  std::string host = ToHostPath(path, &status);
  if (host.empty()) {
    SetLastError(status);
    return std::nullopt;
  }
  int fd = open(host.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    SetLastError(StatusFromErrno(errno));
    return std::nullopt;
  }
  struct stat info;
  std::optional<std::string> block;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    const std::size_t size = static_cast<std::size_t>(info.st_size);
    void* map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (map != MAP_FAILED) {
      if (auto found = FindVersionBlock(std::string_view(static_cast<const char*>(map), size)))
        block = std::string(*found);
      munmap(map, size);
    }
  }
  close(fd);
  if (!block) SetLastError(kErrorResourceTypeNotFound);
  return block;
}

std::uint32_t GetFileVersionInfoSize(const std::string& path) {
  std::optional<std::string> block = ReadFileVersionBlock(path);
  return block ? static_cast<std::uint32_t>(block->size()) : 0;
}

bool GetFileVersionInfo(const std::string& path, std::uint32_t size, void* data) {
  std::optional<std::string> block = ReadFileVersionBlock(path);
  if (!block) return false;
  std::memcpy(data, block->data(), std::min<std::size_t>(size, block->size()));
  return true;
}

std::optional<std::string> VerQueryValue(const void* block, std::uint32_t size,
                                         std::string_view sub_block) {
  if (block == nullptr) return std::nullopt;
  return QueryVersionValue(std::string_view(static_cast<const char*>(block), size), sub_block);
}

}  // namespace platform
