// Directory entries and link handling on the host: readdir's entry types (lstat where
// the file system gives none), readlink and symlink.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/ascii.h"
#include "platform/directory_entries.h"
#include "platform/paths.h"
#include "platform/win_error.h"

namespace platform {
namespace {

bool HostPathOf(const std::string& windows_path, std::string* host) {
  *host = ToHostPath(windows_path.empty() ? std::string(".") : windows_path);
  return !host->empty();
}

bool FailFromErrno() {
  SetLastError(StatusFromErrno(errno));
  return false;
}

EntryKind KindOf(mode_t mode) {
  if (S_ISLNK(mode)) return EntryKind::kLink;
  if (S_ISDIR(mode)) return EntryKind::kDirectory;
  if (S_ISREG(mode)) return EntryKind::kFile;
  return EntryKind::kSpecial;
}

// Whether a Windows path can name this host entry and no other. "\\" would split it into
// components ("..\\x" leads out of the directory); a trailing dot or blank is dropped
// from a Windows name (".. " would be the parent); forbidden characters fail to map.
bool IsNameableEntry(const char* name) {
  const size_t length = std::strlen(name);
  if (length == 0 || name[length - 1] == '.' || name[length - 1] == ' ') return false;
  return IsValidLongName(name);
}

}  // namespace

bool ListDirectoryEntries(const std::string& windows_dir, std::vector<DirectoryEntry>* entries) {
  entries->clear();
  std::string host;
  if (!HostPathOf(windows_dir, &host)) return false;
  DIR* dir = opendir(host.c_str());
  if (dir == nullptr) return FailFromErrno();
  struct stat dir_st;
  if (fstat(dirfd(dir), &dir_st) != 0) {
    closedir(dir);
    return FailFromErrno();
  }
  errno = 0;
  while (const dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    if (!IsNameableEntry(entry->d_name)) continue;
    DirectoryEntry item;
    item.name = entry->d_name;
    unsigned char type = entry->d_type;
    // Directories are looked at more closely: their device tells a mount point.
    if (type == DT_UNKNOWN || type == DT_DIR) {
      struct stat st;
      if (fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        errno = 0;
        continue;  // vanished while listed
      }
      item.kind = KindOf(st.st_mode);
      item.other_file_system = item.kind == EntryKind::kDirectory && st.st_dev != dir_st.st_dev;
    } else {
      item.kind = type == DT_LNK   ? EntryKind::kLink
                  : type == DT_REG ? EntryKind::kFile
                                   : EntryKind::kSpecial;
    }
    entries->push_back(std::move(item));
    errno = 0;
  }
  int read_error = errno;
  closedir(dir);
  if (read_error != 0) {
    SetLastError(StatusFromErrno(read_error));
    return false;
  }
  std::sort(entries->begin(), entries->end(), [](const DirectoryEntry& a, const DirectoryEntry& b) {
    return NameOrderLess(a.name, b.name);
  });
  return true;
}

EntryKind GetEntryKind(const std::string& windows_path) {
  std::string host;
  if (!HostPathOf(windows_path, &host)) return EntryKind::kNone;
  struct stat st;
  if (lstat(host.c_str(), &st) != 0) return EntryKind::kNone;
  return KindOf(st.st_mode);
}

bool CopySymbolicLink(const std::string& from, const std::string& to) {
  std::string source, target;
  if (!HostPathOf(from, &source) || !HostPathOf(to, &target)) return false;
  std::string link(4096, '\0');
  ssize_t length = readlink(source.c_str(), link.data(), link.size());
  if (length < 0) return FailFromErrno();
  if (static_cast<size_t>(length) == link.size()) {
    SetLastError(kErrorFilenameExcedRange);
    return false;
  }
  link.resize(static_cast<size_t>(length));
  struct stat st;
  if (lstat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      SetLastError(kErrorAccessDenied);
      return false;
    }
    if (unlink(target.c_str()) != 0) return FailFromErrno();
  }
  if (symlink(link.c_str(), target.c_str()) != 0) return FailFromErrno();
  return true;
}

bool DeleteSymbolicLink(const std::string& path) {
  std::string host;
  if (!HostPathOf(path, &host)) return false;
  struct stat st;
  if (lstat(host.c_str(), &st) != 0) return FailFromErrno();
  if (!S_ISLNK(st.st_mode)) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  if (unlink(host.c_str()) != 0) return FailFromErrno();
  return true;
}

bool IsSameFile(const std::string& a, const std::string& b) {
  std::string host_a, host_b;
  if (!HostPathOf(a, &host_a) || !HostPathOf(b, &host_b)) return false;
  struct stat st_a, st_b;
  if (stat(host_a.c_str(), &st_a) != 0 || stat(host_b.c_str(), &st_b) != 0) return false;
  return st_a.st_dev == st_b.st_dev && st_a.st_ino == st_b.st_ino;
}

bool GetPathStatus(const std::string& windows_path, PathStatus* status) {
  std::string host;
  if (windows_path.empty() || !HostPathOf(windows_path, &host)) return false;
  struct stat st;
  if (stat(host.c_str(), &st) != 0) return FailFromErrno();
  status->size = static_cast<std::uint64_t>(st.st_size);
  status->modified = static_cast<std::int64_t>(st.st_mtime);
  status->is_directory = S_ISDIR(st.st_mode);
  return true;
}

}  // namespace platform
