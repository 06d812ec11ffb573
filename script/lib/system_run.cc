// Run: starts a command line through the platform's process layer, with standard input
// from a text and standard output and error captured in temporary files ("TSL*.tmp" in
// the temporary directory), then hands the results to a body or evaluates the output.
// Temporary files go at the end of the call, and at exit should the call not end.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "script/lib/arguments.h"
#include "script/lib/body_scope.h"
#include "script/lib/system_rows.h"

namespace script {
namespace {

namespace p = platform;

enum RunFlags : std::int32_t {
  kReturnStdout = 4,
  kHidden = 16,
  kMinimized = 32,
  kDetached = 64,
  kNoRedirection = 128,
  kMaximized = 256,
  kNoConsole = 512,
  kNewConsole = 1024,
  kRealtime = 2048,
  kHighPriority = 4096,
  kNormalPriority = 8192,
  kIdlePriority = 16384,
};

// Temporary files not yet deleted, for the exit handler.
std::mutex temporary_mutex;
std::vector<std::string>& PendingTemporaries() {
  static auto* files = new std::vector<std::string>;
  return *files;
}

void DeleteTemporariesAtExit() {
  std::lock_guard<std::mutex> lock(temporary_mutex);
  for (const std::string& name : PendingTemporaries()) p::DeleteFile(name);
  PendingTemporaries().clear();
}

// The call's temporary files: made empty when named, deleted when the call ends.
class Temporaries {
 public:
  ~Temporaries() {
    std::lock_guard<std::mutex> lock(temporary_mutex);
    std::vector<std::string>& pending = PendingTemporaries();
    for (const std::string& name : names_) {
      p::DeleteFile(name);
      for (auto it = pending.begin(); it != pending.end(); ++it) {
        if (*it == name) {
          pending.erase(it);
          break;
        }
      }
    }
  }

  // A new file, or "" when none can be made.
  std::string Make() {
    std::string name;
    if (p::GetTempFileName(p::GetTempPath(), "TSL", 0, &name) == 0) return {};
    std::lock_guard<std::mutex> lock(temporary_mutex);
    static bool handler_installed = false;
    if (!handler_installed) {
      std::atexit(DeleteTemporariesAtExit);
      handler_installed = true;
    }
    PendingTemporaries().push_back(name);
    names_.push_back(name);
    return name;
  }

 private:
  std::vector<std::string> names_;
};

// A host descriptor on a Windows path; closed when the object ends.
class Descriptor {
 public:
  // "NUL" is the null device, as on Windows.
  Descriptor(const std::string& windows_path, int flags) {
    if (windows_path.empty()) return;
    std::string host = windows_path == "NUL" ? "/dev/null" : p::ToHostPath(windows_path);
    if (!host.empty()) fd_ = open(host.c_str(), flags | O_CLOEXEC, 0644);
  }
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_ = -1;
};

// Evaluates argument i into the file, escapes removed: the child reads plain text.
bool EvaluateIntoFile(Call& call, int i, const std::string& name) {
  std::FILE* file = p::OpenStdioFile(name, "wb");
  if (file == nullptr) return false;
  {
    Stream stream(call.instance, call.out);
    stream.AttachString(call.Raw(i), "Run");
    stream.AttachUnescapeToFile(file);
    EvaluateStream(stream);
  }
  return std::fclose(file) == 0;
}

// Evaluates a captured file as script text into the call's output, read as it comes so
// that a child's huge output is never held whole.
void EvaluateCaptured(Call& call, const std::string& name) {
  std::FILE* file = p::OpenStdioFile(name, "rb");
  if (file == nullptr) return;
  Stream stream(call.instance, call.out);
  stream.AttachFileSource(file);  // closed with the stream
  stream.AttachForward(call.out);
  EvaluateStream(stream);
}

// RunStdout and RunStderr: ReadFile of the captured file with the caller's flags. The
// flag argument is taken raw and evaluated inside ReadFile, where its flag names
// (Verbatim, ...) are defined.
void DefineCapturedReader(Call& call, const char* name, const std::string& path) {
  TextBuffer quoted;
  QuoteText(path, TokenSet(), quoted);
  std::string body = "$ReadFile{" + std::string(quoted.view()) + ";$BinaryOr{$" + name +
                     "1;$DontSetCurrentScriptPath}}";
  DefineScriptBuiltin(call.instance, name, body.c_str(), kOwnsCopy, kDontEvaluateArguments);
}

std::uint32_t PriorityClass(std::int32_t flags) {
  if (flags & kRealtime) return p::kRealtimePriorityClass;
  if (flags & kHighPriority) return p::kHighPriorityClass;
  if (flags & kIdlePriority) return p::kIdlePriorityClass;
  return p::kNormalPriorityClass;
}

void RunBuiltin(Call& call) {
  const std::string command(Unquoted(call, 1));
  const std::int32_t flags = call.Has(4) ? call.Flags(4, {{"ReturnStdout", kReturnStdout},
                                                          {"Hidden", kHidden},
                                                          {"Minimized", kMinimized},
                                                          {"Minimize", kMinimized},
                                                          {"Detached", kDetached},
                                                          {"NoRedirection", kNoRedirection},
                                                          {"Maximized", kMaximized},
                                                          {"Maximize", kMaximized},
                                                          {"NoConsole", kNoConsole},
                                                          {"NewConsole", kNewConsole},
                                                          {"Realtime", kRealtime},
                                                          {"RealTime", kRealtime},
                                                          {"HighPriority", kHighPriority},
                                                          {"NormalPriority", kNormalPriority},
                                                          {"IdlePriority", kIdlePriority}})
                                         : kReturnStdout;
  const bool detached = flags & kDetached;
  const bool redirect = !(flags & kNoRedirection);
  Temporaries temporaries;

  std::string input_name;
  if (redirect && !call.Raw(2).empty()) {
    input_name = temporaries.Make();
    if (!input_name.empty() && !EvaluateIntoFile(call, 2, input_name)) input_name.clear();
  }
  std::string output_name, error_name;
  if (!detached && redirect) {
    output_name = temporaries.Make();
    error_name = temporaries.Make();
  }

  p::CreateProcessOptions options;
  options.creation_flags = PriorityClass(flags);
  if (flags & kNoConsole) {
    options.creation_flags |= p::kDetachedProcess;
  } else if (flags & kNewConsole) {
    options.creation_flags |= p::kCreateNewConsole;
  }
  if (flags & (kHidden | kMinimized | kMaximized)) {
    options.startup.flags |= p::kStartfUseShowWindow;
    options.startup.show_window = (flags & kHidden)      ? p::kSwHide
                                  : (flags & kMinimized) ? p::kSwShowMinimized
                                                         : p::kSwShowMaximized;
  }
  Descriptor input(input_name, O_RDONLY);
  Descriptor output(output_name, O_WRONLY | O_TRUNC);
  Descriptor error(error_name, O_WRONLY | O_TRUNC);
  if (!detached) {
    options.startup.flags |= p::kStartfUseStdHandles;
    if (redirect) {
      options.startup.std_input = input.get();
      options.startup.std_output = output.get();
      options.startup.std_error = error.get();
    }
  }
  // A handle that could not be made is the null device, never one of ours.
  Descriptor null_input(redirect && !detached && input.get() < 0 ? "NUL" : "", O_RDONLY);
  Descriptor null_output(
      redirect && !detached && (output.get() < 0 || error.get() < 0) ? "NUL" : "", O_WRONLY);
  if (!detached && redirect) {
    if (options.startup.std_input < 0) options.startup.std_input = null_input.get();
    if (options.startup.std_output < 0) options.startup.std_output = null_output.get();
    if (options.startup.std_error < 0) options.startup.std_error = null_output.get();
  }

  p::ProcessInformation process;
  const bool started = !command.empty() && command.find('\0') == std::string::npos &&
                       p::CreateProcess(command, options, &process);
  std::uint32_t exit_code = 0;
  if (started) {
    // The wait has no limit, but an instance stopped from another thread (a watchdog)
    // stops waiting; the child runs on.
    while (!detached && !call.instance->halted() &&
           p::WaitForSingleObject(process.process, 100) == p::kWaitTimeout) {
    }
    p::GetExitCodeProcess(process.process, &exit_code);
    p::CloseHandle(process.process);
    p::CloseHandle(process.thread);
  }

  // An empty body argument counts as none: "$Run{cmd;;;$Detached}".
  if (!call.Raw(3).empty()) {
    BodyScope scope(call);
    scope.Set("RunSuccess", started ? "1" : "0");
    scope.SetInteger("RunExitCode", static_cast<std::int32_t>(exit_code));
    DefineCapturedReader(call, "RunStdout", output_name);
    DefineCapturedReader(call, "RunStderr", error_name);
    scope.Run(3);
    return;
  }
  if (detached) {
    call.Write(started ? "1" : "0");
  } else if (started && !output_name.empty()) {
    EvaluateCaptured(call, output_name);
  }
}

const BuiltinRow kRunBuiltins[] = {
    {"Run", RunBuiltin, 0, 1},
};

}  // namespace

void RegisterRunBuiltins(Instance* instance) { RegisterTable(instance, kRunBuiltins); }

}  // namespace script
