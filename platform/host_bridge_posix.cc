// Path services for processes, modules and restart actions.
// TEMPORARY: a minimal stand-in until the path layer (paths.h, environment.h) is
// available; every function here becomes a call into it.
#include <unistd.h>

#include <cstdlib>

#include "platform/host_bridge.h"
#include "platform/prefix.h"

namespace platform::bridge {
namespace {

std::string Slashes(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

}  // namespace

std::string HostPath(const std::string& windows_path) {
  if (windows_path.size() >= 2 && windows_path[1] == ':') {
    char letter = static_cast<char>(windows_path[0] | 0x20);
    return PrefixPath(std::string("drives/") + letter) + Slashes(windows_path.substr(2));
  }
  return Slashes(windows_path);
}

std::string WindowsPath(const std::string& host_path) { return host_path; }

std::string FullWindowsPath(const std::string& path) {
  if (path.empty() || path[0] == '/' || path[0] == '\\' || (path.size() >= 2 && path[1] == ':'))
    return path;
  return JoinWindowsPath(CurrentDirectory(), path);
}

std::string CurrentDirectory() {
  char buffer[4096];
  return getcwd(buffer, sizeof buffer) ? WindowsPath(buffer) : std::string();
}

std::string WindowsDirectory() { return "C:\\WINDOWS"; }
std::string SystemDirectory() { return "C:\\WINDOWS\\SYSTEM32"; }

std::vector<std::string> PathDirectories() {
  std::vector<std::string> directories;
  const char* path = std::getenv("PATH");
  std::string list = path ? path : "";
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    if (end > start) directories.push_back(WindowsPath(list.substr(start, end - start)));
    start = end + 1;
  }
  return directories;
}

std::string HostPathList(const std::string& windows_list) { return windows_list; }

std::string JoinWindowsPath(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  char last = directory.back();
  return last == '\\' || last == '/' ? directory + name : directory + "\\" + name;
}

}  // namespace platform::bridge
