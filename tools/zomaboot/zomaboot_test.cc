#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "platform/boot.h"
#include "platform/delayed_move.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/testing/host_files.h"
#include "platform/testing/temp_prefix.h"

namespace {

struct Result {
  int exit_code = -1;
  std::string output;
};

Result RunZomaboot(const std::string& arguments) {
  Result result;
  FILE* pipe = popen((std::string(ZOMABOOT) + " " + arguments).c_str(), "r");
  if (!pipe) return result;
  char buffer[512];
  while (fgets(buffer, sizeof buffer, pipe)) result.output += buffer;
  int status = pclose(pipe);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string Child() { return platform::ToWindowsPath(ZOMA_TEST_CHILD); }

using platform::testing::ReadHostFile;

TEST(Zomaboot, AppliesADelayedMoveAndARunOnceEntryExactlyOnce) {
  platform::testing::TempPrefix prefix;
  std::string log = prefix.drive_c() + "/ran.log";
  std::ofstream(prefix.drive_c() + "/staged.dll") << "new";
  ASSERT_TRUE(
      platform::MoveFileEx("C:\\staged.dll", "C:\\live.dll", platform::kMoveFileDelayUntilReboot));
  ASSERT_EQ(platform::reg::WriteString(platform::kRunOnceKey, "Once",
                                       Child() + " append " + log + " ran"),
            platform::kErrorSuccess);

  // Without a restart request, --if-pending leaves everything alone.
  Result idle = RunZomaboot("--if-pending");
  EXPECT_EQ(idle.exit_code, 0);
  EXPECT_EQ(idle.output, "No restart of Windows is pending.\n");
  ASSERT_TRUE(platform::ExitWindowsEx(platform::kEwxReboot, 0));

  Result first = RunZomaboot("--if-pending");
  EXPECT_EQ(first.exit_code, 0);
  EXPECT_EQ(first.output,
            "PendingFileRenameOperations: moved C:\\staged.dll to C:\\live.dll\n"
            "RunOnce Once: ran " +
                Child() + " append " + log +
                " ran, exit code 0\n"
                "restart request cleared\n");
  EXPECT_EQ(ReadHostFile(prefix.drive_c() + "/live.dll"), "new");
  EXPECT_EQ(ReadHostFile(log), "ran\n");

  Result second = RunZomaboot("");
  EXPECT_EQ(second.exit_code, 0);
  EXPECT_EQ(second.output, "Nothing to do.\n");
  EXPECT_EQ(ReadHostFile(log), "ran\n");
}

}  // namespace
