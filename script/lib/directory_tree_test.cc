// Tree copies, moves, removals and walks over trees that hold symbolic links: nothing
// outside the tree is touched, links are copied as links, loops end, failures leave the
// source in place.
#include "script/lib/directory_tree.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/testing/windows_view.h"
#include "script/lib/directory_walk.h"
#include "script/lib/wildcard.h"

namespace script {
namespace {

class DirectoryTreeTest : public platform::testing::WindowsViewTest {
 protected:
  void SetUp() override {
    WindowsViewTest::SetUp();
    // C:\tree: a.txt, sub\b.txt, sub\deep\c.ini, and links out of the tree, back up to
    // its top, and to a file outside; C:\outside holds what must survive.
    Make("outside/keep.txt", "keep");
    Make("tree/a.txt", "a");
    Make("tree/sub/b.txt", "bb");
    Make("tree/sub/deep/c.ini", "ccc");
    Link(host("outside"), "tree/out");
    Link(host("tree"), "tree/sub/loop");
    Link("../../outside/keep.txt", "tree/sub/keep-link");
  }

  std::string host(const std::string& relative) const { return drive_c() + "/" + relative; }
  bool Exists(const std::string& relative) const {
    struct stat st;
    return lstat(host(relative).c_str(), &st) == 0;
  }
  void Make(const std::string& relative, const std::string& contents) {
    std::string path = host(relative);
    for (size_t i = drive_c().size() + 1; (i = path.find('/', i)) != std::string::npos; ++i)
      mkdir(path.substr(0, i).c_str(), 0777);
    WriteHostFile(path, contents);
  }
  void Link(const std::string& target, const std::string& relative) {
    ASSERT_EQ(symlink(target.c_str(), host(relative).c_str()), 0);
  }
  std::string LinkText(const std::string& relative) const {
    char buffer[4096];
    ssize_t n = readlink(host(relative).c_str(), buffer, sizeof buffer);
    return n < 0 ? "" : std::string(buffer, static_cast<size_t>(n));
  }
};

TEST_F(DirectoryTreeTest, RemovalTakesLinksNotWhatTheyPointAt) {
  chmod(host("tree/sub/b.txt").c_str(), 0444);  // read-only files go too
  // A host name that would read as a way out of the tree is never taken for one.
  Make("victim", "v");
  Make("tree/..\\victim", "");
  Make("tree/.. /victim", "");
  // a.txt, out, sub, b.txt, deep, c.ini, loop, keep-link.
  EXPECT_EQ(RunTreeOperation(TreeMode::kDelete, "C:\\tree", ""), 8);
  EXPECT_TRUE(Exists("tree"));
  EXPECT_FALSE(Exists("tree/sub"));
  EXPECT_FALSE(Exists("tree/out"));
  EXPECT_EQ(ReadHostFile(host("outside/keep.txt")), "keep");
  EXPECT_TRUE(Exists("victim"));
  // An empty name is never the current directory's tree.
  ASSERT_EQ(chdir(host("outside").c_str()), 0);
  EXPECT_EQ(RunTreeOperation(TreeMode::kDelete, "", ""), 0);
  EXPECT_TRUE(Exists("outside/keep.txt"));
}

TEST_F(DirectoryTreeTest, CopyKeepsLinksAsLinksAndNeverCopiesItsOwnTarget) {
  ASSERT_EQ(mkdir(host("copy").c_str(), 0777), 0);
  // A link already where a file goes is replaced, not written through.
  Link(host("outside/keep.txt"), "copy/a.txt");
  EXPECT_EQ(RunTreeOperation(TreeMode::kCopy, "C:\\tree", "C:\\copy"), 8);
  EXPECT_EQ(ReadHostFile(host("copy/a.txt")), "a");
  EXPECT_EQ(ReadHostFile(host("outside/keep.txt")), "keep");
  EXPECT_EQ(ReadHostFile(host("copy/sub/deep/c.ini")), "ccc");
  EXPECT_EQ(LinkText("copy/sub/loop"), host("tree"));
  EXPECT_EQ(LinkText("copy/sub/keep-link"), "../../outside/keep.txt");
  EXPECT_EQ(LinkText("copy/out"), host("outside"));

  // Into a directory of its own: the copy is not copied again.
  ASSERT_EQ(mkdir(host("tree/sub/mirror").c_str(), 0777), 0);
  EXPECT_EQ(RunTreeOperation(TreeMode::kCopy, "C:\\tree", "C:\\tree\\sub\\mirror"), 8);
  EXPECT_TRUE(Exists("tree/sub/mirror/sub/deep/c.ini"));
  EXPECT_FALSE(Exists("tree/sub/mirror/sub/mirror"));
}

TEST_F(DirectoryTreeTest, MoveRemovesOnlyWhatItCopied) {
  ASSERT_EQ(mkdir(host("moved").c_str(), 0777), 0);
  Make("moved/sub/b.txt", "old");
  chmod(host("moved/sub/b.txt").c_str(), 0444);  // cannot be replaced
  // Every item moves (one each) except b.txt, whose copy fails, and sub, which then
  // cannot be removed but was created: "sub" already existed, so it counts nothing.
  EXPECT_EQ(RunTreeOperation(TreeMode::kMove, "C:\\tree", "C:\\moved"), 6);
  EXPECT_EQ(ReadHostFile(host("tree/sub/b.txt")), "bb");
  EXPECT_EQ(ReadHostFile(host("moved/sub/b.txt")), "old");
  EXPECT_FALSE(Exists("tree/a.txt"));
  EXPECT_FALSE(Exists("tree/sub/deep"));
  EXPECT_EQ(ReadHostFile(host("moved/sub/deep/c.ini")), "ccc");
  EXPECT_EQ(LinkText("moved/out"), host("outside"));
  EXPECT_EQ(ReadHostFile(host("outside/keep.txt")), "keep");
}

TEST_F(DirectoryTreeTest, ATreeMovedOrCopiedOntoItselfLosesNothing) {
  ASSERT_EQ(mkdir(host("tree/empty").c_str(), 0777), 0);
  Link(host("tree"), "alias");
  for (TreeMode mode : {TreeMode::kMove, TreeMode::kCopy}) {
    EXPECT_EQ(RunTreeOperation(mode, "C:\\tree", "C:\\tree"), 0);
    EXPECT_EQ(RunTreeOperation(mode, "C:\\tree", "C:\\ALIAS"), 0);
    EXPECT_EQ(RunTreeOperation(mode, "C:\\tree\\sub", "C:\\alias\\sub"), 0);
  }
  EXPECT_TRUE(Exists("tree/empty"));
  EXPECT_EQ(LinkText("tree/sub/loop"), host("tree"));
  EXPECT_EQ(ReadHostFile(host("tree/sub/b.txt")), "bb");
}

std::vector<std::string> Walk(const std::string& directory, const std::string& wildcard,
                              int32_t flags, int stop_after = -1) {
  auto directories = Regex::Compile(".*");
  auto files = Regex::Compile(WildcardToRegex(wildcard));
  std::vector<std::string> found;
  WalkDirectory(directory, *directories, *files, flags, [&](const std::string& path) {
    found.push_back(path);
    return static_cast<int>(found.size()) != stop_after;
  });
  if (stop_after < 0) std::sort(found.begin(), found.end());
  return found;
}

TEST_F(DirectoryTreeTest, WalksReportLinksAsFilesAndNeverEnterThem) {
  using List = std::vector<std::string>;
  EXPECT_EQ(Walk("C:\\tree", "*", 0), (List{"C:\\tree\\a.txt", "C:\\tree\\out",
                                            "C:\\tree\\sub\\b.txt", "C:\\tree\\sub\\deep\\c.ini",
                                            "C:\\tree\\sub\\keep-link", "C:\\tree\\sub\\loop"}));
  EXPECT_EQ(Walk("C:\\tree\\", "*.INI", kWalkWantDirectories),
            (List{"C:\\tree\\sub", "C:\\tree\\sub\\deep", "C:\\tree\\sub\\deep\\c.ini"}));
  EXPECT_EQ(Walk("C:\\tree", "*", kWalkNoRecursion | kWalkWantDirectories),
            (List{"C:\\tree\\a.txt", "C:\\tree\\out"}));
  EXPECT_EQ(Walk("C:\\tree", "*", 0, 2).size(), 2u);
  EXPECT_TRUE(Walk("C:\\missing", "*", 0).empty());
  ASSERT_EQ(chdir(host("tree/sub").c_str()), 0);
  EXPECT_EQ(Walk("", "*.txt", 0), (List{"b.txt"}));
}

}  // namespace
}  // namespace script
