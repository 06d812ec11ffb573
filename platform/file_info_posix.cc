// File facts for the Windows view: statx for sizes and times (with the birth time where
// the file system keeps one), mode bits and "user.DOSATTRIB" for attributes.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/file_info.h"

namespace platform {
namespace {

constexpr const char* kDosAttributeName = "user.DOSATTRIB";
constexpr std::uint32_t kReadonly = 0x01;
constexpr std::uint32_t kDirectory = 0x10;
constexpr std::uint32_t kNormal = 0x80;

bool XattrUnsupported(int error) { return error == ENOTSUP || error == EOPNOTSUPP; }

FileTime FromStatx(const statx_timestamp& time) {
  timespec stamp{static_cast<time_t>(time.tv_sec), static_cast<long>(time.tv_nsec)};
  return FileTimeFromTimespec(stamp);
}

// Parses the "0x<hex>" text form; the binary forms of newer Samba versions are not read.
std::uint32_t ParseStoredAttributes(const char* data, ssize_t length) {
  if (length < 3 || data[0] != '0' || (data[1] != 'x' && data[1] != 'X')) return 0;
  std::string text(data, static_cast<std::size_t>(length));
  return static_cast<std::uint32_t>(std::strtoul(text.c_str() + 2, nullptr, 16)) &
         kStoredAttributeMask;
}

bool FillInfo(int dirfd, const char* path, int flags, const std::string& host_path,
              HostFileInfo* info) {
  struct statx st;
  if (statx(dirfd, path, flags, STATX_BASIC_STATS | STATX_BTIME, &st) != 0) return false;
  *info = HostFileInfo();
  info->is_directory = S_ISDIR(st.stx_mode);
  info->is_read_only = !info->is_directory && !(st.stx_mode & S_IWUSR);
  info->size = info->is_directory ? 0 : st.stx_size;
  info->last_access_time = FromStatx(st.stx_atime);
  info->last_write_time = FromStatx(st.stx_mtime);
  // Without a birth time the change time is the closest the host keeps.
  info->creation_time = FromStatx((st.stx_mask & STATX_BTIME) ? st.stx_btime : st.stx_ctime);
  char data[64];
  ssize_t length = host_path.empty()
                       ? fgetxattr(dirfd, kDosAttributeName, data, sizeof data)
                       : getxattr(host_path.c_str(), kDosAttributeName, data, sizeof data);
  std::uint32_t attributes = length > 0 ? ParseStoredAttributes(data, length) : 0;
  if (info->is_directory) attributes |= kDirectory;
  if (!(st.stx_mode & S_IWUSR)) attributes |= kReadonly;
  info->attributes = attributes ? attributes : kNormal;
  return true;
}

}  // namespace

bool QueryHostFile(const std::string& host_path, HostFileInfo* info) {
  return FillInfo(AT_FDCWD, host_path.c_str(), 0, host_path, info);
}

bool QueryHostFile(int fd, HostFileInfo* info) {
  return FillInfo(fd, "", AT_EMPTY_PATH, std::string(), info);
}

std::uint32_t ReadStoredAttributes(const std::string& host_path) {
  char data[64];
  ssize_t length = getxattr(host_path.c_str(), kDosAttributeName, data, sizeof data);
  return length > 0 ? ParseStoredAttributes(data, length) : 0;
}

bool WriteStoredAttributes(const std::string& host_path, std::uint32_t attributes) {
  attributes &= kStoredAttributeMask;
  if (attributes == 0) {
    if (removexattr(host_path.c_str(), kDosAttributeName) == 0 || errno == ENODATA ||
        XattrUnsupported(errno))
      return true;
    return false;
  }
  char text[16];
  int length = std::snprintf(text, sizeof text, "0x%x", attributes);
  return setxattr(host_path.c_str(), kDosAttributeName, text, static_cast<std::size_t>(length),
                  0) == 0 ||
         XattrUnsupported(errno);
}

}  // namespace platform
