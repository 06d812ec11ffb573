// Fakes for the updater's tests: system services kept in memory, and an update library
// whose calls are C functions driven by a script of events per call.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "updater/system_services.h"
#include "updater/update_engine.h"
#include "updater/update_library.h"

namespace zoma::testing {

/// Files and directories in memory (paths compared without regard to case), processes
/// and the clock recorded.
class FakeSystemServices : public SystemServices {
 public:
  std::map<std::string, std::string> files;  // key: upper-case path
  std::set<std::string> directories;         // upper-case paths
  std::vector<std::string> started;          // command lines
  std::vector<std::string> copies;           // "from -> to"
  std::vector<int> sleeps;
  std::vector<int> exit_codes;
  std::map<std::string, std::string> environment;
  std::optional<std::uint32_t> free_space = 0x7FFFF000u;
  bool start_succeeds = true;
  bool mutex_free = true;
  std::time_t now = 1'000'000'000;
  std::string command_line = "ZomaUp.exe";
  std::string module_file_name = "C:\\ZOMA\\Programs\\ZomaUp.exe";

  static std::string Key(const std::string& path);
  void PutFile(const std::string& path, const std::string& content) { files[Key(path)] = content; }
  std::optional<std::string> File(const std::string& path) const;
  /// The log's lines without their time stamps.
  std::vector<std::string> LogLines(const std::string& path = "C:\\ZOMA\\update.log") const;

  bool IsRegularFile(const std::string& path) override;
  bool Exists(const std::string& path) override;
  bool CopyFile(const std::string& from, const std::string& to, bool fail_if_exists) override;
  bool DeleteFile(const std::string& path) override;
  bool RemoveDirectory(const std::string& path) override;
  bool CreateDirectoryTree(const std::string& path) override;
  bool RemoveDirectoryTree(const std::string& path) override;
  void SetHidden(const std::string&) override {}
  void MakeWritable(const std::string&) override {}
  std::optional<std::string> ReadFileHead(const std::string& path, std::size_t max_bytes) override;
  bool AppendToFile(const std::string& path, const std::string& text) override;
  std::optional<std::uint32_t> FreeDiskSpace() override { return free_space; }
  std::string WindowsDirectory() override { return "C:\\WINDOWS"; }
  std::string SystemDirectory() override { return "C:\\WINDOWS\\SYSTEM32"; }
  std::string CommandLine() override { return command_line; }
  std::string ModuleFileName() override { return module_file_name; }
  std::uint32_t CurrentProcessId() override { return 0x1234; }
  void WaitForProcessEnd(std::uint32_t) override {}
  bool StartProcess(const std::string& line) override;
  void ExitProcess(int code) override { exit_codes.push_back(code); }
  std::optional<std::string> GetEnvironment(const std::string& name) override;
  void SetEnvironment(const std::string& name, const std::string& value) override {
    environment[name] = value;
  }
  void* LoadModule(const std::string&) override { return nullptr; }
  void* ModuleSymbol(void*, const char*) override { return nullptr; }
  void FreeModule(void*) override {}
  bool TakeMutex(const std::string&) override { return mutex_free; }
  std::time_t Now() override { return now; }
  void Sleep(int milliseconds) override { sleeps.push_back(milliseconds); }
};

/// One event the fake library raises, and the answer it got.
struct FakeEvent {
  std::uint16_t code;
  std::optional<std::string> text;
};

/// The fake update library. Only one exists at a time; its calls reach it through a
/// process-wide pointer, as the real library's callbacks reach the engine.
class FakeLibrary {
 public:
  FakeLibrary();
  ~FakeLibrary();

  /// The call table to give the engine.
  const UpdateLibrary& calls() const { return calls_; }

  // Behaviour.
  bool init_succeeds = true;
  int append_log_result = 0;
  bool prepare_needed = false;
  int prepare_result = 0;
  int available = 1;
  std::uint32_t bytes = 1000;
  int update_result = 0;
  /// Events raised inside a call, per channel attempt (0-based count of inits).
  std::function<std::vector<FakeEvent>(int attempt, const std::string&channel_url)>
      availability_events, update_events, verify_events;
  std::map<std::string, std::string> properties;

  // What happened.
  std::vector<std::string> calls_made;  // "init <url>|<dir>|<options>", "log <text>", ...
  std::vector<std::pair<std::uint16_t, int>> answers;
  std::string last_profile;
  int attempts = 0;
  std::string credentials;

  static FakeLibrary* current;
  void Raise(const std::vector<FakeEvent>& events);
  MrbInitRecord init{};

 private:
  UpdateLibrary calls_;
  std::string url_;
};

/// A display that records what it is asked.
class RecordingDisplay : public SessionDisplay {
 public:
  std::vector<std::string> statuses;
  std::vector<int> progress;
  std::vector<std::string> errors;
  bool disk_space_ok = true;
  std::function<void()> on_status;

  void Status(const std::string& text) override {
    statuses.push_back(text);
    if (on_status) on_status();
  }
  void Progress(int percent) override { progress.push_back(percent); }
  void Error(const std::string& text) override { errors.push_back(text); }
  std::string TimeRemainingText(int percent) override { return "time " + std::to_string(percent); }
  bool DiskSpaceCheck(std::uint32_t) override { return disk_space_ok; }
};

/// A 3,668-byte launch record with the given OverrideMCP text and affiliation code.
std::string MakeLaunchRecord(const std::string& override_mcp, const std::string& affiliation);

}  // namespace zoma::testing
