#include "platform/setup_install.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "platform/process.h"
#include "platform/testing/host_files.h"
#include "platform/testing/temp_prefix.h"
#include "platform/win_error.h"

namespace platform {
namespace {

// The style of the updater's Restart-Windows step.
constexpr std::uint32_t kUpdaterStyle = kSpCopyDeleteSource | kSpCopyNewerOrSame |
                                        kSpCopySourceAbsolute | kSpCopyInUseNeedsReboot |
                                        kSpCopyNoSkip | kSpCopyForceNewer;

class SetupInstall : public ::testing::Test {
 protected:
  std::string Host(const std::string& name) { return prefix_.drive_c() + "/" + name; }
  void Write(const std::string& name, const std::string& text, time_t mtime) {
    testing::WriteHostFile(Host(name), text);
    timespec times[2] = {{mtime, 0}, {mtime, 0}};
    utimensat(AT_FDCWD, Host(name).c_str(), times, 0);
  }
  std::string Read(const std::string& name) { return testing::ReadHostFile(Host(name)); }
  bool Exists(const std::string& name) { return testing::HostFileExists(Host(name)); }
  testing::TempPrefix prefix_;
};

TEST_F(SetupInstall, NewerOrSameSourceReplacesTheTargetAndIsDeleted) {
  Write("mfc42.dll.zoma", "new", 2000);
  Write("mfc42.dll", "old", 1000);
  bool in_use = true;
  EXPECT_TRUE(SetupInstallFileEx("C:\\mfc42.dll.zoma", "C:\\mfc42.dll", kUpdaterStyle, &in_use));
  EXPECT_FALSE(in_use);
  EXPECT_EQ(Read("mfc42.dll"), "new");
  EXPECT_FALSE(Exists("mfc42.dll.zoma"));
  struct stat st;
  ASSERT_EQ(stat(Host("mfc42.dll").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 2000);  // the copy keeps the source's time

  // Same time counts as newer-or-same; a missing target is simply created.
  Write("same.zoma", "same", 1000);
  Write("same", "was", 1000);
  EXPECT_TRUE(SetupInstallFileEx("C:\\same.zoma", "C:\\same", kUpdaterStyle, nullptr));
  EXPECT_EQ(Read("same"), "same");
  Write("fresh.zoma", "fresh", 1000);
  EXPECT_TRUE(SetupInstallFileEx("C:\\fresh.zoma", "C:\\fresh", kUpdaterStyle, nullptr));
  EXPECT_EQ(Read("fresh"), "fresh");
}

TEST_F(SetupInstall, SkipsAreReportedWithoutAnError) {
  Write("older.zoma", "older", 1000);
  Write("older", "newer", 2000);
  SetLastError(kErrorAccessDenied);
  EXPECT_FALSE(SetupInstallFileEx("C:\\older.zoma", "C:\\older", kUpdaterStyle, nullptr));
  EXPECT_EQ(GetLastError(), kErrorSuccess);
  EXPECT_EQ(Read("older"), "newer");
  EXPECT_TRUE(Exists("older.zoma"));  // not installed, so not deleted

  Write("src", "src", 3000);
  Write("dst", "dst", 1000);
  EXPECT_FALSE(SetupInstallFileEx("C:\\src", "C:\\dst", kSpCopyNoOverwrite, nullptr));
  EXPECT_EQ(GetLastError(), kErrorSuccess);
  EXPECT_FALSE(SetupInstallFileEx("C:\\src", "C:\\none", kSpCopyReplaceOnly, nullptr));
  EXPECT_FALSE(Exists("none"));
  Write("dst", "dst", 3000);
  EXPECT_FALSE(SetupInstallFileEx("C:\\src", "C:\\dst", kSpCopyNewerOnly, nullptr));
  EXPECT_TRUE(SetupInstallFileEx("C:\\src", "C:\\dst", 0, nullptr));
  EXPECT_EQ(Read("dst"), "src");

  EXPECT_FALSE(SetupInstallFileEx("C:\\missing", "C:\\dst", kUpdaterStyle, nullptr));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
}

// POSIX lets a running program's file be replaced; the running process keeps its copy.
TEST_F(SetupInstall, ARunningProgramIsReplacedAtOnce) {
  std::ifstream child(ZOMA_TEST_CHILD, std::ios::binary);
  std::ofstream(Host("running.exe"), std::ios::binary) << child.rdbuf();
  chmod(Host("running.exe").c_str(), 0755);
  ProcessInformation info;
  ASSERT_TRUE(CreateProcess("C:\\running.exe sleep 2000", {}, &info));
  Write("running.exe.zoma", "replacement", time(nullptr) + 10);
  bool in_use = true;
  EXPECT_TRUE(
      SetupInstallFileEx("C:\\running.exe.zoma", "C:\\running.exe", kUpdaterStyle, &in_use));
  EXPECT_FALSE(in_use);
  EXPECT_EQ(Read("running.exe"), "replacement");
  EXPECT_EQ(WaitForSingleObject(info.process, 0), kWaitTimeout);
  TerminateProcess(info.process, 0);
}

}  // namespace
}  // namespace platform
