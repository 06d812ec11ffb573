// Volume labels come from the platform settings; absent drives have no volume.
#include "platform/volume.h"

#include <gtest/gtest.h>

#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/sysinfo.h"
#include "platform/testing/windows_view.h"

namespace platform {
namespace {

// The current directory goes back after each test.
class VolumeTest : public testing::WindowsViewTest {};

TEST_F(VolumeTest, LabelsSerialsAndMissingDrives) {
  VolumeInformation info;
  ASSERT_TRUE(GetVolumeInformation("C:\\", &info));
  EXPECT_EQ(info.label, "");
  EXPECT_EQ(info.file_system, "NTFS");
  const std::uint32_t serial = info.serial;

  ASSERT_TRUE(SetVolumeLabel('c', std::string(40, 'L')));
  ASSERT_TRUE(GetVolumeInformation("c:", &info));
  EXPECT_EQ(info.label, std::string(32, 'L'));
  EXPECT_EQ(info.serial, serial);
  ASSERT_TRUE(SetVolumeLabel('C', ""));
  ASSERT_TRUE(GetVolumeInformation("C:\\", &info));
  EXPECT_EQ(info.label, "");

  ASSERT_TRUE(SetCurrentDirectory("C:\\WINDOWS"));
  ASSERT_TRUE(GetVolumeInformation("", &info));
  EXPECT_EQ(info.serial, serial);
  ASSERT_TRUE(GetVolumeInformation("\\", &info));
  EXPECT_EQ(info.serial, serial);

  EXPECT_FALSE(GetVolumeInformation("Q:\\", &info));
  EXPECT_EQ(GetLastError(), kErrorPathNotFound);
  EXPECT_FALSE(GetVolumeInformation("\\\\server\\share\\", &info));
  EXPECT_EQ(GetLastError(), kErrorBadNetpath);

  // A CD drive set up in the drive settings, with the installer's label.
  ASSERT_EQ(reg::WriteString(kDriveSettingsKey, "D:", "cdrom"), kErrorSuccess);
  ASSERT_TRUE(SetVolumeLabel('D', "ZOMA_CD"));
  ASSERT_TRUE(GetVolumeInformation("D:\\", &info));
  EXPECT_EQ(info.label, "ZOMA_CD");
  EXPECT_EQ(info.file_system, "CDFS");
}

}  // namespace
}  // namespace platform
