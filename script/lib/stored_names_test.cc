// Stored names from archives: which ones may be written relative to the current
// directory, and how they are spelt then.
#include "script/lib/stored_names.h"

#include <gtest/gtest.h>

namespace script {
namespace {

TEST(StoredNames, NamesThatStayInside) {
  const std::pair<const char*, const char*> kept[] = {
      {"a.txt", "a.txt"},
      {"dir\\sub\\f.bin", "dir\\sub\\f.bin"},
      {"dir/sub/f.bin", "dir\\sub\\f.bin"},
      {".\\x", "x"},
      {"a\\\\b", "a\\b"},
      {"..name", "..name"},
      {"name..", "name.."},
      {"d\xe9j\xe0 vu", "d\xe9j\xe0 vu"},
  };
  for (const auto& [stored, expected] : kept) {
    std::string path;
    EXPECT_TRUE(SafeRelativePath(stored, &path)) << stored;
    EXPECT_EQ(path, expected) << stored;
  }
}

TEST(StoredNames, NamesThatWouldLeave) {
  for (const char* stored : {"",
                             "..",
                             "../x",
                             "..\\x",
                             "a\\..\\..\\x",
                             "a/../b",
                             "/etc/passwd",
                             "\\x",
                             "\\\\server\\s",
                             "C:\\x",
                             "C:x",
                             "a\\C:\\x",
                             "dir\\ \\x",
                             "...\\x",
                             ". .\\x",
                             "a<b",
                             "a|b",
                             "a\tb",
                             ".",
                             "dir\\"}) {
    std::string path = "untouched";
    EXPECT_FALSE(SafeRelativePath(stored, &path)) << stored;
    EXPECT_EQ(path, "untouched") << stored;
  }
}

}  // namespace
}  // namespace script
