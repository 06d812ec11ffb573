// Directory listings come in NTFS name order whatever the host file system's order is,
// so a tree walk prints the same on every machine and short names stay the same.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/ascii.h"
#include "platform/directory_entries.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/short_names.h"
#include "platform/testing/windows_view.h"

namespace platform {
namespace {

using Names = std::vector<std::string>;

TEST(NameOrder, UpperCasedBytesThenExactBytes) {
  // Upper-casing, not lower-casing: "_" (0x5F) sorts after the letters, "[" as well.
  // Names equal but for case sort by their bytes; bytes above 127 after ASCII.
  Names names = {"zeta",
                 "_under",
                 "Beta",
                 "alpha",
                 "README",
                 "readme",
                 "ReadMe",
                 "a",
                 "A.txt",
                 "a[",
                 "\xC3\xA9t\xC3\xA9",
                 "ab",
                 "AB.txt"};
  std::sort(names.begin(), names.end(), NameOrderLess);
  EXPECT_EQ(names, (Names{"a", "A.txt", "ab", "AB.txt", "alpha", "a[", "Beta", "README", "ReadMe",
                          "readme", "zeta", "_under", "\xC3\xA9t\xC3\xA9"}));
  EXPECT_EQ(CompareIgnoreCase("Same", "sAME"), 0);
  EXPECT_LT(CompareIgnoreCase("abc", "ABCD"), 0);
  EXPECT_GT(CompareIgnoreCase("\x80", "z"), 0);
  EXPECT_FALSE(NameOrderLess("same", "same"));
}

class DirectoryOrderTest : public testing::WindowsViewTest {
 protected:
  // Makes C:\<dir> holding `names`, created in the order given.
  void MakeDirectory(const std::string& dir, const Names& names) {
    ASSERT_EQ(mkdir((drive_c() + "/" + dir).c_str(), 0777), 0);
    for (const std::string& name : names) WriteHostFile(drive_c() + "/" + dir + "/" + name, "x");
  }

  static Names FindInOrder(const std::string& pattern, Names* short_names) {
    Names names;
    FindData data;
    FindHandle handle = FindFirstFile(pattern, &data);
    if (!handle.valid()) return names;
    do {
      names.push_back(data.name);
      short_names->push_back(data.short_name);
    } while (FindNextFile(handle, &data));
    FindClose(handle);
    return names;
  }
};

TEST_F(DirectoryOrderTest, EveryListingGivesNameOrderAndStableShortNames) {
  const Names created = {
      "Long File Name b.txt", "long file name A.txt", "Zed", "_x", "beta", "ALPHA",
      "Long File Name C.txt"};
  const Names expected = {
      "ALPHA", "beta", "long file name A.txt", "Long File Name b.txt", "Long File Name C.txt",
      "Zed",   "_x"};
  // Two directories filled in opposite orders: the host lists at least one of them in
  // another order than the other.
  MakeDirectory("Forward", created);
  MakeDirectory("Backward", Names(created.rbegin(), created.rend()));

  for (const char* dir : {"Forward", "Backward"}) {
    SCOPED_TRACE(dir);
    std::vector<DirectoryEntry> entries;
    ASSERT_TRUE(ListDirectoryEntries(std::string("C:\\") + dir, &entries));
    Names listed;
    for (const DirectoryEntry& entry : entries) listed.push_back(entry.name);
    EXPECT_EQ(listed, expected);

    Names read;
    ASSERT_TRUE(ReadDirectoryNames(drive_c() + "/" + dir, &read));
    EXPECT_EQ(read, expected);

    Names short_names;
    Names found = FindInOrder(std::string("C:\\") + dir + "\\*", &short_names);
    Names with_dots = {".", ".."};
    with_dots.insert(with_dots.end(), expected.begin(), expected.end());
    EXPECT_EQ(found, with_dots);
    // ~N counts in name order, so the same names get the same short names everywhere.
    EXPECT_EQ(short_names, (Names{"", "", "", "BETA~1", "LONGFI~1.TXT", "LONGFI~2.TXT",
                                  "LONGFI~3.TXT", "ZED~1", "_X~1"}));
    EXPECT_TRUE(EndsWithIgnoreCase(
        GetShortPathName(std::string("C:\\") + dir + "\\Long File Name b.txt"), "\\LONGFI~2.TXT"));
  }
}

}  // namespace
}  // namespace platform
