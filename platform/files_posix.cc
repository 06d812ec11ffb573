// File handles and whole-file operations by Windows path.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/file_info.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace platform {
namespace {

bool Fail(Status status) {
  SetLastError(status);
  return false;
}

bool FailFromErrno() { return Fail(StatusFromErrno(errno)); }

bool IsReadOnlyFile(const struct stat& st) {
  return S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR);
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Writes all of data, riding out short writes and signals.
bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t written = write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// Copies a host file's contents, permission bits, stored attributes and modification
// time. exclusive: the target must not exist. A partly written target is removed so that
// a failed copy never leaves a truncated file behind.
Status CopyHostFile(const std::string& from, const std::string& to, bool exclusive) {
  int source = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (source < 0) return StatusFromErrno(errno);
  struct stat st;
  if (fstat(source, &st) != 0 || S_ISDIR(st.st_mode)) {
    close(source);
    return kErrorAccessDenied;
  }
  int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | (exclusive ? O_EXCL : 0);
  int target = open(to.c_str(), flags, 0666);
  if (target < 0) {
    Status status = errno == EEXIST ? kErrorFileExists : StatusFromErrno(errno);
    close(source);
    return status;
  }
  Status status = kErrorSuccess;
  char buffer[64 * 1024];
  for (;;) {
    ssize_t got = read(source, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (got < 0) status = StatusFromErrno(errno);
      break;
    }
    if (!WriteAll(target, buffer, static_cast<std::size_t>(got))) {
      status = StatusFromErrno(errno);
      break;
    }
  }
  close(source);
  if (status == kErrorSuccess) {
    // Attributes go on while the target is still writable: extended attributes need it.
    if (!WriteStoredAttributes(to, ReadStoredAttributes(from))) status = StatusFromErrno(errno);
    timespec times[2] = {{0, UTIME_NOW}, st.st_mtim};
    futimens(target, times);
    fchmod(target, st.st_mode & 07777);
  }
  if (close(target) != 0 && status == kErrorSuccess) status = StatusFromErrno(errno);
  if (status != kErrorSuccess) unlink(to.c_str());
  return status;
}

bool HostPathOf(const std::string& windows_path, std::string* host) {
  *host = ToHostPath(windows_path);
  return !host->empty();
}

}  // namespace

File::~File() { Close(); }

File::File(File&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

void File::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

bool File::Open(const std::string& windows_path, std::uint32_t access, Disposition disposition,
                std::uint32_t attributes) {
  Close();
  std::string host;
  if (!HostPathOf(windows_path, &host)) return false;
  bool want_write = access & kGenericWrite;
  bool want_read = (access & kGenericRead) || !want_write;
  struct stat st;
  bool exists = stat(host.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) return Fail(kErrorAccessDenied);
  int flags = O_CLOEXEC | (want_write ? (want_read ? O_RDWR : O_WRONLY) : O_RDONLY);
  switch (disposition) {
    case Disposition::kCreateNew:
      if (exists) return Fail(kErrorFileExists);
      flags |= O_CREAT | O_EXCL;
      break;
    case Disposition::kCreateAlways:
      flags |= O_CREAT | O_TRUNC;
      break;
    case Disposition::kOpenExisting:
      break;
    case Disposition::kOpenAlways:
      flags |= O_CREAT;
      break;
    case Disposition::kTruncateExisting:
      if (!want_write) return Fail(kErrorInvalidParameter);
      flags |= O_TRUNC;
      break;
    default:
      return Fail(kErrorInvalidParameter);
  }
  if (!exists && !(flags & O_CREAT)) return Fail(kErrorFileNotFound);
  // The host lets the superuser write anything; Windows refuses read-only files to all.
  if (exists && IsReadOnlyFile(st) && (want_write || (flags & O_TRUNC)))
    return Fail(kErrorAccessDenied);
  int fd = open(host.c_str(), flags, 0666);
  if (fd < 0) return Fail(errno == EEXIST ? kErrorFileExists : StatusFromErrno(errno));
  fd_ = fd;
  if (!exists) {
    WriteStoredAttributes(host, attributes);
    if (attributes & kFileAttributeReadonly) fchmod(fd, 0444);
  }
  // As CreateFileA does, an opened file that existed leaves ERROR_ALREADY_EXISTS.
  bool reports_existing =
      disposition == Disposition::kCreateAlways || disposition == Disposition::kOpenAlways;
  SetLastError(exists && reports_existing ? kErrorAlreadyExists : kErrorSuccess);
  return true;
}

bool File::Read(void* buffer, std::uint32_t size, std::uint32_t* done) {
  *done = 0;
  if (fd_ < 0) return Fail(kErrorInvalidHandle);
  ssize_t got;
  do {
    got = read(fd_, buffer, size);
  } while (got < 0 && errno == EINTR);
  if (got < 0) return Fail(errno == EBADF ? kErrorAccessDenied : StatusFromErrno(errno));
  *done = static_cast<std::uint32_t>(got);
  return true;
}

bool File::Write(const void* data, std::uint32_t size, std::uint32_t* done) {
  *done = 0;
  if (fd_ < 0) return Fail(kErrorInvalidHandle);
  if (!WriteAll(fd_, static_cast<const char*>(data), size))
    return Fail(errno == EBADF ? kErrorAccessDenied : StatusFromErrno(errno));
  *done = size;
  return true;
}

bool File::Seek(std::int64_t offset, SeekOrigin origin, std::int64_t* position) {
  if (fd_ < 0) return Fail(kErrorInvalidHandle);
  int whence = origin == SeekOrigin::kBegin     ? SEEK_SET
               : origin == SeekOrigin::kCurrent ? SEEK_CUR
                                                : SEEK_END;
  off_t result = lseek(fd_, static_cast<off_t>(offset), whence);
  if (result < 0) return FailFromErrno();
  if (position) *position = result;
  return true;
}

bool File::GetSize(std::uint64_t* size) const {
  struct stat st;
  if (fd_ < 0) return Fail(kErrorInvalidHandle);
  if (fstat(fd_, &st) != 0) return FailFromErrno();
  *size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

bool File::SetEnd() {
  if (fd_ < 0) return Fail(kErrorInvalidHandle);
  off_t position = lseek(fd_, 0, SEEK_CUR);
  if (position < 0 || ftruncate(fd_, position) != 0)
    return Fail(errno == EINVAL || errno == EBADF ? kErrorAccessDenied : StatusFromErrno(errno));
  return true;
}

bool File::GetTime(FileTime* creation, FileTime* last_access, FileTime* last_write) const {
  if (fd_ < 0) return Fail(kErrorInvalidHandle);
  HostFileInfo info;
  if (!QueryHostFile(fd_, &info)) return FailFromErrno();
  if (creation) *creation = info.creation_time;
  if (last_access) *last_access = info.last_access_time;
  if (last_write) *last_write = info.last_write_time;
  return true;
}

bool File::SetTime(const FileTime*, const FileTime* last_access, const FileTime* last_write) {
  if (fd_ < 0) return Fail(kErrorInvalidHandle);
  timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_OMIT}};
  if (last_access) times[0] = FileTimeToTimespec(*last_access);
  if (last_write) times[1] = FileTimeToTimespec(*last_write);
  if (futimens(fd_, times) != 0) return FailFromErrno();
  return true;
}

std::uint32_t GetFileSize(const File& file, std::uint32_t* high) {
  std::uint64_t size = 0;
  if (!file.GetSize(&size)) return 0xFFFFFFFF;
  if (high) *high = static_cast<std::uint32_t>(size >> 32);
  SetLastError(kErrorSuccess);
  return static_cast<std::uint32_t>(size);
}

std::FILE* OpenStdioFile(const std::string& windows_path, const char* mode) {
  std::string host;
  if (!mode || !*mode) {
    SetLastError(kErrorInvalidParameter);
    return nullptr;
  }
  if (!HostPathOf(windows_path, &host)) return nullptr;
  // The C runtime's text mode is the host's only mode; "e" keeps the stream out of children.
  std::string host_mode;
  for (const char* c = mode; *c; ++c)
    if (*c != 't') host_mode += *c;
  host_mode += 'e';
  bool writes = mode[0] != 'r' || std::strchr(mode, '+');
  struct stat st;
  if (stat(host.c_str(), &st) == 0 && (S_ISDIR(st.st_mode) || (writes && IsReadOnlyFile(st)))) {
    SetLastError(kErrorAccessDenied);
    return nullptr;
  }
  std::FILE* file = std::fopen(host.c_str(), host_mode.c_str());
  if (!file) SetLastError(StatusFromErrno(errno));
  return file;
}

bool CopyFile(const std::string& from, const std::string& to, bool fail_if_exists) {
  std::string source, target;
  if (!HostPathOf(from, &source) || !HostPathOf(to, &target)) return false;
  struct stat source_st, target_st;
  if (stat(source.c_str(), &source_st) != 0) return FailFromErrno();
  if (stat(target.c_str(), &target_st) == 0) {
    if (fail_if_exists) return Fail(kErrorFileExists);
    // Copying a file onto itself would truncate it before it is read.
    if (SameFile(source_st, target_st)) return Fail(kErrorSharingViolation);
    if (S_ISDIR(target_st.st_mode) || IsReadOnlyFile(target_st)) return Fail(kErrorAccessDenied);
  }
  Status status = CopyHostFile(source, target, fail_if_exists);
  return status == kErrorSuccess || Fail(status);
}

bool MoveFile(const std::string& from, const std::string& to) {
  std::string source, target;
  if (!HostPathOf(from, &source) || !HostPathOf(to, &target)) return false;
  struct stat source_st, target_st;
  if (lstat(source.c_str(), &source_st) != 0) return FailFromErrno();
  if (lstat(target.c_str(), &target_st) == 0) {
    if (!SameFile(source_st, target_st)) return Fail(kErrorAlreadyExists);
    // The same file under another spelling: a change of case, which Windows allows.
    std::string full = GetFullPathName(to);
    target = target.substr(0, target.rfind('/') + 1) + full.substr(full.rfind('\\') + 1);
    if (rename(source.c_str(), target.c_str()) != 0) return FailFromErrno();
    return true;
  }
  if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
    return true;
  if (errno == EINVAL || errno == ENOSYS) {
    // A file system without the no-replace rename; the existence check above must do.
    if (rename(source.c_str(), target.c_str()) == 0) return true;
  }
  if (errno == EEXIST) return Fail(kErrorAlreadyExists);
  if (errno != EXDEV) return FailFromErrno();
  // Another file system: files are copied and the original removed; directories, as on
  // Windows, do not move between volumes.
  if (S_ISDIR(source_st.st_mode)) return Fail(kErrorNotSameDevice);
  if (Status status = CopyHostFile(source, target, true); status != kErrorSuccess)
    return Fail(status);
  if (unlink(source.c_str()) != 0) {
    Status status = StatusFromErrno(errno);
    unlink(target.c_str());
    return Fail(status);
  }
  return true;
}

bool DeleteFile(const std::string& path) {
  std::string host;
  if (!HostPathOf(path, &host)) return false;
  struct stat st;
  if (lstat(host.c_str(), &st) != 0) return FailFromErrno();
  if (S_ISDIR(st.st_mode) || IsReadOnlyFile(st)) return Fail(kErrorAccessDenied);
  if (unlink(host.c_str()) != 0) return FailFromErrno();
  return true;
}

bool CreateDirectory(const std::string& path) {
  std::string host;
  if (!HostPathOf(path, &host)) return false;
  if (mkdir(host.c_str(), 0777) != 0) return FailFromErrno();
  return true;
}

bool RemoveDirectory(const std::string& path) {
  std::string host;
  if (!HostPathOf(path, &host)) return false;
  struct stat st, cwd_st;
  if (lstat(host.c_str(), &st) != 0) return FailFromErrno();
  if (!S_ISDIR(st.st_mode)) return Fail(kErrorDirectory);
  // Windows keeps the current directory open, so it cannot be removed.
  if (stat(".", &cwd_st) == 0 && SameFile(st, cwd_st)) return Fail(kErrorSharingViolation);
  if (rmdir(host.c_str()) != 0)
    return Fail(errno == EEXIST ? kErrorDirNotEmpty : StatusFromErrno(errno));
  return true;
}

std::uint32_t GetFileAttributes(const std::string& path) {
  std::string host;
  if (!HostPathOf(path, &host)) return kInvalidFileAttributes;
  HostFileInfo info;
  if (!QueryHostFile(host, &info)) {
    FailFromErrno();
    return kInvalidFileAttributes;
  }
  return info.attributes;
}

bool SetFileAttributes(const std::string& path, std::uint32_t attributes) {
  std::string host;
  if (!HostPathOf(path, &host)) return false;
  struct stat st;
  if (stat(host.c_str(), &st) != 0) return FailFromErrno();
  mode_t mode = st.st_mode & 07777;
  // Extended attributes can only be written while the file is writable.
  if (!(mode & S_IWUSR) && chmod(host.c_str(), mode | S_IWUSR) != 0) return FailFromErrno();
  bool stored = WriteStoredAttributes(host, attributes);
  int saved_errno = errno;
  if (S_ISREG(st.st_mode)) {
    if (attributes & kFileAttributeReadonly)
      mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    else
      mode |= S_IWUSR;
  }
  if (chmod(host.c_str(), mode) != 0) return FailFromErrno();
  if (!stored) return Fail(StatusFromErrno(saved_errno));
  return true;
}

}  // namespace platform
