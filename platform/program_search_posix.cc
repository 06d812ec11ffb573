// Program and library lookup by the Windows loader's rules.
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/environment.h"
#include "platform/paths.h"
#include "platform/program_search.h"
#include "platform/sysinfo.h"

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

// Tries each candidate name in each directory (or as written when there are no
// directories) and reports the first regular file.
Status FindFirst(const std::vector<std::string>& candidates,
                 const std::vector<std::string>& directories, FoundFile* found) {
  auto try_path = [&](const std::string& windows_path) {
    std::string host = ToHostPath(windows_path);
    if (!IsRegularFile(host)) return false;
    found->windows_path = GetFullPathName(windows_path);
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
      if (try_path(JoinWindowsPath(directory, name))) return kErrorSuccess;
  }
  return kErrorFileNotFound;
}

std::vector<std::string> WithPath(std::vector<std::string> directories) {
  for (std::string& directory : PathDirectories()) directories.push_back(directory);
  return directories;
}

}  // namespace

std::string ApplicationDirectory() {
  std::string program = ToWindowsPath(RunningProgramHostPath());
  std::size_t cut = program.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : program.substr(0, cut);
}

std::vector<std::string> PathDirectories() {
  std::vector<std::string> directories;
  std::string list;
  if (!GetEnvironmentVariable("PATH", &list)) return directories;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(';', start);
    if (end == std::string::npos) end = list.size();
    if (end > start) directories.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return directories;
}

std::string BaseName(const std::string& path) {
  std::size_t cut = path.find_last_of("\\/:");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool HasDirectoryPart(const std::string& name) {
  return name.find_first_of("\\/") != std::string::npos || (name.size() >= 2 && name[1] == ':');
}

std::string JoinWindowsPath(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  char last = directory.back();
  return last == '\\' || last == '/' ? directory + name : directory + "\\" + name;
}

std::string RunningProgramHostPath() {
  char buffer[4096];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return length > 0 ? std::string(buffer, static_cast<std::size_t>(length)) : std::string();
}

Status FindNamedFile(const std::string& name, FoundFile* found) {
  return FindFirst({name}, {}, found);
}

Status FindProgramFile(const std::string& name, FoundFile* found) {
  if (name.empty()) return kErrorFileNotFound;
  std::vector<std::string> candidates{name};
  if (!HasExtension(name)) candidates.push_back(name + ".exe");
  if (HasDirectoryPart(name)) return FindFirst(candidates, {}, found);
  return FindFirst(candidates,
                   WithPath({ApplicationDirectory(), GetCurrentDirectory(), GetSystemDirectory(),
                             GetWindowsDirectory()}),
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
                   WithPath({ApplicationDirectory(), GetSystemDirectory(), GetWindowsDirectory(),
                             GetCurrentDirectory()}),
                   found);
}

}  // namespace platform
