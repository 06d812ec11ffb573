// Replacing files: mkstemp beside the target, rename over it when done.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/file_info.h"
#include "platform/paths.h"
#include "platform/replacing_file.h"

namespace platform {

ReplacingFile::~ReplacingFile() { Abandon(); }

bool ReplacingFile::Open(const std::string& windows_path) {
  Abandon();
  Status status = kErrorSuccess;
  std::string target = ToHostPath(windows_path, &status);
  if (target.empty()) {
    SetLastError(status);
    return false;
  }
  struct stat st;
  if (stat(target.c_str(), &st) == 0 &&
      (S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR)))) {
    SetLastError(kErrorAccessDenied);
    return false;
  }
  size_t slash = target.rfind('/');
  std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string pattern = target.substr(0, slash == std::string::npos ? 0 : slash + 1) + "." +
                        name.substr(0, 64) + ".partXXXXXX";
  int fd = mkstemp(pattern.data());
  if (fd < 0) {
    SetLastError(StatusFromErrno(errno));
    return false;
  }
  // mkstemp creates the file 0600; give it what a plain create would.
  static const mode_t mask = [] {
    mode_t current = umask(0);
    umask(current);
    return current;
  }();
  fchmod(fd, 0666 & ~mask);
  file_ = fdopen(fd, "wb");
  if (file_ == nullptr) {
    SetLastError(StatusFromErrno(errno));
    close(fd);
    unlink(pattern.c_str());
    return false;
  }
  temporary_ = pattern;
  target_ = target;
  return true;
}

bool ReplacingFile::Commit() { return Finish(nullptr, 0); }

bool ReplacingFile::Commit(const FileTime& last_write, std::uint32_t attributes) {
  return Finish(&last_write, attributes);
}

bool ReplacingFile::Finish(const FileTime* last_write, std::uint32_t attributes) {
  if (file_ == nullptr) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  bool ok = std::fflush(file_) == 0 && !std::ferror(file_);
  if (ok && last_write) {
    const timespec times[2] = {{0, UTIME_OMIT}, FileTimeToTimespec(*last_write)};
    futimens(fileno(file_), times);
    // The stored bits need a writable file; the read-only bit goes on last.
    WriteStoredAttributes(temporary_, attributes & kStoredAttributeMask);
    if (attributes & 0x01) {
      struct stat st;
      if (fstat(fileno(file_), &st) == 0) fchmod(fileno(file_), st.st_mode & 07555);
    }
  }
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  if (ok && rename(temporary_.c_str(), target_.c_str()) == 0) {
    temporary_.clear();
    return true;
  }
  SetLastError(StatusFromErrno(errno));
  unlink(temporary_.c_str());
  temporary_.clear();
  return false;
}

void ReplacingFile::Abandon() {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (!temporary_.empty()) {
    unlink(temporary_.c_str());
    temporary_.clear();
  }
}

}  // namespace platform
