// The patch and after-reboot rows of the version library: RTPatch over the outside
// patch library, IsFileWriteable, ModuleLoadsProperly, the changes scheduled for the
// next Windows start, and IsCookedFile.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "patchlib/rtpatch.h"
#include "platform/ascii.h"
#include "platform/clock.h"
#include "platform/delayed_move.h"
#include "platform/file_in_use.h"
#include "platform/files.h"
#include "platform/module.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/sysinfo.h"
#include "script/lib/arguments.h"
#include "script/libraries.h"
#include "script/standard_streams.h"
#include "script/user_function.h"

namespace script {
namespace {

constexpr std::uint32_t kMessagePatchingComplete = 12348765;

// The progress state of the running RTPatch call. The library calls back through a
// plain function, so the state is process-wide; one patch runs at a time.
struct PatchProgress {
  bool running = false;
  Call* call = nullptr;
  bool has_callback = false;
  std::string_view callback;  // raw text of the callback argument
  std::int32_t files_done = 0;
  std::int32_t total_files = 1;
  std::int32_t progress = 0;  // of the current file, 0-32768
  std::string file_name;
  std::int32_t last_percent = 0;
  bool aborting = false;
  bool has_error = false;
  std::string error;
  std::uint32_t last_pause = 0;
};

PatchProgress progress_state;

std::int32_t Percent(const PatchProgress& state) {
  if (state.files_done == 0) return 0;
  // A library that announces no files must not make the percentage divide by zero.
  const std::int32_t total = state.total_files > 0 ? state.total_files : 1;
  return ((state.progress * 100 >> 15) + (state.files_done - 1) * 100) / total;
}

void SetNumber(Instance* instance, const char* name, std::int64_t value) {
  SetVariable(instance, name, std::to_string(value), kOwnsCopy);
}

// Runs the script's callback in a scope of its own; false when it used Break.
bool RunCallbackBlock(PatchProgress& state, std::uint32_t message) {
  Instance* instance = state.call->instance;
  SymbolTree& tree = instance->tree();
  tree.PushScope();
  SetNumber(instance, "RTPatchPercent", state.last_percent);
  SetVariable(instance, "RTPatchFilename", state.file_name, kOwnsCopy);
  if (state.has_error) SetVariable(instance, "RTPatchError", state.error, kOwnsCopy);
  SetVariable(instance, "RTPatchAborting", state.aborting ? "1" : "0", kOwnsNothing);
  SetNumber(instance, "RTPatchFilesSoFar", state.files_done);
  SetNumber(instance, "RTPatchTotalFiles", state.total_files);
  SetNumber(instance, "RTPatchMessageID", message);
  static const VariableRow kConstants[] = {
      {"RTPatchMessageInvalidPatch", "14", 0}, {"RTPatchMessageError", "4", 0},
      {"RTPatchMessageProgress", "5", 0},      {"RTPatchMessageTotalFiles", "6", 0},
      {"RTPatchMessageNewFile", "7", 0},       {"RTPatchMessagePatchingComplete", "12348765", 0},
  };
  RegisterTable(instance, kConstants);
  bool stop = false;
  BlockMarker marker{"**BSN**", "rtpatch", &stop};
  tree.Bind("Break", MakeBuiltinValue(tree, BreakBuiltin, &marker, 0), false, tree.depth());
  RunBlock(*state.call->out, state.callback, &marker, false);
  tree.PopScope();
  return !stop;
}

void* PatchCallback(std::uint32_t message, void* parameter) {
  PatchProgress& state = progress_state;
  void* const go_on = reinterpret_cast<void*>(1);
  const std::uint32_t now = platform::TimeGetTime();
  if (now - state.last_pause > 105) {
    platform::Sleep(5);
    state.last_pause = platform::TimeGetTime();
  }
  if (state.aborting || state.call == nullptr) return nullptr;
  if (!state.has_callback) return go_on;

  bool report = false;
  switch (message) {
    case patchlib::kMessageError:
      state.aborting = true;
      state.has_error = true;
      state.error = parameter ? static_cast<const char*>(parameter) : "";
      report = true;
      break;
    case patchlib::kMessageProgress:
      if (parameter) state.progress = *static_cast<const std::uint32_t*>(parameter) & 0xFFFF;
      break;
    case patchlib::kMessageTotalFiles:
      state.total_files =
          parameter ? static_cast<std::int32_t>(*static_cast<const std::uint32_t*>(parameter)) : 0;
      state.progress = 0;
      state.files_done = 0;
      state.last_percent = 0;
      report = true;
      break;
    case patchlib::kMessageNewFile: {
      state.files_done++;
      state.progress = 0;
      const char* name = parameter ? static_cast<const char*>(parameter) : "";
      while (*name == ' ' || *name == '\t' || *name == '\r' || *name == '\n') ++name;
      state.file_name.assign(name, strnlen(name, platform::kMaxPath - 1));
      report = true;
      break;
    }
    case patchlib::kMessageInvalidPatch:
      state.aborting = true;
      state.has_error = true;
      state.error = "Patch file is invalid!";
      report = true;
      break;
    case kMessagePatchingComplete:
      break;
    default:
      return go_on;
  }
  const std::int32_t percent = Percent(state);
  if (report || percent != state.last_percent) {
    state.last_percent = percent;
    if (!RunCallbackBlock(state, message)) {
      state.call->Write("Returning NULL, which should cause an abort.\n");
      state.aborting = true;
    }
  }
  // Exit inside the callback ends the script; the patch should not go on without it.
  if (state.call->instance->halted()) state.aborting = true;
  return state.aborting ? nullptr : go_on;
}

void RTPatchBuiltin(Call& call) {
  if (call.argc > 3 || progress_state.running) return;
  platform::ModuleHandle library = platform::LoadLibrary(patchlib::kRTPatchLibraryName);
  if (library == nullptr) return;
  void* entry = platform::GetProcAddress(library, patchlib::kRTPatchEntryName);
  if (entry == nullptr) entry = platform::GetProcAddress(library, "RTPatchApply32@12");
  if (entry == nullptr) {
    platform::FreeLibrary(library);
    return;
  }
  progress_state = PatchProgress();
  progress_state.running = true;
  progress_state.call = &call;
  progress_state.has_callback = call.Has(2);
  progress_state.callback = call.Raw(2);
  progress_state.last_pause = platform::TimeGetTime();
  std::string command_line(call.Script(1));
  auto apply = reinterpret_cast<patchlib::RTPatchApply32Function>(entry);
  const std::uint32_t result = apply(command_line.c_str(), PatchCallback, 1);
  if (!progress_state.aborting) PatchCallback(kMessagePatchingComplete, nullptr);
  progress_state = PatchProgress();
  platform::FreeLibrary(library);
  call.WriteInteger(static_cast<std::int32_t>(result));
}

// Exclusive write access, as CreateFile with no sharing grants it: the file must open
// for writing and no process may hold it open or mapped.
void IsFileWriteableBuiltin(Call& call) {
  std::string path(Unquoted(call, 1));
  if (platform::GetFileAttributes(path) == platform::kInvalidFileAttributes) {
    call.Write("1");
    return;
  }
  platform::File file;
  bool writeable = file.Open(path, platform::kGenericWrite, platform::Disposition::kOpenExisting);
  file.Close();
  call.Write(writeable && !platform::IsFileInUse(path) ? "1" : "0");
}

std::string AbsoluteModulePath(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  if (path.size() >= 2 && path[1] == ':') return path;
  std::string current = platform::GetCurrentDirectory();
  if (!path.empty() && path[0] == '\\') return current.substr(0, 2) + path;
  if (current.empty() || current.back() != '\\') current += '\\';
  return current + path;
}

bool SameHostFile(const std::string& a, const std::string& b) {
  struct stat first, second;
  std::string host_a = platform::ToHostPath(a), host_b = platform::ToHostPath(b);
  return !host_a.empty() && !host_b.empty() && stat(host_a.c_str(), &first) == 0 &&
         stat(host_b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

void ModuleLoadsProperlyBuiltin(Call& call) {
  const std::string path = AbsoluteModulePath(std::string(call.Script(1)));
  std::FILE* out = StandardOutput();
  std::fprintf(out, "Looking for %s\n", path.c_str());
  std::fflush(out);
  if (platform::GetFileAttributes(path) == platform::kInvalidFileAttributes) {
    call.Write("1");
    return;
  }
  const std::string name = path.substr(path.find_last_of('\\') + 1);
  platform::ModuleHandle module = platform::GetModuleHandle(name);
  const bool loaded_here = module == nullptr;
  if (loaded_here) module = platform::LoadLibrary(path);
  if (module == nullptr) {
    call.Write("2");
    return;
  }
  const std::string loaded_from = platform::GetModuleFileName(module);
  // The same file reached by another spelling (a short name, another drive letter)
  // still loads from where it lies.
  const bool same =
      platform::EqualsIgnoreCase(loaded_from, path) || SameHostFile(loaded_from, path);
  if (loaded_here) platform::FreeLibrary(module);
  call.Write(same ? "0" : loaded_here ? "3" : "4");
}

std::string HostShortName(const std::string& path);

// The 8.3 form WININIT.INI needs, through the script's own GetShortFilename. A file
// that does not exist yet (a move's new name) has none: its folder is shortened and its
// name kept, so the entry still names the right place.
std::string ShortName(Call& call, const std::string& path) {
  if (call.instance->tree().FindValue("GetShortFilename") == nullptr) return HostShortName(path);
  const TokenSet& tokens = call.instance->tokens();
  TextBuffer& text = call.Scratch();
  text.Clear();
  text.Append(tokens.call());
  text.Append("GetShortFilename");
  text.Append(tokens.open());
  QuoteText(path, tokens, text);
  text.Append(tokens.close());
  TextBuffer& result = call.Scratch();
  result.Clear();
  EvaluateToBuffer(call.instance, call.out, text.view(), result, true);
  if (result.size() > 0) return std::string(result.view());
  return HostShortName(path);
}

std::string HostShortName(const std::string& path) {
  std::string short_path = platform::GetShortPathName(path);
  if (!short_path.empty()) return short_path;
  const std::size_t slash = path.find_last_of('\\');
  if (slash == std::string::npos) return path;
  std::string folder = platform::GetShortPathName(path.substr(0, slash));
  if (folder.empty()) return path;
  // A drive's root comes back with its backslash ("C:\"): the name follows it directly.
  if (folder.back() != '\\') folder += '\\';
  return folder + path.substr(slash + 1);
}

// Windows 95 reads every line of [Rename] in order, duplicates included, so each
// request is added as a line of its own: replacing an earlier "NUL=" would silently
// drop a delete already scheduled.
bool AddRenameLine(const std::string& key, const std::string& value) {
  return platform::AppendPrivateProfileLine("Rename", key, value, "WININIT.INI");
}

// user_data: 0 delete, 1 move.
void AfterRebootBuiltin(Call& call) {
  const bool move = call.user_data != nullptr;
  if (move && !call.Has(2)) return;
  std::string source(Unquoted(call, 1));
  std::string destination = move ? std::string(Unquoted(call, 2)) : std::string();
  if (platform::GetVersionEx().platform_id == platform::kVerPlatformWin32Windows) {
    const std::string short_source = ShortName(call, source);
    if (!move) {
      AddRenameLine("NUL", short_source);
      return;
    }
    const std::string short_destination = ShortName(call, destination);
    AddRenameLine("NUL", short_destination);
    AddRenameLine(short_destination, short_source);
    return;
  }
  if (move) {
    platform::MoveFileEx(source, destination.c_str(),
                         platform::kMoveFileDelayUntilReboot | platform::kMoveFileReplaceExisting);
  } else {
    platform::MoveFileEx(source, nullptr, platform::kMoveFileDelayUntilReboot);
  }
}

void IsCookedFileBuiltin(Call& call) {
  std::FILE* file = platform::OpenStdioFile(std::string(Unquoted(call, 1)), "rb");
  char magic[4] = {};
  bool cooked =
      file != nullptr && std::fread(magic, 1, 4, file) == 4 && std::memcmp(magic, "LCH!", 4) == 0;
  if (file) std::fclose(file);
  call.Write(cooked ? "1" : "0");
}

}  // namespace

void RegisterPatchRows(Instance* instance) {
  static const BuiltinRow kRows[] = {
      {"RTPatch", RTPatchBuiltin, 0, 1},
      {"IsFileWriteable", IsFileWriteableBuiltin, 0, 1},
      {"ModuleLoadsProperly", ModuleLoadsProperlyBuiltin, 0, 1},
      {"DeleteFileAfterReboot", AfterRebootBuiltin, 0, 1},
      {"MoveFileAfterReboot", AfterRebootBuiltin, 1, 1},
      {"IsCookedFile", IsCookedFileBuiltin, 0, 1},
  };
  RegisterTable(instance, kRows);
}

}  // namespace script
