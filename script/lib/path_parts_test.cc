// Path texts: drive parts of drive and network paths, file-name parts, slashes.
#include "script/lib/path_parts.h"

#include <gtest/gtest.h>

namespace script {
namespace {

TEST(PathPartsTest, DrivePart) {
  struct Case {
    const char* path;
    std::size_t length;
  } cases[] = {
      {"C:\\dir\\file", 2},   {"c:file", 2},         {"C:", 2},        {"\\\\srv\\share\\x", 11},
      {"//srv//share/x", 12}, {"\\\\srv\\share", 0}, {"\\\\srv\\", 0}, {"\\\\\\share\\x", 0},
      {"1:\\x", 0},           {"\\dir", 0},          {"", 0},          {"dir\\file", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(DrivePartLength(c.path), c.length) << c.path;
}

TEST(PathPartsTest, FileNameAndSlashes) {
  EXPECT_EQ(FileNameStart("C:\\dir\\file.txt"), 7u);
  EXPECT_EQ(FileNameStart("C:\\dir\\"), 7u);
  EXPECT_EQ(FileNameStart("C:file"), 0u);  // a colon is no separator
  EXPECT_EQ(FileNameStart("a/b"), 2u);
  EXPECT_EQ(NormaliseSlashes("//srv///share//x/", false), "\\\\srv\\share\\x\\");
  EXPECT_EQ(NormaliseSlashes("C:/a//b/", true), "C:\\a\\b");
  EXPECT_EQ(NormaliseSlashes("", true), "");
}

}  // namespace
}  // namespace script
