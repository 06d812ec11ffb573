// zomaspi run as a program in a fresh installation with its own default.spi and
// extra.spi: what it shows, finds, converts and reports, and its exit statuses.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/testing/host_files.h"
#include "platform/testing/temp_prefix.h"

namespace {

using platform::testing::WriteHostFile;

struct ProgramRun {
  int status;
  std::string output;  // standard output, then standard error
};

ProgramRun RunProgram(const char* program, const std::vector<std::string>& arguments) {
  // Single quotes keep the shell away from the backslashes of Windows paths.
  std::string command = std::string("'") + program + "'";
  for (const std::string& argument : arguments) command += " '" + argument + "'";
  command += " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ProgramRun run{-1, ""};
  if (!pipe) return run;
  std::array<char, 512> chunk;
  std::size_t got;
  while ((got = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
    run.output.append(chunk.data(), got);
  int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

ProgramRun Spi(const std::vector<std::string>& arguments) { return RunProgram(ZOMASPI, arguments); }

class ZomaSpiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(prefix_.drive_c() + "/ZOMA/System");
    platform::reg::WriteString("HKLM\\Software\\Norvance\\Zoma\\Main", "Root Directory",
                               "C:\\ZOMA");
    WriteHostFile(prefix_.dir() + "/hosts", "10.0.0.1 mcp.zoma.example\n");
    setenv("ZOMA_HOSTS", (prefix_.dir() + "/hosts").c_str(), 1);
    WriteHostFile(prefix_.drive_c() + "/ZOMA/System/default.spi",
                  "[Main]\nNetwork=Rallyer\nLobbyName=Default Lobby\nMotd=default\n"
                  "[CommandList]\nstart=6\n");
    WriteHostFile(prefix_.drive_c() + "/ZOMA/System/extra.spi",
                  "[Main]\nNetwork=Rallyer\nMotd=extra\n");
  }
  void TearDown() override { unsetenv("ZOMA_HOSTS"); }

  std::string Write(const std::string& name, const std::string& contents) {
    WriteHostFile(prefix_.drive_c() + "/" + name, contents);
    return "C:\\" + name;
  }

  platform::testing::TempPrefix prefix_;
};

TEST_F(ZomaSpiTest, ShowAndGetLookThroughTheInstallationFiles) {
  std::string game = Write("game.spi", "[Main]\nNetwork=rallyer\nCommand = start ; by name\n");
  ProgramRun get = Spi({"get", game, "Main", "Motd"});
  EXPECT_EQ(get.status, 0);
  EXPECT_EQ(get.output, "extra\n");
  EXPECT_EQ(Spi({"get", game, "main", "LOBBYNAME"}).output, "Default Lobby\n");
  EXPECT_EQ(Spi({"get", game, "Main", "Command", "--map", "CommandList"}).output, "6\n");
  EXPECT_EQ(Spi({"get", game, "Main", "Command", "--map", "CommandList", "--int"}).output, "6\n");
  ProgramRun missing = Spi({"get", game, "Main", "Absent"});
  EXPECT_EQ(missing.status, 105);
  EXPECT_NE(missing.output.find("105: key not found"), std::string::npos) << missing.output;
  // With flags 1 the file answers alone; a host path works as well as a Windows one.
  EXPECT_EQ(Spi({"get", prefix_.drive_c() + "/game.spi", "Main", "Motd", "--flags", "1"}).status,
            105);

  ProgramRun show = Spi({"show", game});
  EXPECT_EQ(show.status, 0);
  EXPECT_EQ(
      show.output,
      "; C:\\game.spi\n[Main]\nNetwork=rallyer\nCommand=start\n"
      "\n; installation-wide: C:\\ZOMA\\System\\extra.spi\n[Main]\nNetwork=Rallyer\nMotd=extra\n"
      "\n; installation-wide: C:\\ZOMA\\System\\default.spi\n[Main]\nNetwork=Rallyer\n"
      "LobbyName=Default Lobby\nMotd=default\n[CommandList]\nstart=6\n");
  ProgramRun alone = Spi({"show", game, "--flags", "1"});
  EXPECT_NE(alone.output.find("no installation-wide fallback"), std::string::npos) << alone.output;

  // An installation file that does not load is named, not hidden.
  WriteHostFile(prefix_.drive_c() + "/ZOMA/System/extra.spi", "tiny");
  show = Spi({"show", game});
  EXPECT_NE(show.output.find("; installation-wide: extra.spi not loaded (103: "), std::string::npos)
      << show.output;
  // Without a root there are none to show, and the output says so.
  platform::reg::WriteDword("HKLM\\Software\\Norvance\\Zoma\\Main", "Root Directory", 0);
  show = Spi({"show", game});
  EXPECT_EQ(show.status, 0);
  EXPECT_NE(show.output.find("; no installation-wide files: "
                             "HKLM\\Software\\Norvance\\Zoma\\Main has no Root Directory"),
            std::string::npos)
      << show.output;
}

TEST_F(ZomaSpiTest, RecordsFromTheStandInClientConvertToText) {
  std::string record = "C:\\session.rec";
  ASSERT_EQ(RunProgram(ZOMA_CLIENT, {"--write-record", record,
                                     "--command",      "6",
                                     "--game",         "42",
                                     "--argument",     "3",
                                     "--mcp",          "mcp.europe.zoma.example",
                                     "--mcp-address",  "tcp:10.0.0.1:3500",
                                     "--mcp-address",  "udp:10.0.0.2:3501",
                                     "--server",       "tcp:10.0.0.1:80",
                                     "--server-count", "17",
                                     "--lobby",        "9"})
                .status,
            0);
  ProgramRun text = Spi({"convert", record});
  EXPECT_EQ(text.status, 0);
  EXPECT_EQ(text.output,
            "[Main]\nNetwork=Rallyer\nCommand=6\nGameID=42\n"
            "OverrideMCP=mcp.europe.zoma.example\nOverrideMM=\nOverrideChatServer=\n"
            "OverrideGameServer=\nChatID=0\nNumberOfPlayers=0\nLobbyID=9\n"
            "MCP1=tcp:mcp.zoma.example:3500\nMCP2=udp:10.0.0.2:3501\nPlayerIndex=3\n"
            "[Debug]\ndebugMask=0\n");

  // The text and its wrapped form read back with the same values.
  for (bool wrap : {false, true}) {
    std::vector<std::string> arguments = {"convert", record, "C:\\converted.spi"};
    if (wrap) arguments.push_back("--wrap");
    ASSERT_EQ(Spi(arguments).status, 0);
    EXPECT_EQ(Spi({"get", "C:\\converted.spi", "Main", "MCP2"}).output, "udp:10.0.0.2:3501\n");
    EXPECT_EQ(Spi({"get", "C:\\converted.spi", "Debug", "debugMask"}).output, "0\n");
    EXPECT_EQ(Spi({"check", "C:\\converted.spi"}).status, 0);
  }
  // n = 17: no server keys at all.
  EXPECT_EQ(Spi({"get", record, "Main", "Servorum1"}).status, 105);

  // A record's text is cut at its first ";" as every value set is; what the text form
  // cannot hold (outer blanks) is written, and named on the error stream.
  ASSERT_EQ(RunProgram(ZOMA_CLIENT, {"--write-record", record, "--command", "4", "--url",
                                     "http://x/?a=1;b=2", "--mm", " padded "})
                .status,
            0);
  EXPECT_EQ(Spi({"get", record, "Main", "URL"}).output, "http://x/?a=1\n");
  ProgramRun warned = Spi({"convert", record, "C:\\url.spi"});
  EXPECT_EQ(warned.status, 0);
  EXPECT_NE(warned.output.find("warning: Main\\OverrideMM"), std::string::npos) << warned.output;
  EXPECT_EQ(Spi({"get", "C:\\url.spi", "Main", "URL"}).output, "http://x/?a=1\n");
  EXPECT_EQ(Spi({"get", "C:\\url.spi", "Main", "OverrideMM"}).output, "padded\n");
}

TEST_F(ZomaSpiTest, CheckReportsEveryRefusalByItsStatus) {
  struct Case {
    std::string contents;
    std::vector<std::string> extra;
    int status;
    const char* meaning;
  } cases[] = {
      {"[Main]\nNetwork=Rallyer\n", {}, 0, "success"},
      {"[Main]\nNetwork=Rallyer\nExpires=2001/03/15\n", {}, 100, "the file has expired"},
      {"[Main]\nNetwork=Rallyer\nExpires=2001/03/15\n", {"--flags", "8"}, 0, "success"},
      {"[Main]\nNetwork=Rallyer\nExpires=9999/12/31\n", {}, 0, "success"},
      {"[Main]\nGameID=1\n", {}, 101, "lacks Network"},
      {"[Main]\nNetwork=Elsewhere\n", {}, 102, "differs from the installation-wide one"},
      {"[Main]\nNetwork=Elsewhere\n", {"--flags", "4"}, 0, "success"},
      {"no sections at all\n", {}, 2, "without any section line"},
      {"[Main]\nA=", {}, 103, "below 10 or above 500000"},
      {std::string(500001, 'x'), {}, 103, "below 10 or above 500000"},
      {std::string("\0\0\1\0short record", 16), {}, 5, "cannot be opened or read"},
      {std::string("VLI2\2\0\0\0garbage-garbage", 23), {}, 7, "cannot be unwrapped"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments = {"check", Write("case.spi", c.contents)};
    arguments.insert(arguments.end(), c.extra.begin(), c.extra.end());
    ProgramRun run = Spi(arguments);
    EXPECT_EQ(run.status, c.status) << c.contents.substr(0, 40);
    EXPECT_NE(run.output.find("C:\\case.spi: " + std::to_string(c.status) + ": "),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find(c.meaning), std::string::npos) << run.output;
  }
  EXPECT_EQ(Spi({"check", "C:\\missing.spi"}).status, 5);
  EXPECT_EQ(Spi({"show", Write("case.spi", "[Main]\nGameID=1\n")}).status, 101);
  EXPECT_EQ(Spi({}).status, 64);
  EXPECT_EQ(Spi({"get", "C:\\x.spi"}).status, 64);
  EXPECT_EQ(Spi({"frobnicate"}).status, 64);
  EXPECT_EQ(Spi({"--help"}).status, 0);
}

}  // namespace
