// Scratch and pending files on POSIX.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "cab/scratch_file.h"

namespace cab {

std::FILE* OpenScratchFile() {
  const char* directory = std::getenv("TMPDIR");
  std::string pattern = directory && *directory ? directory : P_tmpdir;
  pattern += "/xxXXXXXX";
  int fd = mkstemp(pattern.data());
  if (fd < 0) return nullptr;
  unlink(pattern.c_str());
  std::FILE* file = fdopen(fd, "w+b");
  if (file == nullptr) close(fd);
  return file;
}

PendingFile::~PendingFile() {
  if (file_) std::fclose(file_);
  if (!temporary_.empty()) unlink(temporary_.c_str());
}

bool PendingFile::Open(const std::string& target) {
  std::string pattern = target + ".partXXXXXX";
  int fd = mkstemp(pattern.data());
  if (fd < 0) return false;
  mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  file_ = fdopen(fd, "wb");
  if (file_ == nullptr) {
    close(fd);
    unlink(pattern.c_str());
    return false;
  }
  temporary_ = pattern;
  target_ = target;
  return true;
}

bool PendingFile::Commit() {
  bool ok = std::fflush(file_) == 0 && !std::ferror(file_);
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  if (!ok || rename(temporary_.c_str(), target_.c_str()) != 0) return false;
  temporary_.clear();
  return true;
}

}  // namespace cab
