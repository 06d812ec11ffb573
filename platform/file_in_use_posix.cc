// The in-use test over /proc: open descriptors (/proc/<pid>/fd), the program
// (/proc/<pid>/exe) and mappings (/proc/<pid>/maps) are compared by device and inode.
#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/file_in_use.h"
#include "platform/paths.h"

namespace platform {
namespace {

bool SameFile(const char* path, const struct stat& target) {
  struct stat info;
  return stat(path, &info) == 0 && info.st_dev == target.st_dev && info.st_ino == target.st_ino;
}

bool HoldsOpen(const std::string& process_dir, const struct stat& target) {
  DIR* fds = opendir((process_dir + "/fd").c_str());
  if (fds == nullptr) return false;
  bool found = false;
  while (dirent* entry = readdir(fds)) {
    if (entry->d_name[0] == '.') continue;
    if (SameFile((process_dir + "/fd/" + entry->d_name).c_str(), target)) {
      found = true;
      break;
    }
  }
  closedir(fds);
  return found;
}

// Lines of maps: "start-end perms offset major:minor inode path".
bool HasMapped(const std::string& process_dir, const struct stat& target) {
  std::FILE* maps = std::fopen((process_dir + "/maps").c_str(), "re");
  if (maps == nullptr) return false;
  char line[4096 + 256];
  bool found = false;
  while (!found && std::fgets(line, sizeof line, maps)) {
    unsigned major_number = 0, minor_number = 0;
    unsigned long long inode = 0;
    if (std::sscanf(line, "%*s %*s %*s %x:%x %llu", &major_number, &minor_number, &inode) == 3 &&
        inode == target.st_ino && major_number == major(target.st_dev) &&
        minor_number == minor(target.st_dev)) {
      found = true;
    }
  }
  std::fclose(maps);
  return found;
}

}  // namespace

bool IsHostFileInUse(const std::string& host_path) {
  struct stat target;
  if (stat(host_path.c_str(), &target) != 0 || !S_ISREG(target.st_mode)) return false;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return false;
  bool in_use = false;
  while (!in_use) {
    dirent* entry = readdir(proc);
    if (entry == nullptr) break;
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    const std::string process_dir = std::string("/proc/") + entry->d_name;
    in_use = SameFile((process_dir + "/exe").c_str(), target) || HoldsOpen(process_dir, target) ||
             HasMapped(process_dir, target);
  }
  closedir(proc);
  return in_use;
}

bool IsFileInUse(const std::string& windows_path) {
  std::string host = ToHostPath(windows_path);
  return !host.empty() && IsHostFileInUse(host);
}

}  // namespace platform
