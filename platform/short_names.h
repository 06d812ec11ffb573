// Generated 8.3 short names. A name that already is a valid upper-case 8.3 name has none;
// every other name gets BASENA~N.EXT: its first six usable characters in upper case, N
// counting up in directory order among the names that would collide, skipping numbers
// whose result is already taken by a real name. The same listing always gives the same
// short names.
#pragma once

#include <string>
#include <vector>

#include "platform/ascii.h"

namespace platform {

// File names compare like this everywhere in the Windows view: ASCII letters without
// regard to case, every other byte as it is.

// True when the name is its own short name (upper case, at most 8.3, legal characters).
bool IsShortName(const std::string& name);

// Short names for a directory listing given in directory order: result[i] belongs to
// names[i] and is "" when that name needs none.
std::vector<std::string> GenerateShortNames(const std::vector<std::string>& names);

// One directory entry as the Windows view sees it.
struct DirectoryName {
  std::string long_name;
  std::string short_name;  // "" when the long name is already an 8.3 name
};

// Reads a host directory's names (without "." and "..") in directory order, which is
// name order (NameOrderLess, as NTFS keeps them) whatever order the host file system
// returns them in. False (and errno set) when the directory cannot be read; the names
// read until then are still given.
bool ReadDirectoryNames(const std::string& host_dir, std::vector<std::string>* names);

// The same listing with short names.
bool ListDirectory(const std::string& host_dir, std::vector<DirectoryName>* entries);

}  // namespace platform
