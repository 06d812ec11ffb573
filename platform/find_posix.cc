// Directory searches (FindFirstFileA and friends) with Windows wildcards matched against
// long and short names.
#include <algorithm>

#include "platform/file_info.h"
#include "platform/files.h"
#include "platform/path_resolve.h"
#include "platform/paths.h"

namespace platform {
namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// "*" and "?" against the whole name, without regard to case. Iterative, with one
// backtracking point, so that long patterns cannot blow up.
bool Glob(const std::string& pattern, const std::string& name) {
  std::size_t p = 0, n = 0, star = std::string::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || Upper(pattern[p]) == Upper(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (star != std::string::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool FillFindData(const std::string& host_dir, const std::string& name,
                  const std::string& short_name, FindData* data) {
  HostFileInfo info;
  std::string host = host_dir.back() == '/' ? host_dir + name : host_dir + "/" + name;
  if (!QueryHostFile(host, &info)) return false;
  data->attributes = info.attributes;
  data->creation_time = info.creation_time;
  data->last_access_time = info.last_access_time;
  data->last_write_time = info.last_write_time;
  data->size = info.size;
  data->name = name;
  data->short_name = short_name;
  return true;
}

}  // namespace

bool MatchesWildcard(const std::string& pattern, const std::string& name) {
  if (pattern == "*" || pattern == "*.*") return true;
  // "name.*" also matches "name" itself; "name." matches only names without a dot.
  if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0 &&
      Glob(pattern.substr(0, pattern.size() - 2), name))
    return true;
  if (!pattern.empty() && pattern.back() == '.' && pattern != "." && pattern != "..") {
    bool has_extension = name != "." && name != ".." && name.find('.') != std::string::npos;
    return !has_extension && Glob(pattern.substr(0, pattern.size() - 1), name);
  }
  return Glob(pattern, name);
}

FindHandle FindFirstFile(const std::string& pattern, FindData* data) {
  FindHandle handle;
  std::size_t separator = pattern.find_last_of("\\/");
  std::string dir, mask;
  if (separator != std::string::npos) {
    dir = pattern.substr(0, separator + 1);
    mask = pattern.substr(separator + 1);
  } else if (pattern.size() >= 2 && pattern[1] == ':') {
    dir = pattern.substr(0, 2);
    mask = pattern.substr(2);
  } else {
    dir = ".";
    mask = pattern;
  }
  std::string checked = mask;
  std::replace(checked.begin(), checked.end(), '*', '_');
  std::replace(checked.begin(), checked.end(), '?', '_');
  if (mask.empty()) {
    SetLastError(kErrorFileNotFound);
    return handle;
  }
  if (!IsValidLongName(checked)) {
    SetLastError(kErrorInvalidName);
    return handle;
  }
  ResolvedPath resolved;
  if (Status status = ResolvePath(dir, {}, &resolved); status != kErrorSuccess) {
    SetLastError(status);
    return handle;
  }
  if (resolved.windows.size() + mask.size() >= kMaxPath) {
    SetLastError(kErrorFilenameExcedRange);
    return handle;
  }
  std::vector<DirectoryName> entries;
  if (!resolved.exists || !ListDirectory(resolved.host, &entries)) {
    SetLastError(kErrorPathNotFound);
    return handle;
  }
  // Windows lists "." and ".." first in every directory but a drive's root.
  if (!resolved.names.empty()) {
    entries.insert(entries.begin(), {{".", ""}, {"..", ""}});
  }
  handle.host_dir_ = resolved.host;
  for (DirectoryName& entry : entries) {
    if (MatchesWildcard(mask, entry.long_name) ||
        (!entry.short_name.empty() && MatchesWildcard(mask, entry.short_name))) {
      handle.names_.push_back(std::move(entry.long_name));
      handle.short_names_.push_back(std::move(entry.short_name));
    }
  }
  handle.valid_ = true;
  if (!FindNextFile(handle, data)) {
    handle.valid_ = false;
    SetLastError(kErrorFileNotFound);
  }
  return handle;
}

bool FindNextFile(FindHandle& handle, FindData* data) {
  if (!handle.valid_) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  // Entries that vanished since the listing was read are passed over.
  while (handle.next_ < handle.names_.size()) {
    std::size_t i = handle.next_++;
    if (FillFindData(handle.host_dir_, handle.names_[i], handle.short_names_[i], data)) return true;
  }
  SetLastError(kErrorNoMoreFiles);
  return false;
}

bool FindClose(FindHandle& handle) {
  if (!handle.valid_) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  handle = FindHandle();
  return true;
}

}  // namespace platform
