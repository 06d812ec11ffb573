#include "platform/boot.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "platform/delayed_move.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/testing/host_files.h"
#include "platform/testing/temp_prefix.h"
#include "platform/win_error.h"

namespace platform {
namespace {

using namespace std::string_view_literals;

const std::string kChild = ToWindowsPath(ZOMA_TEST_CHILD);

class Boot : public ::testing::Test {
 protected:
  std::string Host(const std::string& relative) { return prefix_.drive_c() + "/" + relative; }
  void Write(const std::string& relative, const std::string& text) {
    testing::WriteHostFile(Host(relative), text);
  }
  std::string Read(const std::string& relative) { return testing::ReadHostFile(Host(relative)); }
  bool Exists(const std::string& relative) { return testing::HostFileExists(Host(relative)); }
  testing::TempPrefix prefix_;
};

TEST_F(Boot, DelayedMovesAndDeletesAreRecordedAndAppliedOnce) {
  Write("a.txt", "a");
  Write("c.txt", "c");
  Write("d.txt", "new d");
  Write("e.txt", "old e");
  ASSERT_TRUE(MoveFileEx("C:\\a.txt", "C:\\b.txt", kMoveFileDelayUntilReboot));
  ASSERT_TRUE(MoveFileEx("C:\\c.txt", nullptr, kMoveFileDelayUntilReboot));
  ASSERT_TRUE(
      MoveFileEx("C:\\d.txt", "C:\\e.txt", kMoveFileDelayUntilReboot | kMoveFileReplaceExisting));
  // Nothing happens before the restart.
  EXPECT_TRUE(Exists("a.txt") && Exists("c.txt") && Exists("d.txt"));

  reg::Value value;
  ASSERT_EQ(reg::ReadValue(kSessionManagerKey, kPendingRenamesValue, &value), kErrorSuccess);
  EXPECT_EQ(value.type, reg::kRegMultiSz);
  EXPECT_EQ(value.data,
            "\\??\\C:\\a.txt\0\\??\\C:\\b.txt\0"
            "\\??\\C:\\c.txt\0\0"
            "\\??\\C:\\d.txt\0!\\??\\C:\\e.txt\0\0"sv);

  EXPECT_FALSE(IsRestartPending());
  ASSERT_TRUE(ExitWindowsEx(kEwxReboot, 0));
  EXPECT_TRUE(IsRestartPending());
  EXPECT_TRUE(RunBootActionsIfPending());
  EXPECT_FALSE(IsRestartPending());
  EXPECT_FALSE(Exists("a.txt"));
  EXPECT_EQ(Read("b.txt"), "a");
  EXPECT_FALSE(Exists("c.txt"));
  EXPECT_FALSE(Exists("d.txt"));
  EXPECT_EQ(Read("e.txt"), "new d");
  EXPECT_EQ(reg::ReadValue(kSessionManagerKey, kPendingRenamesValue, &value), kErrorFileNotFound);

  // A second start finds nothing left to do.
  Write("a.txt", "again");
  EXPECT_FALSE(RunBootActionsIfPending());
  BootReport report = ApplyPendingBootActions();
  EXPECT_TRUE(report.lines.empty());
  EXPECT_EQ(Read("a.txt"), "again");
}

TEST_F(Boot, AMoveOntoAnExistingFileNeedsReplace) {
  Write("src.txt", "src");
  Write("dst.txt", "dst");
  ASSERT_TRUE(MoveFileEx("C:\\src.txt", "C:\\dst.txt", kMoveFileDelayUntilReboot));
  BootReport report = ApplyPendingBootActions();
  EXPECT_TRUE(report.any_failed);
  EXPECT_EQ(Read("dst.txt"), "dst");
  EXPECT_EQ(Read("src.txt"), "src");

  // The immediate forms.
  EXPECT_FALSE(MoveFileEx("C:\\src.txt", "C:\\dst.txt", 0));
  EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
  EXPECT_TRUE(MoveFileEx("C:\\src.txt", "C:\\dst.txt", kMoveFileReplaceExisting));
  EXPECT_EQ(Read("dst.txt"), "src");
  EXPECT_FALSE(MoveFileEx("C:\\dst.txt", nullptr, 0));
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  EXPECT_FALSE(
      MoveFileEx("C:\\dst.txt", "C:\\x", kMoveFileDelayUntilReboot | kMoveFileCopyAllowed));
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
}

TEST(PendingRenames, DecodingToleratesOddData) {
  EXPECT_TRUE(DecodePendingRenames("").empty());
  EXPECT_TRUE(DecodePendingRenames("\0"sv).empty());
  // A lone source without its target string is dropped; a missing final NUL is fine.
  auto renames = DecodePendingRenames("\\??\\C:\\a\0\0\\??\\C:\\b\0!\\??\\C:\\c"sv);
  ASSERT_EQ(renames.size(), 2u);
  EXPECT_EQ(renames[0].source, "C:\\a");
  EXPECT_EQ(renames[0].target, "");
  EXPECT_EQ(renames[1].target, "C:\\c");
  EXPECT_TRUE(renames[1].replace_existing);
  EXPECT_EQ(DecodePendingRenames(EncodePendingRenames(renames)).size(), 2u);
  EXPECT_EQ(DecodePendingRenames("\\??\\C:\\a"sv).size(), 0u);
}

// Windows 9x: WININIT.INI's [Rename] section, in file order, then the file is kept as
// WININIT.BAK.
TEST_F(Boot, WininitRenameSectionIsAppliedAndRenamed) {
  Write("old.dll", "old");
  Write("new.dll", "new");
  Write("junk.tmp", "junk");
  const std::string wininit =
      "[Other]\r\nC:\\old.dll=C:\\junk.tmp\r\n[Rename]\r\nNUL=C:\\junk.tmp\r\n"
      "NUL=C:\\old.dll\r\nC:\\old.dll=C:\\new.dll\r\n";
  Write("WINDOWS/WININIT.INI", wininit);
  BootReport report = ApplyPendingBootActions();
  EXPECT_FALSE(report.any_failed);
  EXPECT_FALSE(Exists("junk.tmp"));
  EXPECT_FALSE(Exists("new.dll"));
  EXPECT_EQ(Read("old.dll"), "new");
  EXPECT_FALSE(Exists("WINDOWS/WININIT.INI"));
  EXPECT_EQ(Read("WINDOWS/WININIT.BAK"), wininit);
  ASSERT_EQ(report.lines.size(), 4u);
  EXPECT_EQ(report.lines[0], "WININIT.INI: deleted C:\\junk.tmp");
  EXPECT_EQ(report.lines[3], "WININIT.INI renamed to WININIT.BAK");
}

TEST_F(Boot, RunOnceEntriesRunOnce) {
  std::string log = Host("runonce.log");
  ASSERT_EQ(reg::WriteString(kRunOnceKey, "First", "\"" + kChild + "\" append " + log + " one"),
            kErrorSuccess);
  ASSERT_EQ(reg::WriteString(kRunOnceKey, "Logon To Zoma", "start www.zoma.example"),
            kErrorSuccess);
  ASSERT_EQ(
      reg::WriteString(kRunOnceKey, "Second", "START \"" + kChild + "\" append " + log + " two"),
      kErrorSuccess);
  ASSERT_EQ(reg::WriteString(kRunOnceKey, "Broken", "no-such-program-anywhere"), kErrorSuccess);
  setenv("ZOMA_TEST_WORD", "three", 1);
  ASSERT_EQ(
      reg::WriteString(kRunOnceKey, "Expanded",
                       "\"" + kChild + "\" append " + log + " %ZOMA_TEST_WORD%", reg::kRegExpandSz),
      kErrorSuccess);
  ASSERT_EQ(reg::WriteString(kRunOnceKey, "!Last", "\"" + kChild + "\" append " + log + " four"),
            kErrorSuccess);

  BootOptions options;
  options.wait_for_commands = true;
  BootReport report = ApplyPendingBootActions(options);
  EXPECT_EQ(Read("runonce.log"), "one\ntwo\nthree\nfour\n");
  EXPECT_EQ(testing::ReadHostFile(prefix_.dir() + "/shell-open.log"), "www.zoma.example\n");
  EXPECT_TRUE(report.any_failed);  // the broken entry
  ASSERT_EQ(report.lines.size(), 6u);
  EXPECT_EQ(report.lines[1],
            "RunOnce Logon To Zoma: opened www.zoma.example (recorded in shell-open.log)");

  // Every value was deleted, the broken one too: nothing runs a second time.
  reg::Value value;
  EXPECT_EQ(reg::ReadValue(kRunOnceKey, "First", &value), kErrorFileNotFound);
  EXPECT_EQ(reg::ReadValue(kRunOnceKey, "Broken", &value), kErrorFileNotFound);
  EXPECT_EQ(reg::ReadValue(kRunOnceKey, "!Last", &value), kErrorFileNotFound);
  EXPECT_TRUE(ApplyPendingBootActions(options).lines.empty());
  EXPECT_EQ(Read("runonce.log"), "one\ntwo\nthree\nfour\n");
}

TEST_F(Boot, LogoffIsNoRestart) {
  EXPECT_TRUE(ExitWindowsEx(kEwxLogoff, 0));
  EXPECT_FALSE(IsRestartPending());
  EXPECT_TRUE(ExitWindowsEx(kEwxShutdown | kEwxForce, 0x80020002));
  EXPECT_TRUE(IsRestartPending());
  std::ifstream file(prefix_.dir() + "/restart-pending");
  std::string line;
  std::getline(file, line);
  EXPECT_EQ(line.rfind("ExitWindowsEx flags=0x00000005 reason=0x80020002 pid=", 0), 0u);
}

}  // namespace
}  // namespace platform
