// Is the client software installed? The launch-file type ".spi" names a file type in
// HKLM\Software\Classes; that type's open command must name a program that exists.
#pragma once

#include <optional>
#include <string>

namespace zoma::launcher {

/// The open command of the ".spi" file type; nullopt when either key or value is
/// missing or longer than the 1024-byte buffers.
std::optional<std::string> SpiOpenCommand();

/// The command with every double quote and every "%1" taken out, and the white space
/// the path would lose on Windows trimmed from its end.
std::string ProgramOfOpenCommand(const std::string& command);

/// True when the open command names an existing file.
bool IsClientInstalled();

}  // namespace zoma::launcher
