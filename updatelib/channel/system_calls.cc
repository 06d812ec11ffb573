// The real system calls behind the library's table.
#include "updatelib/channel/system_calls.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace castanet {
namespace {

int OpenFile(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }

constexpr SystemCalls kReal = {OpenFile, ::read, ::write,  ::fsync, ::syncfs, ::close,
                               ::rename, ::link, ::unlink, ::mkdir, ::rmdir};

}  // namespace

SystemCalls& Sys() {
  static SystemCalls calls = kReal;
  return calls;
}

const SystemCalls& RealSystemCalls() { return kReal; }

}  // namespace castanet
