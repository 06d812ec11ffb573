// A ZomaUp installation in a fresh prefix for whole-program tests: the program and an
// update library in Programs, a stand-in client in System that records how it was
// started, the main registry values and a launch record; and the means to run the
// program and read its log, its user-interface transcript and the client's record.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry.h"
#include "platform/testing/temp_prefix.h"
#include "updater/testing/fakes.h"

extern char** environ;

namespace zoma::testing {

namespace fs = std::filesystem;
namespace reg = platform::reg;
using Lines = std::vector<std::string>;

namespace fs = std::filesystem;
namespace reg = platform::reg;
using Lines = std::vector<std::string>;

inline constexpr const char* kMain = "HKLM\\Software\\Norvance\\Zoma\\Main";
inline constexpr const char* kUpdate = "HKLM\\Software\\Norvance\\Zoma\\Update";
inline const std::string kU = "OP_UPDATE/OP_REPAIR->";

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline Lines SplitLines(const std::string& text) {
  Lines lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class ZomaUpInstallation : public ::testing::Test {
 protected:
  ZomaUpInstallation() {
    root_ = prefix_.drive_c() + "/ZOMA";
    fs::create_directories(root_ + "/Programs");
    fs::create_directories(root_ + "/System");
    fs::copy_file(ZOMAUP_PROGRAM, root_ + "/Programs/ZomaUp.exe");
    fs::copy_file(STUB_UPDATE_LIBRARY, root_ + "/Programs/mrbupd.dll");
    // The client: records its LAUNCHCODE and arguments.
    std::ofstream(root_ + "/System/ZOMA.EXE")
        << "#!/bin/sh\nprintf '%s\\n' \"$LAUNCHCODE\" \"$@\" > '" << ClientMarker() << "'\n";
    fs::permissions(root_ + "/System/ZOMA.EXE", fs::perms::owner_all);
    reg::WriteString(kMain, "Root Directory", "C:\\ZOMA");
    reg::WriteString(kMain, "Current Version", "2.0");
    for (const char* region : {"default", "europe", "japan"})
      reg::WriteString(std::string(kUpdate) + "\\Servers", std::string(region) + ".production",
                       std::string(region) + ".test.example:8080");
    WriteRecord("mcp.europe.zoma.example", "AFF01");
    env_["ZOMA_UI"] = "none";
    env_["ZOMA_UI_LOG"] = prefix_.dir() + "/ui.log";
    env_["ZOMA_STUB_CALLS"] = prefix_.dir() + "/calls.log";
  }

  void WriteRecord(const std::string& mcp, const std::string& affiliation) {
    std::ofstream(prefix_.drive_c() + "/rec.spi", std::ios::binary)
        << testing::MakeLaunchRecord(mcp, affiliation);
  }

  std::string ClientMarker() const { return prefix_.dir() + "/client-started"; }

  // Starts a program of the installation with the test's environment.
  pid_t Start(const std::string& host_program, const Lines& arguments) {
    std::map<std::string, std::string> env;
    for (char** e = environ; *e; ++e) {
      std::string entry = *e;
      std::size_t eq = entry.find('=');
      if (eq != std::string::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    env.erase("ZOMA_CMDLINE");
    for (const auto& [name, value] : env_) env[name] = value;
    std::vector<std::string> env_strings, argv_strings{host_program};
    for (const auto& [name, value] : env) env_strings.push_back(name + "=" + value);
    argv_strings.insert(argv_strings.end(), arguments.begin(), arguments.end());
    std::vector<char*> envp, argv;
    for (std::string& s : env_strings) envp.push_back(s.data());
    for (std::string& s : argv_strings) argv.push_back(s.data());
    envp.push_back(nullptr);
    argv.push_back(nullptr);
    pid_t pid = 0;
    // The program runs in the prefix, so that nothing it writes by a relative path lands
    // among the sources.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, prefix_.dir().c_str());
    EXPECT_EQ(posix_spawn(&pid, host_program.c_str(), &actions, nullptr, argv.data(), envp.data()),
              0);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
  }

  // The exit code; a program still running after a minute is killed (-1).
  int Wait(pid_t pid) {
    int status = 0;
    for (int i = 0; i < 1200; ++i) {
      if (waitpid(pid, &status, WNOHANG) == pid)
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
  }

  int RunZomaUp(const Lines& arguments = {"C:\\rec.spi"}) {
    return Wait(Start(root_ + "/Programs/ZomaUp.exe", arguments));
  }

  // Waits for the client of a chain of processes that this test does not parent.
  bool WaitForClient() {
    for (int i = 0; i < 400; ++i) {
      if (fs::exists(ClientMarker()) && !ReadFile(ClientMarker()).empty()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  Lines Client() { return SplitLines(ReadFile(ClientMarker())); }

  Lines Log() {
    Lines lines;
    for (const std::string& line : SplitLines(ReadFile(root_ + "/update.log"))) {
      std::size_t stamp_end = line.find("]  ");
      lines.push_back(line.substr(stamp_end == std::string::npos ? 0 : stamp_end + 3));
    }
    return lines;
  }

  std::string Transcript() { return ReadFile(env_["ZOMA_UI_LOG"]); }
  Lines Calls() { return SplitLines(ReadFile(env_["ZOMA_STUB_CALLS"])); }

  static int Count(const Lines& lines, const std::string& line) {
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
  }

  platform::testing::TempPrefix prefix_;
  std::string root_;
  std::map<std::string, std::string> env_;
};

}  // namespace zoma::testing
