// Whole-file reads and atomic replacement on POSIX.
#include "updatelib/channel/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace castanet {

std::string ErrnoText(int error_number) { return std::strerror(error_number); }

bool ReadWholeFile(const std::string& path, std::string* contents, std::string* error,
                   uint64_t max_size) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = path + ": " + ErrnoText(errno);
    return false;
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    *error = path + ": not a regular file";
    close(fd);
    return false;
  }
  if (static_cast<uint64_t>(info.st_size) > max_size) {
    *error = path + ": file too large";
    close(fd);
    return false;
  }
  contents->clear();
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = path + ": " + ErrnoText(errno);
      close(fd);
      return false;
    }
    if (n == 0) break;
    if (contents->size() + n > max_size) {
      *error = path + ": file too large";
      close(fd);
      return false;
    }
    contents->append(buffer, n);
  }
  close(fd);
  return true;
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    data += n;
    size -= n;
  }
  return true;
}

std::string ParentPath(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return "";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

void SyncFileSystem(const std::string& path) {
  int fd = open(path.empty() ? "." : path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  syncfs(fd);
  close(fd);
}

void SyncDirectory(const std::string& path) {
  int fd = open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

bool WriteFileAtomically(const std::string& path, std::string_view contents, std::string* error) {
  std::string temporary = path + ".tmp";
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = temporary + ": " + ErrnoText(errno);
    return false;
  }
  bool ok = WriteAll(fd, contents.data(), contents.size()) && fsync(fd) == 0;
  int saved = errno;
  close(fd);
  if (!ok || rename(temporary.c_str(), path.c_str()) != 0) {
    if (ok) saved = errno;
    *error = path + ": " + ErrnoText(saved);
    unlink(temporary.c_str());
    return false;
  }
  SyncDirectory(ParentPath(path));
  return true;
}

bool MakeDirectories(const std::string& path, std::string* error) {
  if (path.empty()) return true;
  struct stat info;
  if (stat(path.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return true;
    *error = path + ": not a directory";
    return false;
  }
  std::string parent = ParentPath(path);
  if (!parent.empty() && parent != path && !MakeDirectories(parent, error)) return false;
  if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
    *error = path + ": " + ErrnoText(errno);
    return false;
  }
  return true;
}

}  // namespace castanet

namespace castanet {

bool CopyFileContents(const std::string& from, const std::string& to, std::string* error) {
  int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    *error = from + ": " + ErrnoText(errno);
    return false;
  }
  int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) {
    int saved = errno;
    *error = to + ": " + ErrnoText(saved);
    close(in);
    errno = saved;
    return false;
  }
  char buffer[1 << 16];
  bool ok = true;
  for (;;) {
    ssize_t n = read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    if (!WriteAll(out, buffer, n)) {
      ok = false;
      break;
    }
  }
  int saved = errno;
  close(in);
  close(out);
  if (!ok) {
    *error = to + ": " + ErrnoText(saved);
    unlink(to.c_str());
    errno = saved;
  }
  return ok;
}

}  // namespace castanet
