// The file rows of the system library: copy, move and delete, attributes, file times
// and shortcuts.
#include <cstdio>
#include <string>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/shell_link.h"
#include "script/lib/arguments.h"
#include "script/lib/path_parts.h"
#include "script/lib/system_rows.h"

namespace script {
namespace {

namespace p = platform;

// Copies every source onto the last argument in turn; user data 1 (MoveFile) also
// deletes each source that was copied. The destination is replaced in one step, and
// only once the copy has succeeded: a missing source, a copy onto itself or a full disk
// leave it as it was. Writes the number of successful copies.
void CopyFileBuiltin(Call& call) {
  const bool move = reinterpret_cast<intptr_t>(call.user_data) == 1;
  const std::string destination(Unquoted(call, call.argc - 1));
  int copied = 0;
  for (int i = 1; i < call.argc - 1; ++i) {
    std::string source(Unquoted(call, i));
    const std::uint32_t saved = p::GetFileAttributes(destination);
    const bool existed = saved != p::kInvalidFileAttributes;
    if (existed) p::SetFileAttributes(destination, p::kFileAttributeNormal);
    if (!p::CopyFile(source, destination, false)) {
      if (existed) p::SetFileAttributes(destination, saved);
      continue;
    }
    ++copied;
    if (move) {
      p::SetFileAttributes(source, p::kFileAttributeNormal);
      p::DeleteFile(source);
    }
  }
  call.WriteInteger(copied);
}

// Deletes each named file, read-only ones too; a file that will not go keeps its
// attributes. Writes the number deleted.
void DeleteFileBuiltin(Call& call) {
  int deleted = 0;
  for (int i = 1; i < call.argc; ++i) {
    std::string name(Unquoted(call, i));
    std::uint32_t attributes = p::GetFileAttributes(name);
    if (attributes != p::kInvalidFileAttributes) {
      p::SetFileAttributes(name, p::kFileAttributeNormal);
    }
    if (p::DeleteFile(name)) {
      ++deleted;
    } else if (attributes != p::kInvalidFileAttributes) {
      p::SetFileAttributes(name, attributes);
    }
  }
  call.WriteInteger(deleted);
}

void GetFileAttributesBuiltin(Call& call) {
  call.WriteInteger(
      static_cast<std::int32_t>(p::GetFileAttributes(std::string(Unquoted(call, 1)))));
}

void SetFileAttributesBuiltin(Call& call) {
  std::string name(Unquoted(call, 1));
  const auto attributes = static_cast<std::uint32_t>(call.Math(2));
  call.Write(p::SetFileAttributes(name, attributes) ? "1" : "0");
}

// Creates a missing file; time 0 sets an existing file's times to now, any other
// value sets them to that many seconds since 1970 (UTC).
void SetFileTimeBuiltin(Call& call) {
  const std::string name = NormaliseSlashes(Unquoted(call, 1), false);
  const std::int32_t seconds = call.Math(2);
  bool created = false;
  if (p::GetFileAttributes(name) == p::kInvalidFileAttributes) {
    std::FILE* file = p::OpenStdioFile(name, "wb");
    if (file == nullptr) return;
    std::fclose(file);
    created = true;
  }
  if (seconds == 0 && created) return;
  const p::FileTime time =
      seconds == 0 ? p::GetSystemTimeAsFileTime() : p::FileTimeFromUnixTime(seconds);
  p::File file;
  if (file.Open(name, p::kGenericWrite, p::Disposition::kOpenExisting))
    file.SetTime(nullptr, &time, &time);
}

// A shell link to the target with its description, nothing else: the link is set up
// the way IShellLinkA is by SetPath and SetDescription alone, so it names no working
// directory.
void CreateShortcutBuiltin(Call& call) {
  const std::string file(Unquoted(call, 1));
  p::ShellLink link;
  link.target = std::string(Unquoted(call, 2));
  link.description = std::string(Unquoted(call, 3));
  call.Write(p::SaveShellLink(file, link) ? "1" : "0");
}

const BuiltinRow kFileBuiltins[] = {
    {"CopyFile", CopyFileBuiltin, 0, 1},
    {"MoveFile", CopyFileBuiltin, 1, 1},
    {"DeleteFile", DeleteFileBuiltin, 0, 1},
    {"GetFileAttributes", GetFileAttributesBuiltin, 0, 1},
    {"SetFileAttributes", SetFileAttributesBuiltin, 0, 2},
    {"SetFileTime", SetFileTimeBuiltin, 0, 2},
    {"CreateShortcut", CreateShortcutBuiltin, 0, 3},
};

const ScriptBuiltinRow kFileScriptBuiltins[] = {
    {"TouchFile", "$SetFileTime{$TouchFile1;0}", 0},
};

}  // namespace

void RegisterSystemFileBuiltins(Instance* instance) {
  RegisterTable(instance, kFileBuiltins);
  RegisterTable(instance, kFileScriptBuiltins);
}

}  // namespace script
