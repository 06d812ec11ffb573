// The shell's open verb: $BROWSER's entries in turn, "%s" in them, xdg-open when none
// takes the address, the verdict on a helper that fails at once, and programs.
#include "platform/shell.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/testing/host_files.h"
#include "platform/testing/temp_prefix.h"

namespace platform {
namespace {

using testing::ReadHostFile;
using testing::WriteHostFile;

class ShellOpen : public ::testing::Test {
 protected:
  void SetUp() override {
    Save("BROWSER");
    Save("PATH");
    bin_ = prefix_.dir() + "/bin";
    mkdir(bin_.c_str(), 0755);
    setenv("PATH", (bin_ + ":/usr/bin:/bin").c_str(), 1);
    unsetenv("BROWSER");
    Script("xdg-open", "echo \"xdg-open $*\" >> " + Log() + "\nexit 3\n");
  }
  void TearDown() override {
    for (auto& [name, value] : saved_)
      value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
  }
  void Save(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    saved_.push_back({name, value ? std::optional<std::string>(value) : std::nullopt});
  }
  void Script(const std::string& name, const std::string& body) {
    std::string path = bin_ + "/" + name;
    WriteHostFile(path, "#!/bin/sh\n" + body);
    chmod(path.c_str(), 0755);
  }
  std::string Log() const { return prefix_.dir() + "/opened.log"; }
  std::string Opened() { return ReadHostFile(Log()); }

  testing::TempPrefix prefix_;
  std::string bin_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(ShellOpen, BrowserEntriesAreTriedInTurn) {
  Script("failing", "echo \"failing $*\" >> " + Log() + "\nexit 1\n");
  Script("browser", "echo \"browser $*\" >> " + Log() + "\n");
  setenv("BROWSER", "no-such-browser:failing:browser --new-tab %s --x", 1);
  EXPECT_GT(ShellExecute("open", "http://www.zoma.example/a?b=1&c", "", "", 1), 32u);
  EXPECT_EQ(Opened(),
            "failing http://www.zoma.example/a?b=1&c\n"
            "browser --new-tab http://www.zoma.example/a?b=1&c --x\n");
}

TEST_F(ShellOpen, XdgOpenDecidesWithoutBrowser) {
  // No $BROWSER: xdg-open, whose failure is the shell's.
  EXPECT_EQ(ShellExecute("", "https://x.example/", "", "", 1), kSeErrNoAssociation);
  EXPECT_EQ(Opened(), "xdg-open https://x.example/\n");
  Script("xdg-open", "exit 0\n");
  EXPECT_EQ(ShellExecute("OPEN", "https://x.example/", "", "", 1), kShellExecuteSucceeded);
  // A helper still running after a moment (a browser window) counts as started.
  Script("xdg-open", "sleep 3\n");
  EXPECT_EQ(ShellExecute("open", "https://x.example/", "", "", 1), kShellExecuteSucceeded);
}

TEST_F(ShellOpen, OtherVerbsTargetsAndPrograms) {
  EXPECT_EQ(ShellExecute("print", "http://x.example/", "", "", 1), kSeErrNoAssociation);
  EXPECT_EQ(ShellExecute("open", "C:\\missing.txt", "", "", 1), kSeErrFileNotFound);
  // A program is started with its parameters.
  std::string program = prefix_.drive_c() + "/tool.exe";
  WriteHostFile(program, "#!/bin/sh\necho \"tool $*\" >> " + Log() + "\n");
  chmod(program.c_str(), 0755);
  EXPECT_GT(ShellExecute("open", "C:\\tool.exe", "one two", "", 1), 32u);
  for (int i = 0; i < 100 && Opened().empty(); ++i) usleep(20000);
  EXPECT_EQ(Opened(), "tool one two\n");
}

}  // namespace
}  // namespace platform
