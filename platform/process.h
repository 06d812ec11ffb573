// Processes with the Win32 model: a command line is one string, the program is found
// the way CreateProcess finds it, handles are waited on and report exit codes.
//
// The child gets argv split by the Microsoft C runtime's rules and the exact command
// line in ZOMA_CMDLINE (GetCommandLine gives it back); a requested window show state
// travels in ZOMA_SHOWWINDOW. Process ids are host pids. Children are reaped as soon as
// they end (no zombies) and their exit codes stay available afterwards. A child
// inherits only its three standard handles, never the parent's other descriptors.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/win_error.h"

namespace platform {

// Creation flags (dwCreationFlags).
inline constexpr std::uint32_t kCreateSuspended = 0x00000004;
inline constexpr std::uint32_t kDetachedProcess = 0x00000008;   // own session, no terminal
inline constexpr std::uint32_t kCreateNewConsole = 0x00000010;  // own session
inline constexpr std::uint32_t kNormalPriorityClass = 0x00000020;
inline constexpr std::uint32_t kIdlePriorityClass = 0x00000040;
inline constexpr std::uint32_t kHighPriorityClass = 0x00000080;
inline constexpr std::uint32_t kRealtimePriorityClass = 0x00000100;
inline constexpr std::uint32_t kBelowNormalPriorityClass = 0x00004000;
inline constexpr std::uint32_t kAboveNormalPriorityClass = 0x00008000;

// STARTUPINFO flags and ShowWindow commands.
inline constexpr std::uint32_t kStartfUseShowWindow = 0x00000001;
inline constexpr std::uint32_t kStartfUseStdHandles = 0x00000100;
inline constexpr std::uint16_t kSwHide = 0;
inline constexpr std::uint16_t kSwShowNormal = 1;
inline constexpr std::uint16_t kSwShowMinimized = 2;
inline constexpr std::uint16_t kSwShowMaximized = 3;
inline constexpr std::uint16_t kSwShowMinNoActive = 7;

// WaitForSingleObject.
inline constexpr std::uint32_t kInfinite = 0xFFFFFFFF;
inline constexpr std::uint32_t kWaitObject0 = 0;
inline constexpr std::uint32_t kWaitTimeout = 258;
inline constexpr std::uint32_t kWaitFailed = 0xFFFFFFFF;

// OpenProcess access rights (accepted, not enforced).
inline constexpr std::uint32_t kProcessAllAccess = 0x001F0FFF;
inline constexpr std::uint32_t kSynchronize = 0x00100000;

struct StartupInfo {
  std::uint32_t flags = 0;                    // kStartfUse...
  std::uint16_t show_window = kSwShowNormal;  // with kStartfUseShowWindow
  // With kStartfUseStdHandles: host descriptors for the child's standard input, output
  // and error; -1 keeps ours. Without it the child inherits ours (a detached child
  // gets /dev/null instead, having no console).
  int std_input = -1;
  int std_output = -1;
  int std_error = -1;
};

struct CreateProcessOptions {
  std::string application_name;  // "" = the first token of the command line
  std::uint32_t creation_flags = 0;
  // "NAME=value" entries (PATH in Windows form); nullopt = this process's environment.
  std::optional<std::vector<std::string>> environment;
  std::string current_directory;  // Windows path; "" = ours
  StartupInfo startup;
};

namespace internal {
struct ProcessRecord;
}

/// A process or thread handle. Copies refer to the same process; CloseHandle or the
/// destructor lets go of it.
class Handle {
 public:
  Handle() = default;
  bool valid() const { return record_ != nullptr; }

 private:
  friend struct HandleAccess;
  std::shared_ptr<internal::ProcessRecord> record_;
  bool is_thread_ = false;
};

struct ProcessInformation {
  Handle process;
  Handle thread;  // the main thread: for ResumeThread
  std::uint32_t process_id = 0;
  std::uint32_t thread_id = 0;
};

/// Starts a command line. False with the last error set when the program cannot be
/// found (kErrorFileNotFound), is not runnable (kErrorBadExeFormat, kErrorAccessDenied)
/// or the current directory is invalid (kErrorDirectory). `info` may be null.
bool CreateProcess(const std::string& command_line, const CreateProcessOptions& options,
                   ProcessInformation* info);

/// Lets a child created suspended run. Returns the previous suspend count (1, or 0 when
/// it was not suspended), 0xFFFFFFFF for a bad handle.
std::uint32_t ResumeThread(const Handle& thread);

/// Opens any process by id; a child of ours that has ended still opens (its exit code
/// is kept). An invalid handle and kErrorInvalidParameter when no such process exists.
Handle OpenProcess(std::uint32_t access, bool inherit, std::uint32_t process_id);

/// kWaitObject0 when the process has ended, kWaitTimeout, or kWaitFailed.
std::uint32_t WaitForSingleObject(const Handle& handle, std::uint32_t milliseconds);

/// The exit code, or kStillActive while it runs. For a process that is not our child
/// the code after its end is unknown: false with kErrorNotSupported.
bool GetExitCodeProcess(const Handle& process, std::uint32_t* exit_code);

/// Ends the process at once; its exit code becomes `exit_code`.
bool TerminateProcess(const Handle& process, std::uint32_t exit_code);

bool CloseHandle(Handle& handle);
std::uint32_t GetCurrentProcessId();
std::uint32_t GetProcessId(const Handle& process);

/// This process's command line as its parent wrote it (ZOMA_CMDLINE when it matches
/// our argv), else rebuilt from argv.
const std::string& GetCommandLine();

/// The start-up information the parent asked for (only the show state is carried).
StartupInfo GetStartupInfo();

}  // namespace platform
