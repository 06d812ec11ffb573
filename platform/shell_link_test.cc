// Shell links: the bytes a reader of the published format expects.
#include "platform/shell_link.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/testing/windows_view.h"
#include "platform/volume.h"

namespace platform {
namespace {

// The current directory goes back after each test.
class ShellLinkTest : public testing::WindowsViewTest {};

std::uint32_t At32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

std::uint16_t At16(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    static_cast<unsigned char>(bytes[at + 1]) << 8);
}

TEST_F(ShellLinkTest, HeaderLinkInfoAndStringsFollowTheFormat) {
  ASSERT_TRUE(SetVolumeLabel('C', "ZOMADISK"));
  { std::ofstream(prefix_.drive_c() + "/game.exe") << "12345"; }
  ShellLink link{"C:\\game.exe", "Play Zoma", "C:\\", ""};
  std::string bytes = EncodeShellLink(link);

  ASSERT_GE(bytes.size(), 76u);
  EXPECT_EQ(At32(bytes, 0), 0x4Cu);
  EXPECT_EQ(bytes.substr(4, 16),
            std::string("\x01\x14\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16));
  EXPECT_EQ(At32(bytes, 20), 0x02u | 0x04u | 0x10u);  // LinkInfo, Name, WorkingDir
  EXPECT_EQ(At32(bytes, 52), 5u);                     // the target's size
  EXPECT_EQ(At32(bytes, 60), 1u);                     // SW_SHOWNORMAL

  const std::size_t info = 76;
  const std::uint32_t info_size = At32(bytes, info);
  EXPECT_EQ(At32(bytes, info + 4), 0x1Cu);
  EXPECT_EQ(At32(bytes, info + 8), 1u);
  const std::size_t volume = info + At32(bytes, info + 12);
  EXPECT_EQ(At32(bytes, volume + 4), 3u);  // DRIVE_FIXED
  EXPECT_STREQ(bytes.c_str() + volume + At32(bytes, volume + 12), "ZOMADISK");
  EXPECT_STREQ(bytes.c_str() + info + At32(bytes, info + 16), "C:\\game.exe");
  EXPECT_STREQ(bytes.c_str() + info + At32(bytes, info + 24), "");

  std::size_t strings = info + info_size;
  ASSERT_EQ(At16(bytes, strings), 9u);
  EXPECT_EQ(bytes.substr(strings + 2, 9), "Play Zoma");
  strings += 2 + 9;
  ASSERT_EQ(At16(bytes, strings), 3u);
  EXPECT_EQ(bytes.substr(strings + 2, 3), "C:\\");
  EXPECT_EQ(At32(bytes, strings + 5), 0u);  // terminal block
  EXPECT_EQ(bytes.size(), strings + 9);
}

TEST_F(ShellLinkTest, SaveResolvesTheTargetAndRefusesUnusableNames) {
  ASSERT_TRUE(SetCurrentDirectory("C:\\WINDOWS"));
  ASSERT_TRUE(
      SaveShellLink("C:\\link.lnk", {"notes\\..\\readme.txt", std::string(5000, 'd'), "", ""}));
  std::ifstream in(prefix_.drive_c() + "/link.lnk", std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  std::string bytes = content.str();
  const std::size_t info = 76;
  EXPECT_STREQ(bytes.c_str() + info + At32(bytes, info + 16), "C:\\WINDOWS\\readme.txt");
  EXPECT_EQ(At16(bytes, info + At32(bytes, info)), kMaxLinkDescription);

  // No description, no NAME_STRING.
  ASSERT_TRUE(SaveShellLink("C:\\bare.lnk", {"C:\\x.exe", "", "", ""}));
  std::ifstream bare_in(prefix_.drive_c() + "/bare.lnk", std::ios::binary);
  std::stringstream bare;
  bare << bare_in.rdbuf();
  EXPECT_EQ(At32(bare.str(), 20), 0x02u);
  EXPECT_EQ(bare.str().size(), 76 + At32(bare.str(), 76) + 4);

  EXPECT_FALSE(SaveShellLink("C:\\a.lnk", {"", "", "", ""}));
  EXPECT_FALSE(SaveShellLink("C:\\b.lnk", {"\\\\server\\share\\x.exe", "", "", ""}));
  EXPECT_FALSE(SaveShellLink("C:\\c.lnk", {"C:\\" + std::string(300, 'x'), "", "", ""}));
  EXPECT_FALSE(SaveShellLink("C:\\missing\\d.lnk", {"C:\\x.exe", "", "", ""}));
  EXPECT_EQ(GetFileAttributes("C:\\a.lnk"), kInvalidFileAttributes);
}

}  // namespace
}  // namespace platform
