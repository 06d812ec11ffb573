// SearchPathA: the default order, extensions and names with a directory.
#include "platform/search_path.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/testing/windows_view.h"

namespace platform {
namespace {

// The current directory goes back after each test.
class SearchPathTest : public testing::WindowsViewTest {};

TEST_F(SearchPathTest, DefaultOrderExtensionsAndDirectories) {
  const std::string system = prefix_.drive_c() + "/WINDOWS/SYSTEM32";
  { std::ofstream(system + "/tool.exe") << "x"; }
  { std::ofstream(prefix_.drive_c() + "/WINDOWS/tool.com") << "x"; }
  ASSERT_TRUE(CreateDirectory("C:\\work"));
  { std::ofstream(prefix_.drive_c() + "/work/tool.exe") << "x"; }

  // The system directory comes before the Windows directory, the current one first.
  EXPECT_EQ(SearchPath(nullptr, "tool", ".exe"), "C:\\WINDOWS\\SYSTEM32\\tool.exe");
  EXPECT_EQ(SearchPath(nullptr, "TOOL.COM", nullptr), "C:\\WINDOWS\\TOOL.COM");
  ASSERT_TRUE(SetCurrentDirectory("C:\\work"));
  EXPECT_EQ(SearchPath(nullptr, "tool", ".exe"), "C:\\work\\tool.exe");
  // An extension is added only to a name without one.
  EXPECT_EQ(SearchPath(nullptr, "tool.exe", ".com"), "C:\\work\\tool.exe");
  EXPECT_EQ(SearchPath("C:\\WINDOWS;C:\\nowhere", "tool", ".com"), "C:\\WINDOWS\\tool.com");
  EXPECT_EQ(SearchPath(nullptr, "..\\WINDOWS\\tool.com", nullptr), "C:\\WINDOWS\\tool.com");

  Status status = kErrorSuccess;
  EXPECT_EQ(SearchPath(nullptr, "absent", ".exe", &status), "");
  EXPECT_EQ(status, kErrorFileNotFound);
  EXPECT_EQ(SearchPath(nullptr, "work", nullptr), "");  // a directory is no file
  EXPECT_EQ(SearchPath(nullptr, std::string(400, 'a'), ".exe"), "");
  EXPECT_EQ(SearchPath(nullptr, "", ".exe"), "");
}

}  // namespace
}  // namespace platform
