// The start-of-Windows actions: WININIT.INI, delayed renames and RunOnce.
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/ascii.h"
#include "platform/boot.h"
#include "platform/command_line.h"
#include "platform/delayed_move.h"
#include "platform/environment.h"
#include "platform/paths.h"
#include "platform/prefix.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/program_search.h"
#include "platform/registry.h"
#include "platform/sync.h"
#include "platform/sysinfo.h"

namespace platform {
namespace {

constexpr char kRestartPendingFile[] = "restart-pending";
constexpr char kShellOpenLog[] = "shell-open.log";

std::string ErrorText(Status status) { return " (error " + std::to_string(status) + ")"; }

class Reporter {
 public:
  explicit Reporter(BootReport* report) : report_(report) {}
  void Done(const std::string& line) { report_->lines.push_back(line); }
  void Failed(const std::string& line) {
    report_->lines.push_back(line + ErrorText(GetLastError()));
    report_->any_failed = true;
  }

 private:
  BootReport* report_;
};

bool AppendLine(const std::string& host_path, const std::string& line) {
  FILE* file = std::fopen(host_path.c_str(), "a");
  if (!file) {
    SetLastError(StatusFromErrno(errno));
    return false;
  }
  bool ok = std::fprintf(file, "%s\n", line.c_str()) >= 0;
  return std::fclose(file) == 0 && ok;
}

void ApplyAndReport(const std::string& origin, const PendingRename& rename, Reporter& report) {
  std::string what = rename.target.empty() ? rename.source : rename.source + " to " + rename.target;
  const char* verb = rename.target.empty() ? "delete" : "move";
  if (ApplyPendingRename(rename))
    report.Done(origin + ": " + verb + "d " + what);
  else
    report.Failed(origin + ": could not " + verb + " " + what);
}

void ApplyWininit(Reporter& report) {
  std::string windows = GetWindowsDirectory();
  std::string ini_path = JoinWindowsPath(windows, "WININIT.INI");
  std::string ini = ToHostPath(ini_path);
  if (ini.empty() || access(ini.c_str(), F_OK) != 0) return;
  for (const auto& [key, value] : LoadProfileDocument(ini_path).Entries("Rename")) {
    // "NUL=path" deletes; "dest=src" copies src over dest.
    bool is_delete = EqualsIgnoreCase(key, "NUL");
    ApplyAndReport("WININIT.INI", PendingRename{value, is_delete ? "" : key, true}, report);
  }
  std::string backup = ToHostPath(JoinWindowsPath(windows, "WININIT.BAK"));
  if (!backup.empty() && rename(ini.c_str(), backup.c_str()) == 0) {
    report.Done("WININIT.INI renamed to WININIT.BAK");
  } else {
    SetLastError(StatusFromErrno(errno));
    report.Failed("WININIT.INI could not be renamed to WININIT.BAK");
  }
}

void ApplyPendingRenames(Reporter& report) {
  MutexHandle guard = CreateMutex(kPendingRenamesMutex);
  WaitForMutex(guard, kInfinite);
  reg::Value value;
  if (reg::ReadValue(kSessionManagerKey, kPendingRenamesValue, &value) != kErrorSuccess) {
    ReleaseMutex(guard);
    return;
  }
  for (const PendingRename& rename : DecodePendingRenames(value.data))
    ApplyAndReport(kPendingRenamesValue, rename, report);
  reg::ScopedKey key;
  if (reg::OpenKey(reg::kLocalMachine, "System\\CurrentControlSet\\Control\\Session Manager",
                   reg::kKeySetValue, key.out()) == kErrorSuccess)
    reg::DeleteValue(key.get(), kPendingRenamesValue);
  ReleaseMutex(guard);
}

struct RunOnceEntry {
  std::string name;
  std::string command;
};

// The string values of RunOnce in enumeration order; values of other types are
// deleted unrun, as they could never run.
std::vector<RunOnceEntry> ReadRunOnce(reg::Hkey key) {
  std::vector<RunOnceEntry> entries;
  reg::KeyInfo info;
  if (reg::QueryInfoKey(key, &info) != kErrorSuccess) return entries;
  std::string name(info.max_value_name_length + 1, '\0');
  std::string data(info.max_value_data_size + 1, '\0');
  for (std::uint32_t index = 0;; ++index) {
    std::uint32_t name_size = static_cast<std::uint32_t>(name.size());
    std::uint32_t data_size = static_cast<std::uint32_t>(data.size());
    std::uint32_t type = 0;
    if (reg::EnumValue(key, index, name.data(), &name_size, &type, data.data(), &data_size) !=
        kErrorSuccess)
      break;
    std::string command(data.data(), data_size);
    while (!command.empty() && command.back() == '\0') command.pop_back();
    if (type == reg::kRegExpandSz)
      command = ExpandEnvironmentStrings(command);
    else if (type != reg::kRegSz)
      command.clear();
    entries.push_back({std::string(name.data(), name_size), command});
  }
  return entries;
}

// "start X": X without the word and without one pair of quotes, or "" for other lines.
std::string StartTarget(const std::string& command) {
  std::size_t begin = command.find_first_not_of(" \t");
  if (begin == std::string::npos ||
      !StartsWithIgnoreCase(std::string_view(command).substr(begin), "start"))
    return {};
  std::size_t rest = begin + 5;
  if (rest >= command.size() || (command[rest] != ' ' && command[rest] != '\t')) return {};
  std::string target = command.substr(command.find_first_not_of(" \t", rest));
  while (!target.empty() && (target.back() == ' ' || target.back() == '\t')) target.pop_back();
  return target;
}

void RunCommand(const std::string& name, const std::string& command, const BootOptions& options,
                Reporter& report) {
  std::string line = command;
  std::string target = StartTarget(command);
  if (!target.empty()) {
    FoundFile found;
    if (FindProgramFile(ParseProgramToken(target).program, &found) != kErrorSuccess) {
      std::string log = PrefixPath(kShellOpenLog);
      if (AppendLine(log, target))
        report.Done("RunOnce " + name + ": opened " + target + " (recorded in " + kShellOpenLog +
                    ")");
      else
        report.Failed("RunOnce " + name + ": could not record " + target);
      return;
    }
    line = target;
  }
  ProcessInformation info;
  if (!CreateProcess(line, {}, &info)) {
    report.Failed("RunOnce " + name + ": could not start " + line);
    return;
  }
  if (!options.wait_for_commands) {
    report.Done("RunOnce " + name + ": started " + line);
    return;
  }
  std::uint32_t code = 0;
  WaitForSingleObject(info.process, kInfinite);
  GetExitCodeProcess(info.process, &code);
  report.Done("RunOnce " + name + ": ran " + line + ", exit code " + std::to_string(code));
}

void ApplyRunOnce(const BootOptions& options, Reporter& report) {
  reg::ScopedKey key;
  if (reg::OpenKey(reg::kLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                   reg::kKeyRead | reg::kKeySetValue, key.out()) != kErrorSuccess)
    return;
  for (const RunOnceEntry& entry : ReadRunOnce(key.get())) {
    // Deleted before it runs, so that a command that fails or restarts runs only once
    // (a value another process took first is left to that process); a name that begins
    // with "!" asks for the deletion after the command instead.
    bool delete_after = !entry.name.empty() && entry.name[0] == '!';
    if (!delete_after && reg::DeleteValue(key.get(), entry.name.c_str()) != kErrorSuccess) continue;
    if (entry.command.empty())
      report.Done("RunOnce " + entry.name + ": removed (no command)");
    else
      RunCommand(entry.name, entry.command, options, report);
    if (delete_after) reg::DeleteValue(key.get(), entry.name.c_str());
  }
}

}  // namespace

bool ExitWindowsEx(std::uint32_t flags, std::uint32_t reason) {
  if ((flags & (kEwxShutdown | kEwxReboot | kEwxPoweroff)) == 0) return true;
  Status status = kErrorSuccess;
  std::string dir = PrefixDirectory(&status);
  if (dir.empty()) {
    SetLastError(status);
    return false;
  }
  char line[96];
  std::snprintf(line, sizeof line, "ExitWindowsEx flags=0x%08X reason=0x%08X pid=%u", flags, reason,
                GetCurrentProcessId());
  return AppendLine(dir + "/" + kRestartPendingFile, line);
}

bool IsRestartPending() {
  std::string path = PrefixPath(kRestartPendingFile);
  return !path.empty() && access(path.c_str(), F_OK) == 0;
}

BootReport ApplyPendingBootActions(const BootOptions& options) {
  BootReport report;
  Reporter reporter(&report);
  MutexHandle guard = CreateMutex("Zoma Platform Boot");
  WaitForMutex(guard, kInfinite);
  ApplyWininit(reporter);
  ApplyPendingRenames(reporter);
  ApplyRunOnce(options, reporter);
  std::string pending = PrefixPath(kRestartPendingFile);
  if (!pending.empty() && unlink(pending.c_str()) == 0) reporter.Done("restart request cleared");
  ReleaseMutex(guard);
  return report;
}

bool RunBootActionsIfPending() {
  if (!IsRestartPending()) return false;
  ApplyPendingBootActions();
  return true;
}

}  // namespace platform
