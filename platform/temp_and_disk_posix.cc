// The temporary directory, unique temporary file names and free disk space.
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/prefix.h"
#include "platform/win32_buffer.h"

namespace platform {
namespace {

constexpr std::uint32_t kBytesPerSector = 512;
constexpr std::uint32_t kSectorsPerCluster = 8;
constexpr std::uint64_t kClusterSize = kBytesPerSector * kSectorsPerCluster;
// Windows 95 never reports more than 2 GiB minus one cluster, so callers that multiply
// the counts in 32 bits stay positive.
constexpr std::uint64_t kMaxReportedClusters = (std::uint64_t{1} << 31) / kClusterSize - 1;

bool IsDriveAbsolute(const std::string& path) {
  return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
         (path[2] == '\\' || path[2] == '/');
}

bool IsExistingDirectory(const std::string& windows_path) {
  std::string host = ToHostPath(windows_path);
  struct stat st;
  return !host.empty() && stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The host directory whose file system answers for a path's drive.
std::string DiskHostPath(const char* root) {
  std::string path = root && *root ? std::string(root) : GetCurrentDirectory();
  std::string full = GetFullPathName(path);
  if (full.empty()) return {};
  if (full[0] == '\\') {
    SetLastError(kErrorBadNetpath);
    return {};
  }
  std::string host = ToHostPath(full);
  struct stat st;
  if (!host.empty() && stat(host.c_str(), &st) == 0) return host;
  host = DriveRoot(full[0]);
  if (host.empty()) SetLastError(kErrorPathNotFound);
  return host;
}

}  // namespace

std::string GetTempPath(Status* status) {
  // TMP before TEMP, as Windows looks; only a directory given in Windows form counts.
  for (const char* name : {"TMP", "TEMP"}) {
    std::string value;
    if (GetEnvironmentVariable(name, &value) && IsDriveAbsolute(value) &&
        IsExistingDirectory(value)) {
      std::string full = GetFullPathName(value);
      if (full.back() != '\\') full += '\\';
      if (status) *status = kErrorSuccess;
      return full;
    }
  }
  Status prefix_status = kErrorSuccess;
  if (PrefixDirectory(&prefix_status).empty()) {
    SetLastError(prefix_status);
    if (status) *status = prefix_status;
    return {};
  }
  if (status) *status = kErrorSuccess;
  return "C:\\WINDOWS\\TEMP\\";
}

std::uint32_t GetTempPath(std::uint32_t size, char* buffer) {
  std::string path = GetTempPath();
  return path.empty() ? 0 : CopyToBuffer(path, buffer, size);
}

std::uint32_t GetTempFileName(const std::string& dir, const std::string& prefix,
                              std::uint32_t unique, std::string* name) {
  std::string base = GetFullPathName(dir);
  if (base.empty()) return 0;
  if (base.back() != '\\') base += '\\';
  base += prefix.substr(0, 3);
  // Room for four hex digits, ".tmp" and the terminator in a MAX_PATH buffer.
  if (base.size() + 9 > kMaxPath) {
    SetLastError(kErrorFilenameExcedRange);
    return 0;
  }
  auto name_for = [&base](std::uint32_t number) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%X.tmp", number & 0xFFFF);
    return base + digits;
  };
  if (unique != 0) {
    *name = name_for(unique);
    return unique;
  }
  std::uint32_t start = ((TimeGetTime() ^ static_cast<std::uint32_t>(getpid())) & 0xFFFF);
  if (start == 0) start = 1;
  std::uint32_t number = start;
  do {
    std::string candidate = name_for(number);
    File file;
    if (file.Open(candidate, kGenericWrite, Disposition::kCreateNew)) {
      *name = candidate;
      return number;
    }
    Status status = GetLastError();
    if (status != kErrorFileExists && status != kErrorAlreadyExists) {
      // As Windows reports a temporary directory that is not there.
      SetLastError(status == kErrorPathNotFound ? kErrorDirectory : status);
      return 0;
    }
    number = number == 0xFFFF ? 1 : number + 1;
  } while (number != start);
  SetLastError(kErrorFileExists);
  return 0;
}

std::uint32_t GetTempFileName(const char* dir, const char* prefix, std::uint32_t unique,
                              char* buffer) {
  if (!dir || !buffer) {
    SetLastError(kErrorInvalidParameter);
    return 0;
  }
  std::string name;
  std::uint32_t number = GetTempFileName(std::string(dir), prefix ? prefix : "", unique, &name);
  if (number != 0) std::memcpy(buffer, name.c_str(), name.size() + 1);
  return number;
}

bool GetDiskFreeSpace(const char* root, std::uint32_t* sectors_per_cluster,
                      std::uint32_t* bytes_per_sector, std::uint32_t* free_clusters,
                      std::uint32_t* total_clusters) {
  std::uint64_t free_to_caller = 0, total = 0;
  if (!GetDiskFreeSpaceEx(root, &free_to_caller, &total, nullptr)) return false;
  if (sectors_per_cluster) *sectors_per_cluster = kSectorsPerCluster;
  if (bytes_per_sector) *bytes_per_sector = kBytesPerSector;
  if (free_clusters)
    *free_clusters =
        static_cast<std::uint32_t>(std::min(free_to_caller / kClusterSize, kMaxReportedClusters));
  if (total_clusters)
    *total_clusters =
        static_cast<std::uint32_t>(std::min(total / kClusterSize, kMaxReportedClusters));
  return true;
}

bool GetDiskFreeSpaceEx(const char* root, std::uint64_t* free_to_caller, std::uint64_t* total,
                        std::uint64_t* total_free) {
  std::string host = DiskHostPath(root);
  if (host.empty()) return false;
  struct statvfs fs;
  if (statvfs(host.c_str(), &fs) != 0) {
    SetLastError(StatusFromErrno(errno));
    return false;
  }
  if (free_to_caller) *free_to_caller = std::uint64_t{fs.f_bavail} * fs.f_frsize;
  if (total) *total = std::uint64_t{fs.f_blocks} * fs.f_frsize;
  if (total_free) *total_free = std::uint64_t{fs.f_bfree} * fs.f_frsize;
  return true;
}

}  // namespace platform
