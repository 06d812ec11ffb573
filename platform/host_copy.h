// Copying a host file to a new temporary file beside a target, the first half of an
// atomic replace (the caller renames it over the target).
#pragma once

#include <cstddef>
#include <string>

namespace platform {

/// Copies the regular file `source` to a new file named after `target` with a unique
/// suffix, in the target's directory, keeping the source's mode and times. Returns its
/// path, or "" with the last error set.
std::string CopyBeside(const std::string& source, const std::string& target);

/// write() until everything is written; false on an error (errno tells which).
bool WriteAll(int fd, const char* data, std::size_t size);

}  // namespace platform
