// SearchPathA over the platform's paths.
#include <sys/stat.h>

#include <vector>

#include "platform/paths.h"
#include "platform/program_search.h"
#include "platform/search_path.h"
#include "platform/sysinfo.h"

namespace platform {
namespace {

bool IsFile(const std::string& windows_path) {
  std::string host = ToHostPath(windows_path);
  struct stat st;
  return !host.empty() && stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::vector<std::string> SplitList(const std::string& list) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(';', start);
    if (end == std::string::npos) end = list.size();
    if (end > start) items.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return items;
}

std::string Fail(Status* status) {
  SetLastError(kErrorFileNotFound);
  if (status) *status = kErrorFileNotFound;
  return {};
}

}  // namespace

std::string SearchPath(const char* path, const std::string& name, const char* extension,
                       Status* status) {
  if (name.empty() || name.size() >= kMaxPath || name.find('\0') != std::string::npos)
    return Fail(status);
  std::string file = name;
  if (extension && *extension && BaseName(name).find('.') == std::string::npos) file += extension;
  const bool as_written = HasDirectoryPart(file);
  std::vector<std::string> directories;
  if (as_written) {
    directories.push_back("");
  } else if (path) {
    directories = SplitList(path);
  } else {
    directories = {ApplicationDirectory(), GetCurrentDirectory(), GetSystemDirectory(),
                   GetWindowsDirectory() + "\\SYSTEM", GetWindowsDirectory()};
    for (std::string& directory : PathDirectories()) directories.push_back(directory);
  }
  for (const std::string& directory : directories) {
    if (directory.empty() && !as_written) continue;
    std::string candidate = as_written ? file : JoinWindowsPath(directory, file);
    if (candidate.size() >= kMaxPath || !IsFile(candidate)) continue;
    std::string full = GetFullPathName(candidate);
    if (full.empty()) continue;
    if (status) *status = kErrorSuccess;
    return full;
  }
  return Fail(status);
}

}  // namespace platform
