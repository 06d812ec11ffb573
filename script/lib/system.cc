// The system library: the file-system built-ins and the system services. This file
// holds the library's variables, the information and signalling rows (clock, sounds,
// beeps, debugger output, clipboard, operating-system version, system metrics) and the
// one registration function, which also registers the row groups of its sibling files.
#include <string>

#include "platform/clock.h"
#include "platform/debug_output.h"
#include "platform/module.h"
#include "platform/sound.h"
#include "platform/sysinfo.h"
#include "platform/ui.h"
#include "script/lib/arguments.h"
#include "script/lib/body_scope.h"
#include "script/lib/c_random.h"
#include "script/lib/system_rows.h"
#include "script/libraries.h"

namespace script {
namespace {

void ClockBuiltin(Call& call) {
  call.WriteInteger(static_cast<std::int32_t>(platform::TimeGetTime()));
}

void PlaySoundBuiltin(Call& call) {
  std::uint32_t flags = platform::kSndFilename;
  if (call.Has(2)) {
    flags |= static_cast<std::uint32_t>(call.Flags(2, {{"Asynchronous", 1},
                                                       {"Synchronous", 0},
                                                       {"Loop", 9},
                                                       {"NoDefault", 2},
                                                       {"NoStop", 16},
                                                       {"NoWait", 8192},
                                                       {"Purge", 64}}));
  }
  std::string sound(Unquoted(call, 1));
  if (sound.find('\0') != std::string::npos) return;
  platform::PlaySound(sound, flags);
}

void MessageBeepBuiltin(Call& call) {
  platform::ui::MessageBeep(call.Flags(1, {{"Standard", -1},
                                           {"Default", 0},
                                           {"Information", 64},
                                           {"Question", 32},
                                           {"Exclamation", 48},
                                           {"Exclaimation", 48},
                                           {"Warning", 48},
                                           {"Stop", 16},
                                           {"Error", 16}}));
}

// user data 0: OutputDebugString, 1: DebugBreak (which then stops in a debugger).
void DebugOutputBuiltin(Call& call) {
  std::string text(Unquoted(call, 1));
  text += "\r\n";
  platform::OutputDebugString(text);
  if (reinterpret_cast<intptr_t>(call.user_data) == 1) platform::DebugBreak();
}

void GetClipboardTextBuiltin(Call& call) {
  if (std::optional<std::string> text = platform::ui::GetClipboardText())
    WriteQuoted(call, std::string_view(*text).substr(0, text->find('\0')));
}

void SetClipboardTextBuiltin(Call& call) {
  if (!call.Has(1)) {
    platform::ui::SetClipboardText(std::nullopt);
    return;
  }
  std::string text(Unquoted(call, 1));
  platform::ui::SetClipboardText(text.substr(0, text.find('\0')));
}

void OSVersionBuiltin(Call& call) {
  const platform::OsVersionInfo info = platform::GetVersionEx();
  const char* code = "0";
  const char* name = "Unknown!";
  std::uint32_t build = info.build;
  switch (info.platform_id) {
    case platform::kVerPlatformWin32s:
      code = "3";
      name = "Win32s";
      break;
    case platform::kVerPlatformWin32Windows:
      code = "1";
      name = "Windows 95";
      build &= 0xFFFF;
      break;
    case platform::kVerPlatformWin32Nt:
      code = "2";
      name = "Windows NT";
      break;
  }
  if (!call.Has(1)) {
    call.Write(std::to_string(info.major) + "." + std::to_string(info.minor) + "." +
               std::to_string(build));
    return;
  }
  BodyScope scope(call);
  scope.Set("Unknown", "0");
  scope.Set("Windows95", "1");
  scope.Set("WindowsNT", "2");
  scope.Set("Win32s", "3");
  scope.Set("OS", code);
  scope.Set("OSName", name);
  scope.SetInteger("MajorVersion", info.major);
  scope.SetInteger("MinorVersion", info.minor);
  scope.SetInteger("BuildNumber", build);
  scope.SetQuoted("VersionDescription", info.service_pack);
  scope.Run(1);
}

// Metric names and their GetSystemMetrics indices; the flag value is the index plus
// one, so that 0 can mean "none".
constexpr FlagName kMetricNames[] = {
    {"CXScreen", 1},        {"CYScreen", 2},       {"CXVScroll", 3},
    {"CYHScroll", 4},       {"CYCaption", 5},      {"CXBorder", 6},
    {"CYBorder", 7},        {"CXDlgFrame", 8},     {"CXDialogFrame", 8},
    {"CYDlgFrame", 9},      {"CYDialogFrame", 9},  {"CYVThumb", 10},
    {"CXHThumb", 11},       {"CXIcon", 12},        {"CYIcon", 13},
    {"CXCursor", 14},       {"CYCursor", 15},      {"CYMenu", 16},
    {"CXFullScreen", 17},   {"CYFullScreen", 18},  {"CYKanjiWindow", 19},
    {"MousePresent", 20},   {"CYVScroll", 21},     {"CXHScroll", 22},
    {"Debug", 23},          {"SwapButton", 24},    {"Reserved1", 25},
    {"Reserved2", 26},      {"Reserved3", 27},     {"Reserved4", 28},
    {"CXMin", 29},          {"CYMin", 30},         {"CXSize", 31},
    {"CYSize", 32},         {"CXFrame", 33},       {"CYFrame", 34},
    {"CXMinTrack", 35},     {"CYMinTrack", 36},    {"CXDoubleClk", 37},
    {"CXDoubleClick", 37},  {"CYDoubleClk", 38},   {"CYDoubleClick", 38},
    {"CXIconSpacing", 39},  {"CYIconSpacing", 40}, {"MenuDropAlignment", 41},
    {"PenWindows", 42},     {"DBCSEnabled", 43},   {"CMouseButtons", 44},
    {"CXFixedFrame", 8},    {"CYFixedFrame", 9},   {"CXSizeFrame", 33},
    {"CYSizeFrame", 34},    {"Secure", 45},        {"CXEdge", 46},
    {"CYEdge", 47},         {"CXMinSpacing", 48},  {"CYMinSpacing", 49},
    {"CXSmIcon", 50},       {"CXSmallIcon", 50},   {"CYSmIcon", 51},
    {"CYSmallIcon", 51},    {"CYSmCaption", 52},   {"CYSmallCaption", 52},
    {"CXSmSize", 53},       {"CXSmallSize", 53},   {"CYSmSize", 54},
    {"CYSmallSize", 54},    {"CXMenuSize", 55},    {"CYMenuSize", 56},
    {"Arrange", 57},        {"CXMinimized", 58},   {"CYMinimized", 59},
    {"CXMaxTrack", 60},     {"CYMaxTrack", 61},    {"CXMaximized", 62},
    {"CYMaximized", 63},    {"Network", 64},       {"CleanBoot", 68},
    {"CXDrag", 69},         {"CYDrag", 70},        {"CXMenuCheck", 72},
    {"CYMenuCheck", 73},    {"SlowMachine", 74},   {"MidEastEnabled", 75},
    {"MideastEnabled", 75}, {"CMetrics", 77},
};

// The metric argument with every metric name defined: too many names for a flag list.
std::int32_t MetricArgument(Call& call) {
  SymbolTree& tree = call.instance->tree();
  tree.PushScope();
  for (const FlagName& metric : kMetricNames)
    tree.Bind(metric.name, MakeTextValue(tree, std::to_string(metric.value), kOwnsCopy), false, 0);
  const std::int32_t value = call.Math(1);
  tree.PopScope();
  return value;
}

void GetSystemMetricsBuiltin(Call& call) {
  const std::int32_t metric = MetricArgument(call);
  if (metric == 0) return;
  call.WriteInteger(platform::ui::GetSystemMetrics(metric - 1));
}

const BuiltinRow kSystemBuiltins[] = {
    {"Clock", ClockBuiltin, 0, 0},
    {"PlaySound", PlaySoundBuiltin, 0, 1},
    {"MessageBeep", MessageBeepBuiltin, 0, 1},
    {"OutputDebugString", DebugOutputBuiltin, 0, 0},
    {"DebugBreak", DebugOutputBuiltin, 1, 0},
    {"GetClipboardText", GetClipboardTextBuiltin, 0, 0},
    {"SetClipboardText", SetClipboardTextBuiltin, 0, 0},
    {"OSVersion", OSVersionBuiltin, 0, 0},
    {"GetSystemMetrics", GetSystemMetricsBuiltin, 0, 1},
};

const VariableRow kSystemVariables[] = {
    {"FileAttributeArchive", "32", 0},
    {"FileAttributeNormal", "128", 0},
    {"FileAttributeHidden", "2", 0},
    {"FileAttributeReadOnly", "1", 0},
    {"FileAttributeReadonly", "1", 0},
    {"FileAttributeSystem", "4", 0},
    {"FileAttributeTemporary", "256", 0},
    {"DriveNonexistant", "1", 0},
    {"DriveRemovable", "2", 0},
    {"DriveFixed", "3", 0},
    {"DriveRemote", "4", 0},
    {"DriveCDROM", "5", 0},
    {"DriveRamdisk", "6", 0},
    {"IdOk", "1", 0},
    {"IdOK", "1", 0},
    {"IdCancel", "2", 0},
    {"IdAbort", "3", 0},
    {"IdRetry", "4", 0},
    {"IdIgnore", "5", 0},
    {"IdYes", "6", 0},
    {"IdNo", "7", 0},
    {"REG_SZ", "1", 0},
    {"RegSz", "1", 0},
    {"REG_BINARY", "3", 0},
    {"RegBinary", "3", 0},
    {"REG_DWORD", "4", 0},
    {"RegDword", "4", 0},
};

// The directories and the program's path, as the Win32 calls give them into buffers
// of 260 characters; quoted, so that a path is read back as it is.
void SetPathVariables(Instance* instance) {
  const std::string module = platform::GetModuleFileName(nullptr);
  const std::pair<const char*, std::string> paths[] = {
      {"WindowsDirectory", platform::GetWindowsDirectory()},
      {"WindowsSystemDirectory", platform::GetSystemDirectory()},
      {"CurrentModulePath", module},
  };
  for (const auto& [name, path] : paths) {
    TextBuffer quoted;
    QuoteText(std::string_view(path).substr(0, 259), instance->tokens(), quoted);
    SetVariable(instance, name, quoted.view(), kOwnsCopy);
  }
}

}  // namespace

void RegisterSystemLibrary(Instance* instance) {
  RegisterTable(instance, kSystemVariables);
  SetPathVariables(instance);
  RegisterSystemPathBuiltins(instance);
  RegisterSystemFileBuiltins(instance);
  RegisterRegistryBuiltins(instance);
  RegisterIniBuiltins(instance);
  RegisterRunBuiltins(instance);
  RegisterDialogBuiltins(instance);
  RegisterTable(instance, kSystemBuiltins);
  SeedRandom(platform::TimeGetTime());
}

}  // namespace script
