// The file system calls through which the library writes its state, its install
// journal and its holding area, in one table (as SQLite's aSyscall[]). Tests replace
// entries to fail the N-th call deterministically: a disk that fills at a chosen write,
// an EIO on a chosen rename, a process that ends at a chosen step.
#pragma once

#include <sys/types.h>

#include <cstddef>

namespace castanet {

struct SystemCalls {
  int (*open)(const char* path, int flags, mode_t mode);
  ssize_t (*read)(int fd, void* buffer, size_t size);
  ssize_t (*write)(int fd, const void* data, size_t size);
  int (*fsync)(int fd);
  int (*syncfs)(int fd);
  int (*close)(int fd);
  int (*rename)(const char* from, const char* to);
  int (*link)(const char* from, const char* to);
  int (*unlink)(const char* path);
  int (*mkdir)(const char* path, mode_t mode);
  int (*rmdir)(const char* path);
};

// The table in use; the real calls unless a test changed it.
SystemCalls& Sys();
// The real calls, to restore the table or to forward to.
const SystemCalls& RealSystemCalls();

}  // namespace castanet
