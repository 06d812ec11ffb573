// Host file copies for atomic replacement.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/host_copy.h"
#include "platform/win_error.h"

namespace platform {

bool WriteAll(int fd, const char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    ssize_t wrote = write(fd, data + done, size - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    done += static_cast<std::size_t>(wrote);
  }
  return true;
}

std::string CopyBeside(const std::string& source, const std::string& target) {
  int in = open(source.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat source_stat;
  if (in < 0 || fstat(in, &source_stat) != 0 || !S_ISREG(source_stat.st_mode)) {
    SetLastError(in < 0 ? StatusFromErrno(errno) : kErrorAccessDenied);
    if (in >= 0) close(in);
    return {};
  }
  std::string temp = target + ".copy-XXXXXX";
  int out = mkstemp(temp.data());
  if (out < 0) {
    SetLastError(errno == ENOENT ? kErrorPathNotFound : StatusFromErrno(errno));
    close(in);
    return {};
  }
  bool ok = true;
  char buffer[65536];
  while (ok) {
    ssize_t got = read(in, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    ok = WriteAll(out, buffer, static_cast<std::size_t>(got));
  }
  int error = errno;
  close(in);
  if (ok) {
    fchmod(out, source_stat.st_mode & 07777);
    timespec times[2] = {source_stat.st_atim, source_stat.st_mtim};
    futimens(out, times);
    ok = fsync(out) == 0;
    error = errno;
  }
  ok = close(out) == 0 && ok;
  if (!ok) {
    unlink(temp.c_str());
    SetLastError(StatusFromErrno(error));
    return {};
  }
  return temp;
}

}  // namespace platform
