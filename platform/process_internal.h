// Shared between the two halves of the process code: the record behind a process
// handle and the table of our children that a reaper thread watches.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>

#include "platform/process.h"

namespace platform {
namespace internal {

struct ProcessRecord {
  ~ProcessRecord();  // closes the descriptors below
  pid_t pid = 0;
  bool is_child = false;
  // Guarded by the child table's mutex.
  bool exited = false;
  bool exit_code_known = false;
  std::uint32_t exit_code = kStillActive;
  bool terminate_requested = false;
  std::uint32_t terminate_code = 0;
  int pidfd = -1;      // for waiting; -1 where pidfd_open is missing
  int resume_fd = -1;  // write end of the pipe a suspended child waits on
};

// Hands a freshly forked child to the reaper.
std::shared_ptr<ProcessRecord> RegisterChild(pid_t pid, int resume_fd);

// pidfd_open, or -1 where the kernel lacks it.
int OpenPidFd(pid_t pid);

}  // namespace internal

struct HandleAccess {
  static Handle Make(std::shared_ptr<internal::ProcessRecord> record, bool is_thread) {
    Handle handle;
    handle.record_ = std::move(record);
    handle.is_thread_ = is_thread;
    return handle;
  }
  static internal::ProcessRecord* Record(const Handle& handle) { return handle.record_.get(); }
  static bool IsThread(const Handle& handle) { return handle.is_thread_; }
  static void Reset(Handle& handle) { handle.record_.reset(); }
};

}  // namespace platform
