// The path rows of the system library: paths taken apart as text, full paths, program
// search, long and short names, disk space, drives and volume labels.
#include <cstdlib>
#include <string>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/search_path.h"
#include "platform/sysinfo.h"
#include "platform/volume.h"
#include "script/lib/arguments.h"
#include "script/lib/path_parts.h"
#include "script/lib/system_rows.h"

namespace script {
namespace {

int Selector(const Call& call) {
  return static_cast<int>(reinterpret_cast<intptr_t>(call.user_data));
}

void GetPathDriveBuiltin(Call& call) {
  std::string_view path = Unquoted(call, 1);
  std::size_t drive = DrivePartLength(path);
  if (drive > 0) WriteQuoted(call, path.substr(0, drive));
}

// 0: GetPathDirectory (after the drive part), 1: StripPathFilename (with it).
void PathDirectoryBuiltin(Call& call) {
  std::string_view path = Unquoted(call, 1);
  const std::size_t name = FileNameStart(path);
  if (Selector(call) == 1) {
    WriteQuoted(call, path.substr(0, name));
    return;
  }
  const std::size_t drive = DrivePartLength(path);
  if (drive > 0 && name > drive) WriteQuoted(call, path.substr(drive, name - drive));
}

// 0: the file name, 1: without its extension, 2: the extension alone.
void PathFilenameBuiltin(Call& call) {
  std::string_view path = Unquoted(call, 1);
  std::string_view name = path.substr(FileNameStart(path));
  const std::size_t dot = name.rfind('.');
  switch (Selector(call)) {
    case 0:
      if (!name.empty()) WriteQuoted(call, name);
      break;
    case 1:
      WriteQuoted(call, name.substr(0, dot));
      break;
    default:
      if (dot != std::string_view::npos) WriteQuoted(call, name.substr(dot + 1));
      break;
  }
}

// 0: free space, 1: total space; only for a path that starts with a drive root.
void DiskSpaceBuiltin(Call& call) {
  std::string_view path = Unquoted(call, 1);
  if (path.size() < 3 || path[1] != ':' || !IsSlash(path[2])) return;
  std::string root{path[0], ':', '\\'};
  std::uint32_t sectors = 0, bytes = 0, free_clusters = 0, total_clusters = 0;
  if (!platform::GetDiskFreeSpace(root.c_str(), &sectors, &bytes, &free_clusters, &total_clusters))
    return;
  // A 32-bit product, as Windows 95 programs computed it; the platform caps the
  // counts so that it does not wrap.
  std::uint32_t product = sectors * bytes * (Selector(call) == 0 ? free_clusters : total_clusters);
  call.WriteInteger(static_cast<std::int32_t>(product));
}

void AbsolutePathBuiltin(Call& call) {
  std::string path = NormaliseSlashes(Unquoted(call, 1), false);
  if (path.find('\0') != std::string::npos) return;
  char buffer[256];
  if (platform::FullPath(buffer, path.c_str(), sizeof buffer) != nullptr) WriteQuoted(call, buffer);
}

void FindProgramBuiltin(Call& call) {
  std::string name(Unquoted(call, 1));
  if (name.empty()) return;
  std::string found;
  if (name.find('.') != std::string::npos) found = platform::SearchPath(nullptr, name, nullptr);
  for (const char* extension : {".com", ".exe", ".bat"}) {
    if (!found.empty()) break;
    found = platform::SearchPath(nullptr, name, extension);
  }
  if (!found.empty()) WriteQuoted(call, found);
}

// Replaces each component after the root by the name a directory search reports.
// 0: the long names, 1: the 8.3 names. Nothing when any component is missing.
void ConvertFilenameBuiltin(Call& call) {
  const bool want_short = Selector(call) == 1;
  std::string path(Unquoted(call, 1));
  for (char& c : path)
    if (c == '/') c = '\\';
  if (path.find('\0') != std::string::npos || path.find_first_of("*?") != std::string::npos) return;
  std::string result;
  std::size_t at;
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    if (want_short) return;
    // The server and share stay as they are, with the backslash after the share.
    at = path.find('\\', 2);
    if (at != std::string::npos) at = path.find('\\', at + 1);
    at = at == std::string::npos ? path.size() : at + 1;
  } else if (path.size() >= 3 && path[1] == ':' && path[2] == '\\') {
    at = 3;
  } else {
    return;  // only absolute paths have a meaning here
  }
  result = path.substr(0, at);
  while (at < path.size()) {
    std::size_t end = path.find('\\', at);
    if (end == std::string::npos) end = path.size();
    if (end == at) return;  // an empty component
    platform::FindData data;
    platform::FindHandle search = platform::FindFirstFile(path.substr(0, end), &data);
    if (!search.valid()) return;
    platform::FindClose(search);
    result += want_short && !data.short_name.empty() ? data.short_name : data.name;
    if (end < path.size()) result += '\\';
    at = end + 1;
  }
  WriteQuoted(call, result);
}

void GetDriveTypeBuiltin(Call& call) {
  std::string_view root = Unquoted(call, 1);
  // White space as the C library's isspace has it, vertical tab and form feed too.
  while (!root.empty() &&
         std::string_view(" \t\n\v\f\r").find(root.front()) != std::string_view::npos)
    root.remove_prefix(1);
  std::string text(root);
  if (text.empty()) {
    std::string current = platform::GetCurrentDirectory();
    if (current.size() >= 2 && current[1] == ':') text = current.substr(0, 2) + "\\";
  }
  call.WriteInteger(platform::GetDriveType(text));
}

void GetDriveListBuiltin(Call& call) {
  const std::uint32_t drives = platform::GetLogicalDrives();
  bool first = true;
  for (int bit = 0; bit < 26; ++bit) {
    if (!(drives & (1u << bit))) continue;
    if (!first && call.Has(2)) call.EvaluateIntoOutput(call.Raw(2));
    first = false;
    char letter = static_cast<char>('A' + bit);
    call.Write(std::string_view(&letter, 1));
    if (call.Has(1)) call.EvaluateIntoOutput(call.Raw(1));
  }
}

void GetVolumeNameBuiltin(Call& call) {
  platform::VolumeInformation info;
  bool ok;
  if (!call.Has(1)) {
    ok = platform::GetVolumeInformation(nullptr, &info);
  } else {
    std::string path(Unquoted(call, 1));
    const std::size_t drive = DrivePartLength(path);
    if (drive > 0) path = path.substr(0, drive + 1);
    ok =
        path.find('\0') == std::string::npos && platform::GetVolumeInformation(path.c_str(), &info);
  }
  WriteQuoted(call, ok ? info.label : std::string());
}

const BuiltinRow kPathBuiltins[] = {
    {"GetPathDrive", GetPathDriveBuiltin, 0, 1},
    {"GetPathDirectory", PathDirectoryBuiltin, 0, 1},
    {"StripPathFilename", PathDirectoryBuiltin, 1, 1},
    {"GetPathFilename", PathFilenameBuiltin, 0, 1},
    {"GetPathBasename", PathFilenameBuiltin, 1, 1},
    {"GetPathExtension", PathFilenameBuiltin, 2, 1},
    {"GetDiskFreeSpace", DiskSpaceBuiltin, 0, 1},
    {"GetDiskTotalSpace", DiskSpaceBuiltin, 1, 1},
    {"AbsolutePath", AbsolutePathBuiltin, 0, 1},
    {"FindProgram", FindProgramBuiltin, 0, 1},
    {"GetLongFilename", ConvertFilenameBuiltin, 0, 1},
    {"GetShortFilename", ConvertFilenameBuiltin, 1, 1},
    {"GetDriveType", GetDriveTypeBuiltin, 0, 0},
    {"GetDriveList", GetDriveListBuiltin, 0, 0},
    {"GetVolumeName", GetVolumeNameBuiltin, 0, 0},
};

const ScriptBuiltinRow kPathScriptBuiltins[] = {
    {"ForDriveList", "$ForSplit{$ForDriveList1;$ForDriveList2;$GetDriveList{$ForDriveList3$:~};~}",
     kDontEvaluateArguments},
};

}  // namespace

void RegisterSystemPathBuiltins(Instance* instance) {
  RegisterTable(instance, kPathBuiltins);
  RegisterTable(instance, kPathScriptBuiltins);
}

}  // namespace script
