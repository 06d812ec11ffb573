// The installer search: CD-ROM drives only, from A: up, the root before subdirectories,
// depth first, the recycle bin and dot directories skipped.
#include "launcher/installer_search.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/registry.h"
#include "platform/testing/temp_prefix.h"

namespace zoma::launcher {
namespace {

namespace fs = std::filesystem;

class InstallerSearch : public ::testing::Test {
 protected:
  std::string AddDrive(char letter, const char* type) {
    std::string disc = prefix_.dir() + "/disc-" + letter;
    fs::create_directories(disc);
    fs::create_symlink(disc, prefix_.dir() + "/drives/" + static_cast<char>(std::tolower(letter)));
    platform::reg::WriteString("HKLM\\Software\\Zoma Platform\\Drives", std::string{letter, ':'},
                               type);
    return disc;
  }
  static void Touch(const std::string& path) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << "installer";
  }
  platform::testing::TempPrefix prefix_;
};

TEST_F(InstallerSearch, OnlyCdDrivesFirstLetterFirst) {
  EXPECT_EQ(FindInstallerOnCdDrives(), std::nullopt);  // no CD drive at all
  Touch(AddDrive('E', "fixed") + "/zoma0001.exe");
  Touch(AddDrive('R', "removable") + "/zoma0001.exe");
  EXPECT_EQ(FindInstallerOnCdDrives(), std::nullopt);
  Touch(AddDrive('G', "cdrom") + "/zoma0007.exe");
  EXPECT_EQ(FindInstallerOnCdDrives(), "G:\\zoma0007.exe");
  AddDrive('F', "cdrom");  // an empty disc before it changes nothing
  EXPECT_EQ(FindInstallerOnCdDrives(), "G:\\zoma0007.exe");
  Touch(prefix_.dir() + "/disc-F/sub/ZOMA1234.EXE");
  EXPECT_EQ(FindInstallerOnCdDrives(), "F:\\sub\\ZOMA1234.EXE");
}

TEST_F(InstallerSearch, RootFirstThenDepthFirstSkippingDecoys) {
  std::string disc = AddDrive('D', "cdrom");
  Touch(disc + "/Recycled/zoma0000.exe");
  Touch(disc + "/RECYCLED.OLD/zoma0000.exe");
  Touch(disc + "/.trash/zoma0000.exe");
  Touch(disc + "/one/two/zoma0002.exe");
  fs::create_directories(disc + "/zoma9999.exe");  // a directory by the name is no match
  Touch(disc + "/zoma.exe");                       // too short for the pattern
  EXPECT_EQ(FindInstallerIn("D:\\"), "D:\\one\\two\\zoma0002.exe");
  Touch(disc + "/zoma0001.exe");
  EXPECT_EQ(FindInstallerIn("D:\\"), "D:\\zoma0001.exe");
}

TEST_F(InstallerSearch, LinkedDirectoryLoopEnds) {
  std::string disc = AddDrive('D', "cdrom");
  fs::create_directories(disc + "/a");
  fs::create_directory_symlink(disc, disc + "/a/loop");
  EXPECT_EQ(FindInstallerIn("D:\\"), std::nullopt);
}

}  // namespace
}  // namespace zoma::launcher
