#include "platform/prefix.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/testing/temp_prefix.h"

namespace platform {
namespace {

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

TEST(Prefix, CreatesLayoutOnFirstUse) {
  testing::TempPrefix prefix;
  EXPECT_EQ(PrefixDirectory(), prefix.dir());
  EXPECT_TRUE(IsDirectory(prefix.dir() + "/drive_c/WINDOWS/SYSTEM32"));
  EXPECT_TRUE(IsDirectory(prefix.dir() + "/locks"));
  // The drive map resolves: C: is drive_c, Z: is the host root.
  EXPECT_TRUE(IsDirectory(prefix.dir() + "/drives/c/WINDOWS"));
  EXPECT_TRUE(IsDirectory(prefix.dir() + "/drives/z/tmp"));
}

TEST(Prefix, UncreatableDirectoryIsAnErrorNotACrash) {
  testing::TempPrefix prefix;
  std::string blocker = prefix.dir() + "/file";
  FILE* f = fopen(blocker.c_str(), "w");
  ASSERT_NE(f, nullptr);
  fclose(f);
  setenv("ZOMA_PREFIX", (blocker + "/sub").c_str(), 1);
  Status status = kErrorSuccess;
  EXPECT_EQ(PrefixDirectory(&status), "");
  EXPECT_NE(status, kErrorSuccess);
  EXPECT_EQ(PrefixPath("registry.db"), "");
}

}  // namespace
}  // namespace platform
