// Directory entries as they are: links reported, never followed; pipes set apart; mount
// points marked; links copied and removed as links.
#include "platform/directory_entries.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/testing/windows_view.h"

namespace platform {
namespace {

class DirectoryEntriesTest : public testing::WindowsViewTest {};

TEST_F(DirectoryEntriesTest, KindsLinksAndMountPoints) {
  const std::string dir = drive_c() + "/d";
  ASSERT_EQ(mkdir(dir.c_str(), 0777), 0);
  ASSERT_EQ(mkdir((dir + "/sub").c_str(), 0777), 0);
  WriteHostFile(dir + "/file.txt", "12345");
  ASSERT_EQ(symlink(drive_c().c_str(), (dir + "/up").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", (dir + "/dangling").c_str()), 0);
  ASSERT_EQ(mkfifo((dir + "/pipe").c_str(), 0600), 0);
  // No Windows path names these exactly: not listed.
  WriteHostFile(dir + "/..\\..\\victim", "");
  ASSERT_EQ(mkdir((dir + "/.. ").c_str(), 0777), 0);
  ASSERT_EQ(mkdir((dir + "/...").c_str(), 0777), 0);
  WriteHostFile(dir + "/what?", "");
  WriteHostFile(dir + "/trailing.", "");

  std::vector<DirectoryEntry> entries;
  ASSERT_TRUE(ListDirectoryEntries("C:\\D", &entries));
  std::sort(entries.begin(), entries.end(),
            [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_EQ(entries[0].name, "dangling");
  EXPECT_EQ(entries[0].kind, EntryKind::kLink);
  EXPECT_EQ(entries[1].kind, EntryKind::kFile);
  EXPECT_EQ(entries[2].kind, EntryKind::kSpecial);
  EXPECT_EQ(entries[3].kind, EntryKind::kDirectory);
  EXPECT_FALSE(entries[3].other_file_system);
  EXPECT_EQ(entries[4].kind, EntryKind::kLink);
  EXPECT_FALSE(ListDirectoryEntries("C:\\D\\file.txt", &entries));
  EXPECT_FALSE(ListDirectoryEntries("C:\\missing", &entries));

  ASSERT_EQ(chdir(dir.c_str()), 0);
  ASSERT_TRUE(ListDirectoryEntries("", &entries));
  EXPECT_EQ(entries.size(), 5u);
  EXPECT_EQ(GetEntryKind("up"), EntryKind::kLink);
  EXPECT_EQ(GetEntryKind("sub"), EntryKind::kDirectory);
  EXPECT_EQ(GetEntryKind("gone"), EntryKind::kNone);
  EXPECT_TRUE(IsSameFile("up", "C:\\"));
  EXPECT_FALSE(IsSameFile("up", "sub"));
  PathStatus status;
  ASSERT_TRUE(GetPathStatus("file.txt", &status));
  EXPECT_EQ(status.size, 5u);
  EXPECT_FALSE(status.is_directory);
  EXPECT_FALSE(GetPathStatus("gone", &status));

  // A link is copied as its text and removed as itself; a directory is never replaced.
  ASSERT_TRUE(CopySymbolicLink("dangling", "sub\\copy"));
  char text[64] = {};
  ASSERT_GT(readlink((dir + "/sub/copy").c_str(), text, sizeof text - 1), 0);
  EXPECT_STREQ(text, "nowhere");
  EXPECT_TRUE(CopySymbolicLink("up", "sub\\copy"));
  EXPECT_FALSE(CopySymbolicLink("up", "sub"));
  EXPECT_TRUE(DeleteSymbolicLink("sub\\copy"));
  EXPECT_FALSE(DeleteSymbolicLink("file.txt"));
  EXPECT_TRUE(DeleteSymbolicLink("up"));
  EXPECT_EQ(GetEntryKind("C:\\D"), EntryKind::kDirectory);

  // Where /proc is a file system of its own (as it nearly always is), Z:\ shows it.
  struct stat root_st, proc_st;
  if (stat("/", &root_st) == 0 && stat("/proc", &proc_st) == 0 &&
      proc_st.st_dev != root_st.st_dev) {
    ASSERT_TRUE(ListDirectoryEntries("Z:\\", &entries));
    auto proc = std::find_if(entries.begin(), entries.end(),
                             [](const DirectoryEntry& e) { return e.name == "proc"; });
    ASSERT_NE(proc, entries.end());
    EXPECT_TRUE(proc->other_file_system);
  }
}

}  // namespace
}  // namespace platform
