// The directory built-ins of the file library: sizes, times and existence, creating,
// changing and removing directories, tree copies and moves, renaming, comparing files,
// path extensions and temporary files.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/directory_entries.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "script/evaluator.h"
#include "script/lib/directory_tree.h"
#include "script/libraries.h"
#include "script/script_files.h"
#include "script/tessel.h"

namespace script {
namespace {

// Argument i as script text (escapes kept), optionally with "/" turned into "\".
std::string ScriptPath(Call& call, int i, bool convert_slashes) {
  std::string path(call.Script(i));
  if (convert_slashes) std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

// A directory has no size of its own: the Windows runtime's file status says 0.
void FileSizeBuiltin(Call& call) {
  platform::PathStatus status;
  if (platform::GetPathStatus(FileNameArgument(call, 1), &status))
    call.WriteInteger(status.is_directory ? 0 : status.size);
}

void FileTimeBuiltin(Call& call) {
  platform::PathStatus status;
  if (platform::GetPathStatus(FileNameArgument(call, 1), &status))
    call.WriteInteger(status.modified);
}

void FileExistsBuiltin(Call& call) {
  std::string path = FileNameArgument(call, 1);
  bool exists =
      !path.empty() && platform::GetFileAttributes(path) != platform::kInvalidFileAttributes;
  call.Write(exists ? "1" : "0");
}

void DirectoryExistsBuiltin(Call& call) {
  std::string path = ScriptPath(call, 1, true);
  uint32_t attributes =
      path.empty() ? platform::kInvalidFileAttributes : platform::GetFileAttributes(path);
  bool exists = attributes != platform::kInvalidFileAttributes &&
                (attributes & platform::kFileAttributeDirectory);
  call.Write(exists ? "1" : "0");
}

// Every missing directory along the path: one attempt per "\" after the first
// character, then the whole path.
void MakeDirectoryBuiltin(Call& call) {
  std::string path = FileNameArgument(call, 1);
  int created = 0;
  for (size_t i = 1; i < path.size(); ++i) {
    if (path[i] == '\\' && platform::CreateDirectory(path.substr(0, i))) ++created;
  }
  if (!path.empty() && platform::CreateDirectory(path)) ++created;
  call.WriteInteger(created);
}

void ChangeDirectoryBuiltin(Call& call) {
  std::string path = ScriptPath(call, 1, false);
  call.Write(!path.empty() && platform::SetCurrentDirectory(path) ? "1" : "0");
}

void GetCurrentDirectoryBuiltin(Call& call) { call.Write(platform::GetCurrentDirectory()); }

// The directory itself after, with Recursive, everything below it. A link in its place
// is removed as a link: what it points at is not part of the tree.
void RemoveDirectoryBuiltin(Call& call) {
  std::string path = ScriptPath(call, 1, false);
  int32_t flags = call.Flags(2, {{"Recursive", 1}, {"Recursively", 1}});
  if (path.empty()) {
    call.WriteInteger(0);
    return;
  }
  int count = 0;
  if ((flags & 1) && platform::GetEntryKind(path) == platform::EntryKind::kLink) {
    count = platform::DeleteSymbolicLink(path) ? 1 : 0;
  } else {
    if (flags & 1) count = RunTreeOperation(TreeMode::kDelete, path, std::string());
    if (platform::RemoveDirectory(path)) ++count;
  }
  call.WriteInteger(count);
}

// CopyDirectoryTree (user data 2) and MoveDirectoryTree (3). A copy takes its paths as
// script text; a move takes them as file names (escapes removed, "/" as "\").
void CopyDirectoryTreeBuiltin(Call& call) {
  const auto mode = static_cast<TreeMode>(reinterpret_cast<intptr_t>(call.user_data));
  const bool move = mode == TreeMode::kMove;
  std::string source = move ? FileNameArgument(call, 1) : ScriptPath(call, 1, false);
  std::string target = move ? FileNameArgument(call, 2) : ScriptPath(call, 2, false);
  if (source.empty() || target.empty()) {
    call.WriteInteger(0);
    return;
  }
  int count = platform::CreateDirectory(target) ? 1 : 0;
  count += RunTreeOperation(mode, source, target);
  if (move) {
    // A source that is its own target stays.
    bool removed = false;
    if (!platform::IsSameFile(source, target)) {
      removed = platform::GetEntryKind(source) == platform::EntryKind::kLink
                    ? platform::DeleteSymbolicLink(source)
                    : platform::RemoveDirectory(source);
    }
    if (!removed) --count;
  }
  call.WriteInteger(count);
}

void RenameFileBuiltin(Call& call) {
  std::string from = ScriptPath(call, 1, false);
  std::string to = ScriptPath(call, 2, false);
  call.Write(!from.empty() && !to.empty() && platform::MoveFile(from, to) ? "1" : "0");
}

// Whether two open files hold the same bytes.
bool SameContents(std::FILE* a, std::FILE* b) {
  char left[16384];
  char right[16384];
  for (;;) {
    size_t got = std::fread(left, 1, sizeof left, a);
    size_t other = std::fread(right, 1, sizeof right, b);
    if (got != other || std::memcmp(left, right, got) != 0) return false;
    if (got < sizeof left) return !std::ferror(a) && !std::ferror(b);
  }
}

void CompareFilesBuiltin(Call& call) {
  std::string last_name = FileNameArgument(call, call.argc - 1);
  std::FILE* last = platform::OpenStdioFile(last_name, "rb");
  bool same = last != nullptr;
  for (int i = 1; same && i < call.argc - 1; ++i) {
    std::FILE* file = platform::OpenStdioFile(FileNameArgument(call, i), "rb");
    std::rewind(last);
    same = file != nullptr && SameContents(file, last);
    if (file != nullptr) std::fclose(file);
  }
  if (last != nullptr) std::fclose(last);
  call.Write(same ? "1" : "0");
}

// The extension of the last component: a "." in a directory name is not one.
void GetPathExtensionBuiltin(Call& call) {
  std::string path = ScriptPath(call, 1, false);
  size_t dot = path.rfind('.');
  if (dot == std::string::npos) return;
  size_t separator = path.find_last_of("\\/");
  if (separator != std::string::npos && separator > dot) return;
  call.Write(std::string_view(path).substr(dot + 1));
}

// Temporary files made for scripts, removed when the instance goes (or the process
// ends first).
struct TemporaryFiles {
  std::mutex lock;
  std::vector<std::string> names;
  bool cleanup_registered = false;
  bool exit_handler_registered = false;
};

TemporaryFiles& Temporaries() {
  static TemporaryFiles* files = new TemporaryFiles();  // outlives every exit handler
  return *files;
}

void RemoveTemporaryFiles() {
  TemporaryFiles& files = Temporaries();
  std::lock_guard<std::mutex> hold(files.lock);
  for (const std::string& name : files.names) {
    // Only what is still a plain file is ours to remove; a link is removed as a link.
    switch (platform::GetEntryKind(name)) {
      case platform::EntryKind::kFile:
        platform::SetFileAttributes(name, platform::kFileAttributeNormal);
        platform::DeleteFile(name);
        break;
      case platform::EntryKind::kLink:
        platform::DeleteSymbolicLink(name);
        break;
      default:
        break;
    }
  }
  files.names.clear();
  files.cleanup_registered = false;
}

void RemoveTemporaryFilesAtDestroy(Instance*) { RemoveTemporaryFiles(); }

void GetTemporaryFilenameBuiltin(Call& call) {
  std::string name;
  if (platform::GetTempFileName(platform::GetTempPath(), "TSL", 0, &name) == 0) return;
  TemporaryFiles& files = Temporaries();
  {
    std::lock_guard<std::mutex> hold(files.lock);
    files.names.push_back(name);
    if (!files.cleanup_registered) {
      files.cleanup_registered = true;
      RegisterCleanup(RemoveTemporaryFilesAtDestroy);
    }
    if (!files.exit_handler_registered) {
      files.exit_handler_registered = true;
      std::atexit(RemoveTemporaryFiles);
    }
  }
  call.Write(name);
}

const BuiltinRow kDirectoryBuiltins[] = {
    {"FileSize", FileSizeBuiltin, 0, 1},
    {"FileTime", FileTimeBuiltin, 0, 1},
    {"FileExists", FileExistsBuiltin, 0, 1},
    {"DirectoryExists", DirectoryExistsBuiltin, 0, 1},
    {"MakeDirectory", MakeDirectoryBuiltin, 0, 1},
    {"ChangeDirectory", ChangeDirectoryBuiltin, 0, 1},
    {"GetCurrentDirectory", GetCurrentDirectoryBuiltin, 0, 0},
    {"RemoveDirectory", RemoveDirectoryBuiltin, 0, 1},
    {"DeleteDirectory", RemoveDirectoryBuiltin, 0, 1},
    {"CopyDirectoryTree", CopyDirectoryTreeBuiltin, static_cast<intptr_t>(TreeMode::kCopy), 2},
    {"MoveDirectoryTree", CopyDirectoryTreeBuiltin, static_cast<intptr_t>(TreeMode::kMove), 2},
    {"RenameFile", RenameFileBuiltin, 0, 2},
    {"CompareFiles", CompareFilesBuiltin, 0, 2},
    {"GetPathExtension", GetPathExtensionBuiltin, 0, 1},
    {"GetTemporaryFilename", GetTemporaryFilenameBuiltin, 0, 0},
    {"GetTemporaryFile", GetTemporaryFilenameBuiltin, 0, 0},
};

const VariableRow kDirectoryVariables[] = {
    {"CurrentDirectory", "$GetCurrentDirectory{}", kStandardTokens},
};

const ScriptBuiltinRow kDirectoryScripts[] = {
    {"PushDirectory",
     "$C{__PDOldDir;$GetCurrentDirectory{};$SelfScoped}"
     "$Silent{$ChangeDirectory{$PushDirectory2}}$PushDirectory1$"
     "$Silent{$ChangeDirectory{$__PDOldDir}}$D{__PDOldDir;$SelfScoped}",
     kDontEvaluateArguments | kNoScope},
    {"RemoveDirectoryTree", "$RemoveDirectory{$RemoveDirectoryTree1;$Recursive}", 0},
};

}  // namespace

void RegisterDirectoryBuiltins(Instance* instance) {
  RegisterTable(instance, kDirectoryBuiltins);
  RegisterTable(instance, kDirectoryVariables);
  RegisterTable(instance, kDirectoryScripts);
}

}  // namespace script
