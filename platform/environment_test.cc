// Environment variables: names without regard to case, PATH in Windows form, expansion.
#include "platform/environment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "platform/testing/windows_view.h"

namespace platform {
namespace {

class EnvironmentTest : public testing::WindowsViewTest {
 protected:
  void SetUp() override {
    WindowsViewTest::SetUp();
    const char* path = std::getenv("PATH");
    saved_path_ = path ? path : "";
  }
  void TearDown() override {
    setenv("PATH", saved_path_.c_str(), 1);
    unsetenv("ZomaTestVar");
    WindowsViewTest::TearDown();
  }

 private:
  std::string saved_path_;
};

TEST_F(EnvironmentTest, PathIsWindowsFormOutsideAndHostFormInside) {
  ASSERT_TRUE(SetEnvironmentVariable(
      "Path", "C:\\WINDOWS;c:\\windows\\system32\\;rel\\dir;;\"C:\\Program Files\";\\\\srv\\x"));
  EXPECT_EQ(std::string(std::getenv("PATH")), drive_c() + "/WINDOWS:" + drive_c() +
                                                  "/WINDOWS/SYSTEM32:rel/dir:" + drive_c() +
                                                  "/Program Files");
  std::string value;
  ASSERT_TRUE(GetEnvironmentVariable("PATH", &value));
  EXPECT_EQ(value, "C:\\WINDOWS;C:\\WINDOWS\\SYSTEM32;rel\\dir;C:\\Program Files");

  setenv("PATH", "/usr/bin::/bin", 1);
  ASSERT_TRUE(GetEnvironmentVariable("path", &value));
  EXPECT_EQ(value, "Z:\\usr\\bin;Z:\\bin");
}

TEST_F(EnvironmentTest, NamesIgnoreCaseAndKeepTheirSpelling) {
  std::string value;
  EXPECT_FALSE(GetEnvironmentVariable("ZOMATESTVAR", &value));
  EXPECT_EQ(GetLastError(), kErrorEnvvarNotFound);
  ASSERT_TRUE(SetEnvironmentVariable("ZomaTestVar", "one"));
  ASSERT_TRUE(SetEnvironmentVariable("ZOMATESTVAR", "two"));
  EXPECT_STREQ(std::getenv("ZomaTestVar"), "two");
  EXPECT_EQ(std::getenv("ZOMATESTVAR"), nullptr);
  ASSERT_TRUE(GetEnvironmentVariable("zomatestvar", &value));
  EXPECT_EQ(value, "two");
  EXPECT_FALSE(SetEnvironmentVariable("A=B", "x"));
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);

  char buffer[8];
  std::memset(buffer, 0xBD, sizeof buffer);
  EXPECT_EQ(GetEnvironmentVariable("ZOMATESTVAR", buffer, 3), 4u);
  EXPECT_EQ(static_cast<unsigned char>(buffer[0]), 0xBD);
  EXPECT_EQ(GetEnvironmentVariable("ZOMATESTVAR", buffer, 4), 3u);
  EXPECT_STREQ(buffer, "two");
  EXPECT_EQ(static_cast<unsigned char>(buffer[4]), 0xBD);

  ASSERT_TRUE(SetEnvironmentVariable("zomatestvar", nullptr));
  EXPECT_EQ(std::getenv("ZomaTestVar"), nullptr);
  EXPECT_EQ(GetEnvironmentVariable("ZomaTestVar", buffer, sizeof buffer), 0u);
}

TEST_F(EnvironmentTest, ExpandsKnownVariablesOnly) {
  ASSERT_TRUE(SetEnvironmentVariable("ZomaTestVar", "X"));
  EXPECT_EQ(ExpandEnvironmentStrings("%zomatestvar%\\a"), "X\\a");
  EXPECT_EQ(ExpandEnvironmentStrings("%NO_SUCH_ZOMA_VAR%"), "%NO_SUCH_ZOMA_VAR%");
  EXPECT_EQ(ExpandEnvironmentStrings("%NO_SUCH_ZOMA_VAR%ZomaTestVar%"), "%NO_SUCH_ZOMA_VARX");
  EXPECT_EQ(ExpandEnvironmentStrings("100%"), "100%");
  EXPECT_EQ(ExpandEnvironmentStrings("%%"), "%%");
  setenv("PATH", "/bin", 1);
  EXPECT_EQ(ExpandEnvironmentStrings("%PATH%;C:\\x"), "Z:\\bin;C:\\x");

  char buffer[8];
  std::memset(buffer, 0xBD, sizeof buffer);
  EXPECT_EQ(ExpandEnvironmentStrings("a%ZomaTestVar%b", buffer, 3), 4u);
  EXPECT_EQ(static_cast<unsigned char>(buffer[0]), 0xBD);
  EXPECT_EQ(ExpandEnvironmentStrings("a%ZomaTestVar%b", buffer, 4), 4u);
  EXPECT_STREQ(buffer, "aXb");
  EXPECT_EQ(static_cast<unsigned char>(buffer[4]), 0xBD);
}

}  // namespace
}  // namespace platform
