// The in-use test that stands in for a Windows sharing violation.
#include "platform/file_in_use.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include "platform/testing/host_files.h"
#include "platform/testing/temp_prefix.h"

namespace platform {
namespace {

TEST(FileInUse, OpenMappedOrRunningFilesAreInUse) {
  testing::TempPrefix prefix;
  const std::string host = prefix.drive_c() + "/data.bin";
  testing::WriteHostFile(host, "contents");
  EXPECT_FALSE(IsFileInUse("C:\\data.bin"));
  EXPECT_FALSE(IsFileInUse("C:\\missing.bin"));

  int fd = open(host.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  EXPECT_TRUE(IsFileInUse("C:\\DATA.BIN"));  // found by Windows name, any case
  void* map = mmap(nullptr, 8, PROT_READ, MAP_PRIVATE, fd, 0);
  ASSERT_NE(map, MAP_FAILED);
  close(fd);
  EXPECT_TRUE(IsHostFileInUse(host));  // mapped, as a loaded library is
  munmap(map, 8);
  EXPECT_FALSE(IsHostFileInUse(host));

  char self[4096] = {};
  ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
  EXPECT_TRUE(IsHostFileInUse(self));  // a running program
}

}  // namespace
}  // namespace platform
