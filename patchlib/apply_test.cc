// Applying patches made by the maker to trees in a fresh prefix: the reports, and that
// a failure or an abort anywhere leaves every target as it was.
#include "patchlib/apply.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "patchlib/make_patch.h"
#include "patchlib/patch_file.h"
#include "platform/testing/host_files.h"
#include "platform/testing/temp_prefix.h"

namespace patchlib {
namespace {

using platform::testing::HostFileExists;
using platform::testing::ReadHostFile;
using platform::testing::WriteHostFile;

struct Recorder : ApplyObserver {
  std::vector<std::string> events;
  int abort_at_file = 0;      // abort when this new-file report comes (1-based)
  int abort_at_progress = 0;  // abort at this progress report (1-based)
  int files = 0;
  int progress_reports = 0;
  bool TotalFiles(std::uint32_t count) override {
    events.push_back("total " + std::to_string(count));
    return true;
  }
  bool NewFile(const std::string& name) override {
    events.push_back("file " + name);
    return ++files != abort_at_file;
  }
  bool Progress(std::uint32_t done) override {
    if (done == 32768 && events.back() != "done") events.push_back("done");
    return ++progress_reports != abort_at_progress;
  }
  bool Error(const std::string& text) override {
    events.push_back("error " + text);
    return false;
  }
  bool InvalidPatch() override {
    events.push_back("invalid");
    return false;
  }
};

std::string Big(char seed, int size) {
  std::string text;
  unsigned state = static_cast<unsigned char>(seed);
  for (int i = 0; i < size; ++i) {
    state = state * 1103515245 + 12345;
    text.push_back(static_cast<char>('a' + (state >> 16) % 26));
  }
  return text;
}

class ApplyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = prefix_.drive_c();
    for (const char* dir : {"/old", "/new", "/game", "/old/Data", "/new/Data", "/game/Data"})
      mkdir((root_ + dir).c_str(), 0755);
    base_ = Big('x', 200000);
    Write("old", "game.exe", base_);
    Write("old", "Data\\map.dat", "old map");
    Write("old", "gone.txt", "to be removed");
    Write("old", "same.txt", "unchanged");
    std::string changed = base_;
    changed.replace(1000, 5, "PATCH");
    Write("new", "game.exe", changed);
    Write("new", "Data\\map.dat", "new map, longer");
    Write("new", "Data\\added.txt", "brand new");
    Write("new", "same.txt", "unchanged");
    for (const char* name : {"game.exe", "Data\\map.dat", "gone.txt", "same.txt"})
      Write("game", name, ReadHostFile(Host("old", name)));
  }

  std::string Host(const std::string& tree, std::string name) {
    for (char& c : name)
      if (c == '\\') c = '/';
    return root_ + "/" + tree + "/" + name;
  }
  void Write(const std::string& tree, const char* name, const std::string& text) {
    WriteHostFile(Host(tree, name), text);
  }
  void MakePatchFile(const char* name = "update.rtp") {
    std::string patch, error;
    MakeReport report;
    ASSERT_TRUE(
        MakePatch(root_ + "/old", root_ + "/new", MakeOptions{3, false}, &patch, &report, &error))
        << error;
    EXPECT_EQ(report.deltas + report.wholes, 3);
    EXPECT_EQ(report.deletes, 1);
    EXPECT_EQ(report.unchanged, 1);
    WriteHostFile(root_ + "/" + name, patch);
  }
  std::uint32_t Apply(Recorder& recorder, bool check_only = false) {
    ApplyOptions options;
    options.patch_file = "C:\\update.rtp";
    options.target_directory = "C:\\game";
    options.check_only = check_only;
    return ApplyPatchFile(options, recorder);
  }
  void ExpectOld() {
    for (const char* name : {"game.exe", "Data\\map.dat", "gone.txt"})
      EXPECT_EQ(ReadHostFile(Host("game", name)), ReadHostFile(Host("old", name))) << name;
    EXPECT_FALSE(HostFileExists(Host("game", "Data\\added.txt")));
    ExpectNoTemporaries();
  }
  void ExpectNew() {
    for (const char* name : {"game.exe", "Data\\map.dat", "Data\\added.txt", "same.txt"})
      EXPECT_EQ(ReadHostFile(Host("game", name)), ReadHostFile(Host("new", name))) << name;
    EXPECT_FALSE(HostFileExists(Host("game", "gone.txt")));
    ExpectNoTemporaries();
  }
  void ExpectNoTemporaries() {
    std::string listing;
    for (const char* dir : {"/game", "/game/Data"}) {
      std::string command = "ls -a " + root_ + dir + " | grep -c zpatch";
      FILE* pipe = popen(command.c_str(), "r");
      char count[16] = {};
      fgets(count, sizeof count, pipe);
      pclose(pipe);
      EXPECT_STREQ(count, "0\n") << dir;
    }
  }

  platform::testing::TempPrefix prefix_;
  std::string root_;
  std::string base_;
};

TEST_F(ApplyTest, AppliesEveryEntryAndReportsEachFile) {
  MakePatchFile();
  chmod(Host("game", "game.exe").c_str(), 0751);
  Recorder recorder;
  ASSERT_EQ(Apply(recorder), kPatchApplied);
  ExpectNew();
  EXPECT_EQ(recorder.events.front(), "total 4");
  EXPECT_EQ(std::count(recorder.events.begin(), recorder.events.end(), "done"), 4);
  struct stat info;
  stat(Host("game", "game.exe").c_str(), &info);
  EXPECT_EQ(info.st_mode & 0777, 0751u);  // the program stays executable

  // Applying again finds every target already new, and says so without changing them.
  Recorder again;
  EXPECT_EQ(Apply(again), kPatchApplied);
  ExpectNew();
}

TEST_F(ApplyTest, CheckOnlyChangesNothing) {
  MakePatchFile();
  Recorder recorder;
  EXPECT_EQ(Apply(recorder, true), kPatchApplied);
  ExpectOld();
}

TEST_F(ApplyTest, AbortOrMismatchLeavesEveryTargetOld) {
  MakePatchFile();
  for (int file = 1; file <= 4; ++file) {
    Recorder recorder;
    recorder.abort_at_file = file;
    EXPECT_EQ(Apply(recorder), kAborted) << file;
    ExpectOld();
  }
  for (int report = 1; report <= 6; ++report) {
    Recorder recorder;
    recorder.abort_at_progress = report;
    EXPECT_EQ(Apply(recorder), kAborted) << report;
    ExpectOld();
  }
  // The last entry's target is not the version the patch was made from.
  Write("game", "gone.txt", "edited by the user");
  Recorder recorder;
  EXPECT_EQ(Apply(recorder), kTargetMismatch);
  EXPECT_EQ(recorder.events.back().rfind("error C:\\game\\gone.txt is not the version", 0), 0u);
  EXPECT_EQ(ReadHostFile(Host("game", "game.exe")), base_);
  EXPECT_FALSE(HostFileExists(Host("game", "Data\\added.txt")));
  ExpectNoTemporaries();
}

TEST_F(ApplyTest, RefusesATargetInUse) {
  MakePatchFile();
  int fd = open(Host("game", "Data\\map.dat").c_str(), O_RDONLY);
  Recorder recorder;
  EXPECT_EQ(Apply(recorder), kTargetInUse);
  close(fd);
  ExpectOld();
}

TEST_F(ApplyTest, AResultThatDoesNotHashAsPromisedIsNeverInstalled) {
  std::string error, delta;
  std::string changed = base_ + "tail";
  ASSERT_TRUE(MakeDelta(base_, changed, 3, &delta));
  Patch patch;
  Entry entry;
  entry.action = Action::kDelta;
  entry.has_source = true;
  entry.name = "game.exe";
  entry.source_size = base_.size();
  entry.source_sha256 = Sha256(base_);
  entry.result_size = changed.size();
  entry.result_sha256 = Sha256("something else");
  entry.data = delta;
  patch.entries = {entry};
  WriteHostFile(root_ + "/update.rtp", SerializePatch(patch));
  Recorder recorder;
  EXPECT_EQ(Apply(recorder), kInvalidPatch);
  EXPECT_EQ(recorder.events.back(), "invalid");
  EXPECT_EQ(ReadHostFile(Host("game", "game.exe")), base_);
  ExpectNoTemporaries();

  WriteHostFile(root_ + "/update.rtp", "ZOMAPTCH but nothing else");
  Recorder garbage;
  EXPECT_EQ(Apply(garbage), kInvalidPatch);
  Recorder missing;
  ApplyOptions options;
  options.patch_file = "C:\\nowhere.rtp";
  EXPECT_EQ(ApplyPatchFile(options, missing), kCannotReadPatch);
}

TEST(CommandLine, PatchFileFolderAndSwitches) {
  ApplyOptions options;
  ASSERT_TRUE(ParseCommandLine("\"C:\\My Files\\a.rtp\" C:\\ZOMA", &options));
  EXPECT_EQ(options.patch_file, "C:\\My Files\\a.rtp");
  EXPECT_EQ(options.target_directory, "C:\\ZOMA");
  EXPECT_FALSE(options.check_only);
  ASSERT_TRUE(ParseCommandLine("/check a.rtp", &options));
  EXPECT_TRUE(options.check_only);
  EXPECT_EQ(options.patch_file, "a.rtp");
  EXPECT_FALSE(ParseCommandLine("", &options));
  EXPECT_FALSE(ParseCommandLine("/bogus a.rtp", &options));
  EXPECT_FALSE(ParseCommandLine("a b c", &options));
}

}  // namespace
}  // namespace patchlib
