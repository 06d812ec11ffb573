// Process handles: the table of our children and the thread that reaps them, opening
// processes by id, waiting, exit codes and termination.
//
// Only the reaper thread calls waitpid, and only for pids it was given, so other code
// in the program may still wait for children of its own. A child is reaped the moment
// it ends (its pidfd becomes readable); its record, with the exit code, stays behind for
// later queries. Where pidfd_open is missing the reaper polls every 20 ms instead.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/process_internal.h"

namespace platform {
namespace internal {
namespace {

constexpr std::size_t kKeptExitCodes = 256;

struct ChildTable {
  std::mutex mutex;
  std::condition_variable changed;
  std::map<pid_t, std::shared_ptr<ProcessRecord>> running;
  std::deque<std::shared_ptr<ProcessRecord>> ended;  // newest last
  int wake_read = -1;
  int wake_write = -1;
  bool reaper_started = false;
};

// Never destroyed: the reaper thread may outlive static destruction.
ChildTable& Table() {
  static ChildTable* table = new ChildTable;
  return *table;
}

std::uint32_t ExitCodeFromStatus(const ProcessRecord& record, int status) {
  if (WIFEXITED(status)) return static_cast<std::uint32_t>(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) {
    if (record.terminate_requested && WTERMSIG(status) == SIGKILL) return record.terminate_code;
    return 128u + static_cast<std::uint32_t>(WTERMSIG(status));
  }
  return 0;
}

void MarkEnded(ChildTable& table, const std::shared_ptr<ProcessRecord>& record, int status,
               bool status_known) {
  record->exited = true;
  record->exit_code_known = status_known;
  record->exit_code = status_known ? ExitCodeFromStatus(*record, status) : 0;
  if (record->pidfd >= 0) close(record->pidfd);
  record->pidfd = -1;
  if (record->resume_fd >= 0) close(record->resume_fd);
  record->resume_fd = -1;
  table.ended.push_back(record);
  if (table.ended.size() > kKeptExitCodes) table.ended.pop_front();
}

// Reaps every registered child that has ended. Called with the table locked.
void ReapEnded(ChildTable& table) {
  bool any = false;
  for (auto it = table.running.begin(); it != table.running.end();) {
    int status = 0;
    pid_t result = waitpid(it->first, &status, WNOHANG);
    if (result == it->first || (result < 0 && errno == ECHILD)) {
      // ECHILD: someone reaped it behind our back (SIGCHLD ignored); the code is lost.
      MarkEnded(table, it->second, status, result == it->first);
      it = table.running.erase(it);
      any = true;
    } else {
      ++it;
    }
  }
  if (any) table.changed.notify_all();
}

void ReaperLoop() {
  ChildTable& table = Table();
  std::vector<pollfd> fds;
  for (;;) {
    bool must_poll = false;
    {
      std::lock_guard<std::mutex> lock(table.mutex);
      fds.assign(1, pollfd{table.wake_read, POLLIN, 0});
      for (const auto& [pid, record] : table.running) {
        if (record->pidfd >= 0)
          fds.push_back(pollfd{record->pidfd, POLLIN, 0});
        else
          must_poll = true;
      }
    }
    poll(fds.data(), fds.size(), must_poll ? 20 : -1);
    char drain[64];
    while (read(table.wake_read, drain, sizeof drain) > 0) {
    }
    std::lock_guard<std::mutex> lock(table.mutex);
    ReapEnded(table);
  }
}

void StartReaper(ChildTable& table) {
  if (table.reaper_started) return;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  try {
    std::thread(ReaperLoop).detach();
  } catch (const std::system_error&) {
    // No thread: waits reap for themselves (see WaitForSingleObject); try again later.
    close(fds[0]);
    close(fds[1]);
    return;
  }
  table.wake_read = fds[0];
  table.wake_write = fds[1];
  table.reaper_started = true;
}

// True when a process that is not our child has ended (zombies count as ended).
bool ForeignEnded(pid_t pid) {
  if (kill(pid, 0) != 0 && errno == ESRCH) return true;
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
  FILE* file = std::fopen(path, "r");
  if (!file) return false;
  char line[512] = {};
  bool got_line = std::fgets(line, sizeof line, file) != nullptr;
  std::fclose(file);
  // "pid (name) state ...": the name may itself hold ")", so take the last one.
  const char* close_paren = got_line ? std::strrchr(line, ')') : nullptr;
  return close_paren && (close_paren[2] == 'Z' || close_paren[2] == 'X');
}

// Waits for a process that is not our child; true when it has ended.
bool WaitForeign(ProcessRecord& record, std::uint32_t milliseconds) {
  using Clock = std::chrono::steady_clock;
  auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    long long left =
        milliseconds == kInfinite
            ? 3600000
            : std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                  .count();
    if (left < 0) left = 0;
    if (record.pidfd >= 0) {
      pollfd fd{record.pidfd, POLLIN, 0};
      int ready = poll(&fd, 1, static_cast<int>(std::min<long long>(left, 3600000)));
      if (ready > 0) return true;
      if (ready < 0 && errno != EINTR) return ForeignEnded(record.pid);
    } else {
      if (ForeignEnded(record.pid)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(std::min<long long>(left, 10)));
    }
    if (milliseconds != kInfinite && Clock::now() >= deadline) return false;
  }
}

}  // namespace

ProcessRecord::~ProcessRecord() {
  if (pidfd >= 0) close(pidfd);
  if (resume_fd >= 0) close(resume_fd);
}

int OpenPidFd(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  return -1;
#endif
}

std::shared_ptr<ProcessRecord> RegisterChild(pid_t pid, int resume_fd) {
  auto record = std::make_shared<ProcessRecord>();
  record->pid = pid;
  record->is_child = true;
  record->pidfd = OpenPidFd(pid);
  if (record->pidfd >= 0) fcntl(record->pidfd, F_SETFD, FD_CLOEXEC);
  record->resume_fd = resume_fd;
  ChildTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  StartReaper(table);
  table.running[pid] = record;
  if (table.wake_write >= 0) {
    char byte = 1;
    (void)!write(table.wake_write, &byte, 1);
  }
  return record;
}

}  // namespace internal

using internal::ProcessRecord;

std::uint32_t ResumeThread(const Handle& thread) {
  ProcessRecord* record = HandleAccess::Record(thread);
  if (!record) {
    SetLastError(kErrorInvalidHandle);
    return 0xFFFFFFFF;
  }
  std::lock_guard<std::mutex> lock(internal::Table().mutex);
  if (record->resume_fd < 0) return 0;
  char go = 1;
  (void)!write(record->resume_fd, &go, 1);
  close(record->resume_fd);
  record->resume_fd = -1;
  return 1;
}

Handle OpenProcess(std::uint32_t, bool, std::uint32_t process_id) {
  pid_t pid = static_cast<pid_t>(process_id);
  if (pid <= 0) {
    SetLastError(kErrorInvalidParameter);
    return Handle();
  }
  internal::ChildTable& table = internal::Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  if (auto it = table.running.find(pid); it != table.running.end())
    return HandleAccess::Make(it->second, false);
  if (kill(pid, 0) == 0 || errno == EPERM) {
    auto record = std::make_shared<ProcessRecord>();
    record->pid = pid;
    record->pidfd = internal::OpenPidFd(pid);
    if (record->pidfd >= 0) fcntl(record->pidfd, F_SETFD, FD_CLOEXEC);
    return HandleAccess::Make(record, false);
  }
  for (auto it = table.ended.rbegin(); it != table.ended.rend(); ++it)
    if ((*it)->pid == pid) return HandleAccess::Make(*it, false);
  SetLastError(kErrorInvalidParameter);
  return Handle();
}

std::uint32_t WaitForSingleObject(const Handle& handle, std::uint32_t milliseconds) {
  ProcessRecord* record = HandleAccess::Record(handle);
  if (!record) {
    SetLastError(kErrorInvalidHandle);
    return kWaitFailed;
  }
  internal::ChildTable& table = internal::Table();
  if (record->is_child) {
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    std::unique_lock<std::mutex> lock(table.mutex);
    while (!record->exited) {
      if (!table.reaper_started) internal::ReapEnded(table);  // no reaper thread to do it
      if (record->exited) break;
      auto step = Clock::now() + std::chrono::milliseconds(50);
      if (milliseconds != kInfinite && deadline < step) step = deadline;
      table.changed.wait_until(lock, step);
      if (milliseconds != kInfinite && Clock::now() >= deadline && !record->exited)
        return kWaitTimeout;
    }
    return kWaitObject0;
  }
  {
    std::lock_guard<std::mutex> lock(table.mutex);
    if (record->exited) return kWaitObject0;
  }
  if (!internal::WaitForeign(*record, milliseconds)) return kWaitTimeout;
  std::lock_guard<std::mutex> lock(table.mutex);
  record->exited = true;
  return kWaitObject0;
}

bool GetExitCodeProcess(const Handle& process, std::uint32_t* exit_code) {
  ProcessRecord* record = HandleAccess::Record(process);
  if (!record || !exit_code) {
    SetLastError(record ? kErrorInvalidParameter : kErrorInvalidHandle);
    return false;
  }
  if (!record->is_child && WaitForSingleObject(process, 0) == kWaitTimeout) {
    *exit_code = kStillActive;
    return true;
  }
  std::lock_guard<std::mutex> lock(internal::Table().mutex);
  if (!record->exited) {
    *exit_code = kStillActive;
    return true;
  }
  if (!record->exit_code_known) {
    SetLastError(kErrorNotSupported);
    return false;
  }
  *exit_code = record->exit_code;
  return true;
}

bool TerminateProcess(const Handle& process, std::uint32_t exit_code) {
  ProcessRecord* record = HandleAccess::Record(process);
  if (!record) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  // Under the lock the reaper cannot reap the child, so its pid cannot be reused.
  std::lock_guard<std::mutex> lock(internal::Table().mutex);
  if (record->exited) {
    SetLastError(kErrorAccessDenied);
    return false;
  }
  int result = -1;
#ifdef SYS_pidfd_send_signal
  if (record->pidfd >= 0)
    result = static_cast<int>(syscall(SYS_pidfd_send_signal, record->pidfd, SIGKILL, nullptr, 0));
#endif
  if (result != 0) result = kill(record->pid, SIGKILL);
  if (result != 0) {
    SetLastError(StatusFromErrno(errno));
    return false;
  }
  if (record->is_child) {
    record->terminate_requested = true;
    record->terminate_code = exit_code;
  }
  return true;
}

bool CloseHandle(Handle& handle) {
  if (!handle.valid()) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  HandleAccess::Reset(handle);
  return true;
}

std::uint32_t GetCurrentProcessId() { return static_cast<std::uint32_t>(getpid()); }

std::uint32_t GetProcessId(const Handle& process) {
  ProcessRecord* record = HandleAccess::Record(process);
  return record ? static_cast<std::uint32_t>(record->pid) : 0;
}

}  // namespace platform
