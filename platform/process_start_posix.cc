// Starting processes: CreateProcess on fork and execve, and what a child learns about
// how it was started (GetCommandLine, GetStartupInfo).
//
// Everything the child needs is prepared before fork; between fork and execve the
// child makes only async-signal-safe calls, since other threads of the parent may hold
// locks at the moment of the fork.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/ascii.h"
#include "platform/command_line.h"
#include "platform/environment.h"
#include "platform/paths.h"
#include "platform/process_internal.h"
#include "platform/program_search.h"

extern "C" char** environ;

namespace platform {
namespace {

constexpr char kCommandLineVariable[] = "ZOMA_CMDLINE";
constexpr char kShowWindowVariable[] = "ZOMA_SHOWWINDOW";

bool NameIs(const std::string& entry, const char* name) {
  std::size_t length = std::strlen(name);
  return entry.size() > length && entry[length] == '=' && StartsWithIgnoreCase(entry, name);
}

std::vector<std::string> ChildEnvironment(const CreateProcessOptions& options,
                                          const std::string& command_line) {
  std::vector<std::string> entries;
  if (options.environment) {
    for (const std::string& entry : *options.environment) {
      if (NameIs(entry, "PATH"))
        entries.push_back("PATH=" + WindowsPathListToHost(entry.substr(5)));
      else
        entries.push_back(entry);
    }
  } else {
    for (char** entry = environ; entry && *entry; ++entry) entries.emplace_back(*entry);
  }
  std::erase_if(entries, [](const std::string& entry) {
    return NameIs(entry, kCommandLineVariable) || NameIs(entry, kShowWindowVariable);
  });
  entries.push_back(std::string(kCommandLineVariable) + "=" + command_line);
  if (options.startup.flags & kStartfUseShowWindow)
    entries.push_back(std::string(kShowWindowVariable) + "=" +
                      std::to_string(options.startup.show_window));
  return entries;
}

// Priority classes as nice values; without a class the child keeps ours. Raising the
// priority needs privileges the caller may not have, which is not an error (the child
// then runs at the best priority allowed).
bool NiceValue(std::uint32_t flags, int* nice) {
  if (flags & kRealtimePriorityClass)
    *nice = -20;
  else if (flags & kHighPriorityClass)
    *nice = -10;
  else if (flags & kAboveNormalPriorityClass)
    *nice = -5;
  else if (flags & kIdlePriorityClass)
    *nice = 19;
  else if (flags & kBelowNormalPriorityClass)
    *nice = 10;
  else if (flags & kNormalPriorityClass)
    *nice = 0;
  else
    return false;
  return true;
}

std::vector<char*> PointerArray(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& text : strings) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Everything the child does between fork and execve, prepared by the parent.
struct ChildPlan {
  const char* program = nullptr;
  char** argv = nullptr;
  char** envp = nullptr;
  const char* directory = nullptr;
  int std_fds[3] = {-1, -1, -1};  // -1: keep
  bool new_session = false;
  bool set_nice = false;
  int nice = 0;
  int resume_read = -1;  // wait for a byte here before execve
  int resume_write = -1;
  int error_write = -1;  // errno goes here when execve fails
};

// Closes every descriptor from 3 up except two, so that the child holds nothing of the
// parent's (lock files, other children's pipes) while it waits or after execve.
void CloseDescriptorsExcept(int keep_a, int keep_b) {
  if (keep_a < 0) keep_a = keep_b;
  unsigned low = static_cast<unsigned>(keep_a < keep_b ? keep_a : keep_b);
  unsigned high = static_cast<unsigned>(keep_a < keep_b ? keep_b : keep_a);
  auto close_range_of = [](unsigned first, unsigned last) {
    if (first > last) return;
#ifdef SYS_close_range
    if (syscall(SYS_close_range, first, last, 0) == 0) return;
#endif
    long limit = sysconf(_SC_OPEN_MAX);
    if (limit < 0 || limit > 65536) limit = 65536;
    for (unsigned fd = first; fd <= last && fd < static_cast<unsigned>(limit); ++fd) close(fd);
  };
  close_range_of(3, low - 1);
  close_range_of(low + 1, high - 1);
  close_range_of(high + 1, ~0u);
}

[[noreturn]] void FailInChild(const ChildPlan& plan) {
  int error = errno;
  (void)!write(plan.error_write, &error, sizeof error);
  _exit(127);
}

[[noreturn]] void RunChild(const ChildPlan& plan) {
  // Blocked or ignored signals would survive execve; a Windows child starts clean.
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction default_action = {};
  default_action.sa_handler = SIG_DFL;
  for (int signal_number = 1; signal_number < NSIG; ++signal_number)
    sigaction(signal_number, &default_action, nullptr);
  if (plan.new_session) setsid();
  if (plan.set_nice) setpriority(PRIO_PROCESS, 0, plan.nice);
  // Duplicate first, so that descriptors given in a crossed order survive.
  int copies[3] = {-1, -1, -1};
  for (int i = 0; i < 3; ++i)
    if (plan.std_fds[i] >= 0 && (copies[i] = fcntl(plan.std_fds[i], F_DUPFD_CLOEXEC, 3)) < 0)
      FailInChild(plan);
  for (int i = 0; i < 3; ++i)
    if (copies[i] >= 0 && dup2(copies[i], i) < 0) FailInChild(plan);
  if (plan.directory && chdir(plan.directory) != 0) FailInChild(plan);
  CloseDescriptorsExcept(plan.resume_read, plan.error_write);
  if (plan.resume_read >= 0) {
    char go;
    while (read(plan.resume_read, &go, 1) < 0 && errno == EINTR) {
    }
  }
  execve(plan.program, plan.argv, plan.envp);
  FailInChild(plan);
}

Status StatusFromExecError(int error) {
  return error == ENOEXEC ? kErrorBadExeFormat : StatusFromErrno(error);
}

bool Fail(Status status) {
  SetLastError(status);
  return false;
}

}  // namespace

bool CreateProcess(const std::string& command_line, const CreateProcessOptions& options,
                   ProcessInformation* info) {
  FoundFile found;
  // An application name is taken exactly: no search, no ".exe".
  Status status = options.application_name.empty()
                      ? FindProgramFile(ParseProgramToken(command_line).program, &found)
                      : FindNamedFile(options.application_name, &found);
  if (status != kErrorSuccess) return Fail(status);
  if (access(found.host_path.c_str(), X_OK) != 0) return Fail(kErrorAccessDenied);

  std::string directory;
  if (!options.current_directory.empty()) {
    directory = ToHostPath(options.current_directory);
    struct stat st;
    if (directory.empty() || stat(directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
      return Fail(kErrorDirectory);
  }

  std::vector<std::string> argv_strings = SplitCommandLine(command_line);
  std::vector<std::string> env_strings = ChildEnvironment(options, command_line);
  std::vector<char*> argv = PointerArray(argv_strings);
  std::vector<char*> envp = PointerArray(env_strings);

  ChildPlan plan;
  plan.program = found.host_path.c_str();
  plan.argv = argv.data();
  plan.envp = envp.data();
  plan.directory = directory.empty() ? nullptr : directory.c_str();
  std::uint32_t flags = options.creation_flags;
  plan.new_session = (flags & (kDetachedProcess | kCreateNewConsole)) != 0;
  plan.set_nice = NiceValue(flags, &plan.nice);

  int null_fd = -1;
  if (options.startup.flags & kStartfUseStdHandles) {
    plan.std_fds[0] = options.startup.std_input;
    plan.std_fds[1] = options.startup.std_output;
    plan.std_fds[2] = options.startup.std_error;
  }
  if (flags & kDetachedProcess) {
    // No console: what was not given explicitly reads and writes nothing.
    null_fd = open("/dev/null", O_RDWR | O_CLOEXEC);
    for (int& fd : plan.std_fds)
      if (fd < 0) fd = null_fd;
  }

  int error_pipe[2];
  int resume_pipe[2] = {-1, -1};
  if (pipe2(error_pipe, O_CLOEXEC) != 0) return Fail(StatusFromErrno(errno));
  bool suspended = (flags & kCreateSuspended) != 0;
  if (suspended && pipe2(resume_pipe, O_CLOEXEC) != 0) {
    close(error_pipe[0]);
    close(error_pipe[1]);
    return Fail(StatusFromErrno(errno));
  }
  plan.error_write = error_pipe[1];
  plan.resume_read = resume_pipe[0];
  plan.resume_write = resume_pipe[1];

  pid_t pid = fork();
  if (pid == 0) RunChild(plan);
  int fork_error = errno;
  close(error_pipe[1]);
  if (resume_pipe[0] >= 0) close(resume_pipe[0]);
  if (null_fd >= 0) close(null_fd);
  if (pid < 0) {
    close(error_pipe[0]);
    if (resume_pipe[1] >= 0) close(resume_pipe[1]);
    return Fail(StatusFromErrno(fork_error));
  }

  // A suspended child cannot report a failed execve now; it ends with code 127 later.
  int child_error = 0;
  if (!suspended) {
    ssize_t got;
    while ((got = read(error_pipe[0], &child_error, sizeof child_error)) < 0 && errno == EINTR) {
    }
    if (got <= 0) child_error = 0;
  }
  close(error_pipe[0]);
  if (child_error != 0) {
    int ignored;
    waitpid(pid, &ignored, 0);
    return Fail(StatusFromExecError(child_error));
  }

  auto record = internal::RegisterChild(pid, resume_pipe[1]);
  if (info) {
    info->process = HandleAccess::Make(record, false);
    info->thread = HandleAccess::Make(record, true);
    info->process_id = info->thread_id = static_cast<std::uint32_t>(pid);
  }
  return true;
}

const std::string& GetCommandLine() {
  static const std::string line = [] {
    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    std::string raw((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<std::string> argv;
    std::size_t start = 0;
    while (start < raw.size()) {
      std::size_t end = raw.find('\0', start);
      if (end == std::string::npos) end = raw.size();
      argv.push_back(raw.substr(start, end - start));
      start = end + 1;
    }
    const char* given = std::getenv(kCommandLineVariable);
    if (given && SplitCommandLine(given) == argv) return std::string(given);
    return BuildCommandLine(argv);
  }();
  return line;
}

StartupInfo GetStartupInfo() {
  StartupInfo info;
  const char* show = std::getenv(kShowWindowVariable);
  if (show && *show) {
    char* end = nullptr;
    long value = std::strtol(show, &end, 10);
    if (*end == '\0' && value >= 0 && value <= 0xFFFF) {
      info.flags |= kStartfUseShowWindow;
      info.show_window = static_cast<std::uint16_t>(value);
    }
  }
  return info;
}

}  // namespace platform
