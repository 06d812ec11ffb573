// Finding the file behind a program or library name the way the Windows loader does:
// a default extension for names without one, and a fixed directory order for names
// given without a path.
#pragma once

#include <string>
#include <vector>

#include "platform/win_error.h"

namespace platform {

struct FoundFile {
  std::string windows_path;
  std::string host_path;
};

/// CreateProcess: ".exe" is tried when the name has no extension and the plain name is
/// not a file; a bare name is looked for in the application directory, the current
/// directory, the system and Windows directories, then PATH.
Status FindProgramFile(const std::string& name, FoundFile* found);

/// A regular file by exactly this name (relative names from the current directory).
Status FindNamedFile(const std::string& name, FoundFile* found);

/// LoadLibrary: ".dll" is appended when the name has no extension (a trailing "."
/// means "no extension"); a bare name is looked for in the application directory, the
/// system and Windows directories, the current directory, then PATH.
Status FindLibraryFile(const std::string& name, FoundFile* found);

/// The directories of PATH (in Windows form, ";"-separated), in order.
std::vector<std::string> PathDirectories();

/// The directory of the running program, in Windows form.
std::string ApplicationDirectory();

/// Host path of the running program (/proc/self/exe).
std::string RunningProgramHostPath();

/// The last component of a Windows or host path.
std::string BaseName(const std::string& path);

/// True when the name carries a directory part (a separator or a drive).
bool HasDirectoryPart(const std::string& name);

/// Joins a Windows directory and a name with one backslash.
std::string JoinWindowsPath(const std::string& directory, const std::string& name);

}  // namespace platform
