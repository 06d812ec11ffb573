// The stand-in client run as a program: the handshake and the launch record it reads.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "platform/testing/temp_prefix.h"
#include "updater/launch_code.h"

namespace {

struct ClientRun {
  int status;
  std::string output;
};

ClientRun RunClient(const std::vector<std::string>& arguments) {
  // Single quotes keep the shell away from the backslashes of Windows paths.
  std::string command = ZOMA_CLIENT;
  for (const std::string& argument : arguments) command += " '" + argument + "'";
  FILE* pipe = popen(command.c_str(), "r");
  ClientRun run{-1, ""};
  if (!pipe) return run;
  std::array<char, 256> chunk;
  while (std::fgets(chunk.data(), chunk.size(), pipe)) run.output += chunk.data();
  int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST(ZomaClient, AcceptsOnlyAFreshLaunchCode) {
  platform::testing::TempPrefix prefix;
  // Plain arguments are Windows paths: a host path would read as a switch.
  std::string record = platform::ToWindowsPath(prefix.dir() + "/game.record");
  ASSERT_EQ(RunClient({"--write-record", record, "--game", "42", "--mcp", "mcp.europe.zoma.example",
                       "--affiliation", "AFF7"})
                .status,
            0);

  unsetenv(zoma::kLaunchCodeVariable);
  ClientRun missing = RunClient({"/NOMOTD", record});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.output.find("LAUNCHCODE: missing"), std::string::npos);
  EXPECT_NE(missing.output.find("GameID: 42"), std::string::npos);
  EXPECT_NE(missing.output.find("OverrideMCP: mcp.europe.zoma.example"), std::string::npos);
  EXPECT_NE(missing.output.find("Affiliation: AFF7"), std::string::npos);

  std::time_t now = std::time(nullptr);
  setenv(zoma::kLaunchCodeVariable, zoma::MakeLaunchCode(now - 64).c_str(), 1);
  EXPECT_EQ(RunClient({record}).status, 0);  // the window before still counts
  setenv(zoma::kLaunchCodeVariable, zoma::MakeLaunchCode(now - 192).c_str(), 1);
  EXPECT_EQ(RunClient({record}).status, 2);
  setenv(zoma::kLaunchCodeVariable, zoma::MakeLaunchCode(now).c_str(), 1);
  ClientRun accepted = RunClient({"/arg with space", record});
  EXPECT_EQ(accepted.status, 0);
  EXPECT_NE(accepted.output.find("LAUNCHCODE: valid"), std::string::npos);
  unsetenv(zoma::kLaunchCodeVariable);
}

TEST(ZomaClient, UnreadableRecordIsShownNotFatal) {
  platform::testing::TempPrefix prefix;
  setenv(zoma::kLaunchCodeVariable, zoma::MakeLaunchCode().c_str(), 1);
  ClientRun run = RunClient({platform::ToWindowsPath(prefix.dir()) + "\\missing.record"});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.output.find("not a launch record"), std::string::npos);
  EXPECT_EQ(RunClient({"--write-record"}).status, 64);
  unsetenv(zoma::kLaunchCodeVariable);
}

TEST(ZomaClient, ReadsAnyLaunchFileThroughTheLibrary) {
  platform::testing::TempPrefix prefix;
  setenv("ZOMA_HOSTS", "/dev/null", 1);  // no host names: numeric addresses
  setenv(zoma::kLaunchCodeVariable, zoma::MakeLaunchCode().c_str(), 1);
  std::string record = platform::ToWindowsPath(prefix.dir() + "/game.record");
  ASSERT_EQ(RunClient({"--write-record", record, "--command", "4", "--url", "http://zoma.example/",
                       "--mcp-address", "udp:10.0.0.1:3501", "--server", "tcp:10.0.0.2:80",
                       "--lobby", "0x10"})
                .status,
            0);
  ClientRun run = RunClient({record});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.output.find("  Command: 4\n"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("  LobbyID: 16\n"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("  URL: http://zoma.example/\n"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("  MCP1: udp:10.0.0.1:3501\n"), std::string::npos) << run.output;
  // A server address without a host name is not kept.
  EXPECT_EQ(run.output.find("Servorum1"), std::string::npos) << run.output;

  // Text launch files read the same way, and a refused one says why.
  std::ofstream(prefix.dir() + "/game.spi") << "[Main]\nGameID=77\n";
  run = RunClient({platform::ToWindowsPath(prefix.dir() + "/game.spi")});
  EXPECT_NE(run.output.find("  GameID: 77\n"), std::string::npos) << run.output;
  std::ofstream(prefix.dir() + "/old.spi") << "[Main]\nExpires=1999/12/31\n";
  run = RunClient({platform::ToWindowsPath(prefix.dir() + "/old.spi")});
  EXPECT_NE(run.output.find("not a launch record: the file has expired"), std::string::npos)
      << run.output;
  EXPECT_EQ(RunClient({"--write-record", record, "--server", "ipx:1:2"}).status, 64);
  EXPECT_EQ(RunClient({"--write-record", record, "--game", "many"}).status, 64);
  unsetenv(zoma::kLaunchCodeVariable);
  unsetenv("ZOMA_HOSTS");
}

}  // namespace
