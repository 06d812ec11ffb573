// Standard streams on POSIX: there is no text mode, so only terminals need care.
#include <unistd.h>

#include "script/standard_streams.h"

namespace script {
namespace {

std::FILE* Prepared(std::FILE* stream, bool& done) {
  if (!done) {
    done = true;
    if (isatty(fileno(stream))) std::setvbuf(stream, nullptr, _IONBF, 0);
  }
  return stream;
}

}  // namespace

std::FILE* StandardInput() {
  static bool done = false;
  return Prepared(stdin, done);
}

std::FILE* StandardInputForSource() {
  std::fflush(StandardInput());
  int fd = dup(fileno(stdin));
  if (fd < 0) return nullptr;
  std::FILE* file = fdopen(fd, "rb");
  if (file == nullptr) {
    close(fd);
    return nullptr;
  }
  std::setvbuf(file, nullptr, _IONBF, 0);
  return file;
}

std::FILE* StandardOutput() {
  static bool done = false;
  return Prepared(stdout, done);
}

std::FILE* StandardError() {
  static bool done = false;
  return Prepared(stderr, done);
}

}  // namespace script
