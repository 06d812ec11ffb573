// The shell's verbs (ShellExecuteA). "open" on a web address or a document hands it to
// the user's default browser or opener: each entry of $BROWSER (':'-separated, "%s"
// standing for the address, else the address is appended), else xdg-open. A program is
// started with the parameters. Every request is recorded in the user-interface
// transcript ("shell<TAB>verb<TAB>target<TAB>result").
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// ShellExecute's error results; any result above 32 is success.
inline constexpr std::uintptr_t kSeErrFileNotFound = 2;
inline constexpr std::uintptr_t kSeErrAccessDenied = 5;
inline constexpr std::uintptr_t kSeErrNoAssociation = 31;
inline constexpr std::uintptr_t kShellExecuteSucceeded = 42;

/// ShellExecuteA without an owner window. `verb` "" means "open". A helper that fails
/// within a moment of starting (xdg-open finding no browser) counts as failure; one
/// still running then (a browser window) counts as success.
std::uintptr_t ShellExecute(const std::string& verb, const std::string& file,
                            const std::string& parameters, const std::string& directory,
                            int show_command);

}  // namespace platform
