// Starting a process from a command line, the settings store's one way of running the
// client, the updater copies and the installer.
#pragma once

#include <string>

#include "platform/process.h"

namespace clientcfg {

inline constexpr unsigned kStartMinimized = 1;  // ask for the window shown minimised
inline constexpr unsigned kStartSuspended = 2;  // create suspended (cancelled by kStartWait)
inline constexpr unsigned kStartWait = 4;       // wait until the process ends

/// Starts the command line; true when the process was created. With `info` the caller
/// gets the handles and closes them; without, they are closed here (after the wait, with
/// kStartWait).
bool StartProcess(const std::string& command_line, unsigned options,
                  platform::ProcessInformation* info = nullptr);

}  // namespace clientcfg
