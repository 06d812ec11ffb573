// Locating and laying out the prefix directory.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <set>

#include "platform/prefix.h"

namespace platform {
namespace {

std::string ConfiguredPrefix() {
  if (const char* prefix = std::getenv("ZOMA_PREFIX"); prefix && *prefix) return prefix;
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data)
    return std::string(data) + "/zoma";
  if (const char* home = std::getenv("HOME"); home && *home)
    return std::string(home) + "/.local/share/zoma";
  return {};
}

// mkdir -p; true when the directory exists afterwards.
bool MakeDirectories(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    std::string part = path.substr(0, slash);
    if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Creates a symbolic link unless something already has that name.
bool EnsureLink(const std::string& target, const std::string& link) {
  struct stat st;
  if (lstat(link.c_str(), &st) == 0) return true;
  return symlink(target.c_str(), link.c_str()) == 0 || errno == EEXIST;
}

Status CreateLayout(const std::string& dir) {
  bool ok = MakeDirectories(dir) && MakeDirectories(dir + "/drive_c/WINDOWS/SYSTEM32") &&
            MakeDirectories(dir + "/drive_c/WINDOWS/TEMP") && MakeDirectories(dir + "/drives") &&
            MakeDirectories(dir + "/locks") && EnsureLink("../drive_c", dir + "/drives/c") &&
            EnsureLink("/", dir + "/drives/z");
  return ok ? kErrorSuccess : StatusFromErrno(errno);
}

}  // namespace

std::string PrefixDirectory(Status* status) {
  static std::mutex mutex;
  static std::set<std::string> created;
  std::string dir = ConfiguredPrefix();
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  Status result = dir.empty() ? kErrorPathNotFound : kErrorSuccess;
  if (result == kErrorSuccess) {
    std::lock_guard<std::mutex> lock(mutex);
    if (!created.count(dir)) {
      result = CreateLayout(dir);
      if (result == kErrorSuccess) created.insert(dir);
    }
  }
  if (status) *status = result;
  return result == kErrorSuccess ? dir : std::string();
}

std::string PrefixPath(const std::string& relative) {
  std::string dir = PrefixDirectory();
  return dir.empty() ? dir : dir + "/" + relative;
}

}  // namespace platform
