// The install journal: a kill after any number of renames, even inside a replace, rolls
// back to exactly the old tree; a kill after the commit completes the new one.
#include "updatelib/journal.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "updatelib/castanet.h"

namespace castanet {
namespace {

using Tree = std::map<std::string, std::string>;

class JournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/castanet-journal-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void Put(const std::string& path, const std::string& contents) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << contents;
  }

  Tree Read() {
    Tree tree;
    for (auto it = std::filesystem::recursive_directory_iterator(target());
         it != std::filesystem::recursive_directory_iterator(); ++it) {
      std::string relative = std::filesystem::relative(it->path(), target()).string();
      if (relative == ".castanet") {
        it.disable_recursion_pending();
        continue;
      }
      std::stringstream text;
      if (it->is_regular_file()) text << std::ifstream(it->path()).rdbuf();
      tree[relative] = it->is_regular_file() ? text.str() : "<dir>";
    }
    return tree;
  }

  std::string target() const { return dir_ + "/target"; }

  // Old tree: keep, change, remove. New: keep, change', add/sub/new.
  Journal Prepare(ChannelState* state, InstallJournal* journal) {
    Put(target() + "/keep", "keep");
    Put(target() + "/change", "old");
    Put(target() + "/remove", "remove");
    std::string error;
    EXPECT_TRUE(state->Create(&error));
    Journal j;
    j.manifest_sha256 = std::string(64, 'b');
    j.ops.push_back({JournalOpKind::kMkdir, 0, "", "add"});
    j.ops.push_back({JournalOpKind::kMkdir, 0, "", "add/sub"});
    j.ops.push_back({JournalOpKind::kReplace, 1, std::string(64, 'c'), "change"});
    j.ops.push_back({JournalOpKind::kCreate, 2, std::string(64, 'd'), "add/sub/new"});
    j.ops.push_back({JournalOpKind::kDelete, 3, "", "remove"});
    Put(journal->NewPath(1), "new");
    Put(journal->NewPath(2), "added");
    EXPECT_TRUE(journal->Write(j, &error)) << error;
    return j;
  }

  std::string dir_;
};

TEST_F(JournalTest, KillAtEveryStepRollsBackToTheOldTree) {
  Tree old_tree = {{"keep", "keep"}, {"change", "old"}, {"remove", "remove"}};
  for (int steps = 0; steps <= 5; steps++) {
    for (bool inside_replace : {false, true}) {
      std::filesystem::remove_all(dir_);
      ChannelState state(target(), "Zoma/Programs");
      InstallJournal journal(state);
      Journal j = Prepare(&state, &journal);
      std::string error;
      for (int i = 0; i < steps; i++) ASSERT_TRUE(journal.Apply(j.ops[i], &error)) << error;
      if (inside_replace && steps == 2) {
        // Killed between the two renames of the replace.
        ASSERT_EQ(rename((target() + "/change").c_str(), journal.OldPath(1).c_str()), 0);
      }
      std::vector<int> undo_events;
      bool recovered = false;
      ASSERT_TRUE(journal.Recover(
          std::string(64, 'a'), [&](int code, const std::string&) { undo_events.push_back(code); },
          &recovered, &error))
          << error;
      EXPECT_TRUE(recovered);
      EXPECT_EQ(Read(), old_tree) << "after " << steps << " steps";
      EXPECT_FALSE(std::filesystem::exists(state.Path("journal")));
      if (steps == 5) {
        EXPECT_EQ(undo_events, (std::vector<int>{CASTANET_UNDO_CREATE, CASTANET_UNDO_DELETE,
                                                 CASTANET_UNDO_REPLACE, CASTANET_UNDO_DELETE,
                                                 CASTANET_UNDO_DELETE}));
      }
      // A second recovery finds nothing to do.
      ASSERT_TRUE(journal.Recover(
          std::string(64, 'a'), [](int, const std::string&) {}, &recovered, &error));
      EXPECT_FALSE(recovered);
    }
  }
}

TEST_F(JournalTest, KillAfterCommitCompletesTheNewTree) {
  ChannelState state(target(), "Zoma/Programs");
  InstallJournal journal(state);
  Journal j = Prepare(&state, &journal);
  std::string error;
  for (const JournalOp& op : j.ops) ASSERT_TRUE(journal.Apply(op, &error)) << error;
  bool recovered = false;
  ASSERT_TRUE(journal.Recover(
      j.manifest_sha256, [](int, const std::string&) {}, &recovered, &error));
  EXPECT_TRUE(recovered);
  Tree new_tree = {{"keep", "keep"},
                   {"change", "new"},
                   {"add", "<dir>"},
                   {"add/sub", "<dir>"},
                   {"add/sub/new", "added"}};
  EXPECT_EQ(Read(), new_tree);
  EXPECT_TRUE(std::filesystem::is_empty(state.Path("txn/old")));
}

TEST_F(JournalTest, IncompleteOrCorruptJournalsChangeNothing) {
  ChannelState state(target(), "Zoma/Programs");
  InstallJournal journal(state);
  Journal j = Prepare(&state, &journal);
  std::string text;
  {
    std::stringstream buffer;
    buffer << std::ifstream(state.Path("journal")).rdbuf();
    text = buffer.str();
  }
  // Cut before "end": written by a process that died before the first rename.
  Put(state.Path("journal"), text.substr(0, text.size() - 4));
  bool recovered = false;
  std::string error;
  ASSERT_TRUE(journal.Recover(
      "", [](int, const std::string&) {}, &recovered, &error));
  EXPECT_TRUE(recovered);
  Tree old_tree = {{"keep", "keep"}, {"change", "old"}, {"remove", "remove"}};
  EXPECT_EQ(Read(), old_tree);
  // Paths that leave the target are refused when read back.
  Put(state.Path("journal"),
      "castanet-journal 1\nmanifest " + std::string(64, 'b') + "\ndelete 1 - ../escape\nend\n");
  Journal read;
  bool exists = false;
  EXPECT_FALSE(journal.Read(&read, &exists, &error));
  EXPECT_TRUE(exists);
}

}  // namespace
}  // namespace castanet
