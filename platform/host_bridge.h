// The services that processes, modules and the restart machinery take from the path
// and directory layer, gathered in one place so that each stays a thin call.
#pragma once

#include <string>
#include <vector>

namespace platform::bridge {

/// Host path of a Windows path (case-insensitive lookup); "" when it cannot be mapped.
std::string HostPath(const std::string& windows_path);
/// Windows form of a host path.
std::string WindowsPath(const std::string& host_path);
/// The full Windows path (current directory applied, "." and ".." folded).
std::string FullWindowsPath(const std::string& path);
/// The current directory in Windows form.
std::string CurrentDirectory();
/// C:\WINDOWS and C:\WINDOWS\SYSTEM32.
std::string WindowsDirectory();
std::string SystemDirectory();
/// The directories of PATH in Windows form, in order.
std::vector<std::string> PathDirectories();
/// A PATH value in Windows form turned into the host's form, for a child's environment.
std::string HostPathList(const std::string& windows_list);
/// Joins a Windows directory and a name with one backslash.
std::string JoinWindowsPath(const std::string& directory, const std::string& name);

}  // namespace platform::bridge
