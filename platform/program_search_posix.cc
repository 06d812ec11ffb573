// Program and library lookup by the Windows loader's rules.
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/host_bridge.h"
#include "platform/program_search.h"

namespace platform {
namespace {

bool HasExtension(const std::string& name) {
  std::string base = BaseName(name);
  return base.find('.') != std::string::npos;
}

bool IsRegularFile(const std::string& host_path) {
  struct stat st;
  return !host_path.empty() && stat(host_path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string ApplicationDirectory() {
  std::string program = bridge::WindowsPath(RunningProgramHostPath());
  std::size_t cut = program.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : program.substr(0, cut);
}

// Tries each candidate name in each directory (or as written when there are no
// directories) and reports the first regular file.
Status FindFirst(const std::vector<std::string>& candidates,
                 const std::vector<std::string>& directories, FoundFile* found) {
  auto try_path = [&](const std::string& windows_path) {
    std::string host = bridge::HostPath(windows_path);
    if (!IsRegularFile(host)) return false;
    found->windows_path = bridge::FullWindowsPath(windows_path);
    found->host_path = host;
    return true;
  };
  if (directories.empty()) {
    for (const std::string& name : candidates)
      if (try_path(name)) return kErrorSuccess;
    return kErrorFileNotFound;
  }
  for (const std::string& directory : directories) {
    if (directory.empty()) continue;
    for (const std::string& name : candidates)
      if (try_path(bridge::JoinWindowsPath(directory, name))) return kErrorSuccess;
  }
  return kErrorFileNotFound;
}

std::vector<std::string> WithPath(std::vector<std::string> directories) {
  for (std::string& directory : bridge::PathDirectories()) directories.push_back(directory);
  return directories;
}

}  // namespace

std::string BaseName(const std::string& path) {
  std::size_t cut = path.find_last_of("\\/:");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool HasDirectoryPart(const std::string& name) {
  return name.find_first_of("\\/") != std::string::npos || (name.size() >= 2 && name[1] == ':');
}

std::string RunningProgramHostPath() {
  char buffer[4096];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return length > 0 ? std::string(buffer, static_cast<std::size_t>(length)) : std::string();
}

Status FindProgramFile(const std::string& name, FoundFile* found) {
  if (name.empty()) return kErrorFileNotFound;
  std::vector<std::string> candidates{name};
  if (!HasExtension(name)) candidates.push_back(name + ".exe");
  if (HasDirectoryPart(name)) return FindFirst(candidates, {}, found);
  return FindFirst(candidates,
                   WithPath({ApplicationDirectory(), bridge::CurrentDirectory(),
                             bridge::SystemDirectory(), bridge::WindowsDirectory()}),
                   found);
}

Status FindLibraryFile(const std::string& name, FoundFile* found) {
  if (name.empty()) return kErrorModNotFound;
  std::string file = name;
  if (file.back() == '.')
    file.pop_back();
  else if (!HasExtension(file))
    file += ".dll";
  if (HasDirectoryPart(file)) return FindFirst({file}, {}, found);
  return FindFirst({file},
                   WithPath({ApplicationDirectory(), bridge::SystemDirectory(),
                             bridge::WindowsDirectory(), bridge::CurrentDirectory()}),
                   found);
}

}  // namespace platform
