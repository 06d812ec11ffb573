// Names stored in archives are outside input: before a file is written under one, the
// name must stay inside the directory being extracted into.
#pragma once

#include <string>
#include <string_view>

namespace script {

// The stored name as a relative Windows path, or false when it would leave the current
// directory: a drive letter or any ":", a leading "/" or "\", a ".." component, a
// component the file system cannot hold, a trailing separator. "." and empty components
// are dropped.
bool SafeRelativePath(std::string_view stored, std::string* path);

// SafeRelativePath, then every directory along the path is created; false as well when
// one of them exists as a symbolic link or is not a directory.
bool PrepareExtractionPath(std::string_view stored, std::string* path);

}  // namespace script
