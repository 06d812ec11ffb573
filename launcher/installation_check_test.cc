// The installation check: the .spi type's open command in the registry, its quotes and
// "%1" taken out, and the program it names on disk.
#include "launcher/installation_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/registry.h"
#include "platform/testing/temp_prefix.h"

namespace zoma::launcher {
namespace {

namespace reg = platform::reg;

TEST(InstallationCheck, ProgramOfOpenCommand) {
  EXPECT_EQ(ProgramOfOpenCommand("\"C:\\ZOMA\\ZOMA.EXE\" \"%1\""), "C:\\ZOMA\\ZOMA.EXE");
  EXPECT_EQ(ProgramOfOpenCommand("C:\\ZOMA\\ZOMA.EXE %1"), "C:\\ZOMA\\ZOMA.EXE");
  EXPECT_EQ(ProgramOfOpenCommand("\"C:\\Program Files\\Z\\z.exe\""), "C:\\Program Files\\Z\\z.exe");
  EXPECT_EQ(ProgramOfOpenCommand("C:\\a%1b%1\"%1\"%2"), "C:\\ab%2");
  EXPECT_EQ(ProgramOfOpenCommand("C:\\z.exe /x"), "C:\\z.exe /x");  // arguments stay
  EXPECT_EQ(ProgramOfOpenCommand("%"), "%");
}

class InstallationState : public ::testing::Test {
 protected:
  void Register(const std::string& type, const std::string& command) {
    reg::WriteString("HKLM\\Software\\Classes\\.spi", "", type);
    reg::WriteString("HKLM\\Software\\Classes\\" + type + "\\Shell\\Open\\command", "", command);
  }
  void MakeProgram(const std::string& relative) {
    std::filesystem::path path = prefix_.drive_c() + "/" + relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << "client";
  }
  platform::testing::TempPrefix prefix_;
};

TEST_F(InstallationState, InstalledWhenTheOpenCommandNamesAFile) {
  EXPECT_FALSE(IsClientInstalled());  // nothing registered
  Register("ZomaFile", "\"C:\\ZOMA\\System\\ZOMA.EXE\" \"%1\"");
  EXPECT_EQ(SpiOpenCommand(), "\"C:\\ZOMA\\System\\ZOMA.EXE\" \"%1\"");
  EXPECT_FALSE(IsClientInstalled());  // registered, but no program
  MakeProgram("ZOMA/System/ZOMA.EXE");
  EXPECT_TRUE(IsClientInstalled());
  // Names compare as Windows compares them.
  Register("ZomaFile", "c:\\zoma\\system\\zoma.exe %1");
  EXPECT_TRUE(IsClientInstalled());
  // A directory is no program.
  Register("ZomaFile", "\"C:\\ZOMA\\System\" \"%1\"");
  EXPECT_FALSE(IsClientInstalled());
}

TEST_F(InstallationState, BrokenRegistrationsAreNotInstalled) {
  MakeProgram("ZOMA.EXE");
  // The type names a class that has no open command.
  reg::WriteString("HKLM\\Software\\Classes\\.spi", "", "Missing");
  EXPECT_EQ(SpiOpenCommand(), std::nullopt);
  EXPECT_FALSE(IsClientInstalled());
  // An empty type, or a command of nothing but quotes and %1.
  Register("", "C:\\ZOMA.EXE");
  EXPECT_FALSE(IsClientInstalled());
  Register("T", "\"%1\"");
  EXPECT_FALSE(IsClientInstalled());
  // A command longer than the 1024-byte buffer is not read.
  Register("T", "C:\\ZOMA.EXE" + std::string(1100, ' '));
  EXPECT_EQ(SpiOpenCommand(), std::nullopt);
  EXPECT_FALSE(IsClientInstalled());
  // A number where the text should be.
  reg::WriteString("HKLM\\Software\\Classes\\.spi", "", "T");
  reg::WriteDword("HKLM\\Software\\Classes\\T\\Shell\\Open\\command", "", 7);
  EXPECT_FALSE(IsClientInstalled());
}

}  // namespace
}  // namespace zoma::launcher
