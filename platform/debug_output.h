// Debugger output on POSIX: OutputDebugStringA's text goes where a developer can read
// it (a "debug" line of the user-interface transcript, the file named by
// ZOMA_DEBUG_LOG, and standard error while a debugger is attached), and DebugBreak
// stops only in an attached debugger.
#pragma once

#include <string>

namespace platform {

/// OutputDebugStringA: the text as given (callers add their own line ends).
void OutputDebugString(const std::string& text);

/// IsDebuggerPresent: a tracer is attached to this process.
bool IsDebuggerPresent();

/// DebugBreak: a breakpoint trap when a debugger is attached; otherwise the process
/// goes on (where Windows would end an undebugged program, nobody could act on it).
void DebugBreak();

}  // namespace platform
