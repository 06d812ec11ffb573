// The restart of Windows, emulated: nothing here ever restarts or shuts down the host.
// ExitWindowsEx only leaves prefix/restart-pending behind; ApplyPendingBootActions then
// does what the next start of Windows would do, in Windows' order:
//   1. the [Rename] section of WININIT.INI in the Windows directory ("NUL=path" deletes
//      path, "dest=src" moves src over dest), after which the file becomes WININIT.BAK;
//   2. PendingFileRenameOperations (delayed_move.h), in order, then the value is deleted;
//   3. every value of HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce: the value
//      is deleted (after the command when its name begins with "!"), then its command runs ("start
//      X" opens X with the shell: a program is run, anything else is recorded in
//      prefix/shell-open.log, since this machine has no shell to hand it to);
// and finally restart-pending is removed. Every step consumes what it applied, so a
// second run does nothing; concurrent runs are serialised.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// ExitWindowsEx flags.
inline constexpr std::uint32_t kEwxLogoff = 0x0;
inline constexpr std::uint32_t kEwxShutdown = 0x1;
inline constexpr std::uint32_t kEwxReboot = 0x2;
inline constexpr std::uint32_t kEwxForce = 0x4;
inline constexpr std::uint32_t kEwxPoweroff = 0x8;

inline constexpr char kRunOnceKey[] =
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

/// Records a shutdown or restart request (appends a line with the flags to
/// prefix/restart-pending). A logoff is accepted and changes nothing.
bool ExitWindowsEx(std::uint32_t flags, std::uint32_t reason);

/// True while a shutdown or restart request waits to be applied.
bool IsRestartPending();

struct BootOptions {
  // Wait for each RunOnce command to end (zomaboot does; programs at start do not, so
  // that a long-running command never holds up their start).
  bool wait_for_commands = false;
};

/// What was done, one line per action, for zomaboot to print.
struct BootReport {
  std::vector<std::string> lines;
  bool any_failed = false;
};

BootReport ApplyPendingBootActions(const BootOptions& options = {});

/// For the programs' start: applies the pending actions when a restart was requested.
/// True when they ran.
bool RunBootActionsIfPending();

}  // namespace platform
