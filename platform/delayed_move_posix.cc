// Immediate and delayed file moves.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/delayed_move.h"
#include "platform/host_copy.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/sync.h"
#include "platform/win_error.h"

namespace platform {
namespace {

constexpr std::string_view kNtPrefix = "\\??\\";

bool Fail(Status status) {
  SetLastError(status);
  return false;
}

bool Exists(const std::string& host) {
  struct stat st;
  return lstat(host.c_str(), &st) == 0;
}

// Moves host paths; the target is replaced only when allowed.
bool MoveHost(const std::string& from, const std::string& to, bool replace, bool copy_allowed) {
  if (!Exists(from)) return Fail(kErrorFileNotFound);
  int result = replace ? rename(from.c_str(), to.c_str())
                       : renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
  if (result != 0 && !replace && errno == EINVAL) {  // file system without RENAME_NOREPLACE
    if (Exists(to)) return Fail(kErrorAlreadyExists);
    result = rename(from.c_str(), to.c_str());
  }
  if (result == 0) return true;
  if (errno == EEXIST) return Fail(kErrorAlreadyExists);
  if (errno != EXDEV) return Fail(StatusFromErrno(errno));
  if (!copy_allowed) return Fail(kErrorNotSameDevice);
  if (!replace && Exists(to)) return Fail(kErrorAlreadyExists);
  std::string temp = CopyBeside(from, to);
  if (temp.empty()) return false;
  if (rename(temp.c_str(), to.c_str()) != 0 || unlink(from.c_str()) != 0) {
    Status status = StatusFromErrno(errno);
    unlink(temp.c_str());
    return Fail(status);
  }
  return true;
}

std::string StripNtPrefix(std::string path) {
  if (path.compare(0, kNtPrefix.size(), kNtPrefix) == 0) path.erase(0, kNtPrefix.size());
  return path;
}

bool RecordDelayed(const std::string& existing, const char* new_name, bool replace) {
  PendingRename rename{GetFullPathName(existing),
                       new_name ? GetFullPathName(new_name) : std::string(), replace};
  if (rename.source.empty() || (new_name && rename.target.empty())) return Fail(kErrorPathNotFound);
  // Other processes append to the same value.
  MutexHandle guard = CreateMutex(kPendingRenamesMutex);
  WaitForMutex(guard, kInfinite);
  reg::Value value;
  std::vector<PendingRename> renames;
  if (reg::ReadValue(kSessionManagerKey, kPendingRenamesValue, &value) == kErrorSuccess &&
      value.type == reg::kRegMultiSz)
    renames = DecodePendingRenames(value.data);
  renames.push_back(rename);
  Status status = reg::WriteValue(kSessionManagerKey, kPendingRenamesValue, reg::kRegMultiSz,
                                  EncodePendingRenames(renames));
  ReleaseMutex(guard);
  return status == kErrorSuccess || Fail(status);
}

}  // namespace

std::vector<PendingRename> DecodePendingRenames(std::string_view data) {
  std::vector<std::string> strings;
  std::size_t start = 0;
  while (start < data.size()) {
    std::size_t end = data.find('\0', start);
    if (end == std::string_view::npos) end = data.size();
    strings.emplace_back(data.substr(start, end - start));
    start = end + 1;
  }
  std::vector<PendingRename> renames;
  for (std::size_t i = 0; i + 1 < strings.size(); i += 2) {
    if (strings[i].empty()) break;  // the closing empty string
    PendingRename rename;
    rename.source = StripNtPrefix(strings[i]);
    std::string target = strings[i + 1];
    if (!target.empty() && target[0] == '!') {
      rename.replace_existing = true;
      target.erase(0, 1);
    }
    rename.target = StripNtPrefix(target);
    renames.push_back(std::move(rename));
  }
  return renames;
}

std::string EncodePendingRenames(const std::vector<PendingRename>& renames) {
  std::string data;
  for (const PendingRename& rename : renames) {
    data += std::string(kNtPrefix) + rename.source;
    data.push_back('\0');
    if (!rename.target.empty())
      data += (rename.replace_existing ? "!" : "") + std::string(kNtPrefix) + rename.target;
    data.push_back('\0');
  }
  data.push_back('\0');
  return data;
}

bool ApplyPendingRename(const PendingRename& rename) {
  std::string source = ToHostPath(rename.source);
  if (source.empty()) return Fail(kErrorPathNotFound);
  if (rename.target.empty()) {
    struct stat st;
    if (lstat(source.c_str(), &st) != 0) return Fail(StatusFromErrno(errno));
    int result = S_ISDIR(st.st_mode) ? rmdir(source.c_str()) : unlink(source.c_str());
    return result == 0 || Fail(StatusFromErrno(errno));
  }
  std::string target = ToHostPath(rename.target);
  if (target.empty()) return Fail(kErrorPathNotFound);
  return MoveHost(source, target, rename.replace_existing, true);
}

bool MoveFileEx(const std::string& existing, const char* new_name, std::uint32_t flags) {
  bool replace = (flags & kMoveFileReplaceExisting) != 0;
  if (flags & kMoveFileDelayUntilReboot) {
    if (flags & kMoveFileCopyAllowed) return Fail(kErrorInvalidParameter);
    return RecordDelayed(existing, new_name, replace);
  }
  if (!new_name) return Fail(kErrorInvalidParameter);
  std::string from = ToHostPath(existing);
  std::string to = ToHostPath(new_name);
  if (from.empty() || to.empty()) return Fail(kErrorPathNotFound);
  return MoveHost(from, to, replace, (flags & kMoveFileCopyAllowed) != 0);
}

}  // namespace platform
