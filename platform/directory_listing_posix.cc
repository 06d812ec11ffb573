// Reading a host directory with the short names the Windows view gives its entries.
#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/short_names.h"

namespace platform {

bool ReadDirectoryNames(const std::string& host_dir, std::vector<std::string>* names) {
  names->clear();
  DIR* dir = opendir(host_dir.c_str());
  if (!dir) return false;
  errno = 0;
  while (const dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
      names->emplace_back(entry->d_name);
  }
  int read_error = errno;
  closedir(dir);
  // The host's order differs between file systems and machines; this one does not.
  std::sort(names->begin(), names->end(), NameOrderLess);
  errno = read_error;
  return read_error == 0;
}

bool ListDirectory(const std::string& host_dir, std::vector<DirectoryName>* entries) {
  entries->clear();
  std::vector<std::string> names;
  if (!ReadDirectoryNames(host_dir, &names)) return false;
  std::vector<std::string> short_names = GenerateShortNames(names);
  entries->reserve(names.size());
  for (std::size_t i = 0; i < names.size(); ++i)
    entries->push_back({std::move(names[i]), std::move(short_names[i])});
  return true;
}

}  // namespace platform
