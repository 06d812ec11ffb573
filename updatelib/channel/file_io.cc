// Whole-file reads and atomic replacement on POSIX.
#include "updatelib/channel/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "updatelib/channel/system_calls.h"

namespace castanet {

std::string ErrnoText(int error_number) { return std::strerror(error_number); }

bool ReadWholeFile(const std::string& path, std::string* contents, std::string* error,
                   uint64_t max_size) {
  int fd = Sys().open(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) {
    *error = path + ": " + ErrnoText(errno);
    return false;
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    *error = path + ": not a regular file";
    Sys().close(fd);
    return false;
  }
  if (static_cast<uint64_t>(info.st_size) > max_size) {
    *error = path + ": file too large";
    Sys().close(fd);
    return false;
  }
  contents->clear();
  char buffer[65536];
  for (;;) {
    ssize_t n = Sys().read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = path + ": " + ErrnoText(errno);
      Sys().close(fd);
      return false;
    }
    if (n == 0) break;
    if (contents->size() + n > max_size) {
      *error = path + ": file too large";
      Sys().close(fd);
      return false;
    }
    contents->append(buffer, n);
  }
  Sys().close(fd);
  return true;
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = Sys().write(fd, data, size);
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
  int fd = Sys().open(path.empty() ? "." : path.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) return;
  Sys().syncfs(fd);
  Sys().close(fd);
}

void SyncDirectory(const std::string& path) {
  int fd = Sys().open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (fd < 0) return;
  Sys().fsync(fd);
  Sys().close(fd);
}

bool WriteFileAtomically(const std::string& path, std::string_view contents, std::string* error) {
  std::string temporary = path + ".tmp";
  int fd = Sys().open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = temporary + ": " + ErrnoText(errno);
    return false;
  }
  bool ok = WriteAll(fd, contents.data(), contents.size()) && Sys().fsync(fd) == 0;
  int saved = errno;
  Sys().close(fd);
  if (!ok || Sys().rename(temporary.c_str(), path.c_str()) != 0) {
    if (ok) saved = errno;
    *error = path + ": " + ErrnoText(saved);
    Sys().unlink(temporary.c_str());
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
  if (Sys().mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
    *error = path + ": " + ErrnoText(errno);
    return false;
  }
  return true;
}

}  // namespace castanet

namespace castanet {

bool CopyFileContents(const std::string& from, const std::string& to, std::string* error) {
  int in = Sys().open(from.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (in < 0) {
    *error = from + ": " + ErrnoText(errno);
    return false;
  }
  int out = Sys().open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) {
    int saved = errno;
    *error = to + ": " + ErrnoText(saved);
    Sys().close(in);
    errno = saved;
    return false;
  }
  char buffer[1 << 16];
  bool ok = true;
  for (;;) {
    ssize_t n = Sys().read(in, buffer, sizeof buffer);
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
  Sys().close(in);
  Sys().close(out);
  if (!ok) {
    *error = to + ": " + ErrnoText(saved);
    Sys().unlink(to.c_str());
    errno = saved;
  }
  return ok;
}

}  // namespace castanet
