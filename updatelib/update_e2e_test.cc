// End-to-end updates through mrbupd.dll's calls against a real nginx: install, update,
// no-op check, patches, refusals of bad servers, undo of a refused file, full disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "updatelib/castanet.h"
#include "updatelib/channel/crypto.h"
#include "updatelib/channel/file_io.h"
#include "updatelib/channel/pointer.h"
#include "updatelib/channel/zstd_codec.h"
#include "updatelib/testing/update_fixture.h"

namespace castanet::testing {
namespace {

class UpdateTest : public UpdateFixture {};

TEST_F(UpdateTest, InstallUpdateAndNoOpCheck) {
  WriteSource("Programs/ZomaUp.exe", "updater v1");
  WriteSource("readme.txt", "read me");
  WriteSource("data/keep.dat", SampleData(50000, 1));
  WriteSource("data/old.dat", "to be removed");
  Publish();

  DriverRun first = Run();
  EXPECT_EQ(first.exit_code, 0);
  EXPECT_EQ(first.Call("mrbIsPrepareNeeded"), "1");  // nothing there yet
  EXPECT_EQ(first.Call("mrbUpdate"), "0");
  EXPECT_TRUE(first.HasEvent(CASTANET_UPDATE_CONNECTING));
  EXPECT_TRUE(first.HasEvent(CASTANET_UPDATE_TRANSFER, "data/keep.dat"));
  EXPECT_TRUE(first.HasEvent(CASTANET_PROGRESS_PERCENT, "100%"));
  EXPECT_TRUE(first.HasEvent(CASTANET_UPDATE_MKDIR, "Programs"));
  EXPECT_TRUE(first.HasEvent(CASTANET_UPDATE_INSTALL, "Programs/ZomaUp.exe"));
  EXPECT_TRUE(first.HasEvent(CASTANET_UPDATE_CREATE, "readme.txt"));
  EXPECT_TRUE(first.HasEvent(CASTANET_UDPATE_DONE, kChannel));
  EXPECT_EQ(TargetTree(), SourceTree());
  // The request log and the user agent reach the server with every request.
  for (const std::string& line : server_.AccessLines()) {
    EXPECT_NE(line.find("\"Affiliation=TEST1\""), std::string::npos) << line;
    EXPECT_NE(line.find("Zoma Software/1.0; UpdateLibrary/0.96"), std::string::npos) << line;
  }

  WriteSource("Programs/ZomaUp.exe", "updater v2");
  WriteSource("new/added.txt", "added");
  RemoveSource("data/old.dat");
  Publish();
  DriverRun second = Run();
  EXPECT_EQ(second.Call("mrbUpdate"), "0");
  EXPECT_TRUE(second.HasEvent(CASTANET_UPDATE_UPDATE, "Programs/ZomaUp.exe"));
  EXPECT_TRUE(second.HasEvent(CASTANET_UPDATE_CREATE, "new/added.txt"));
  EXPECT_TRUE(second.HasEvent(CASTANET_UPDATE_DELETE, "data/old.dat"));
  EXPECT_FALSE(second.HasEvent(CASTANET_UPDATE_TRANSFER, "data/keep.dat"));  // unchanged
  EXPECT_EQ(TargetTree(), SourceTree());

  // Nothing new: one conditional request for the pointer, answered 304, no body.
  size_t before = server_.AccessLines().size();
  DriverRun third = Run();
  EXPECT_EQ(third.Call("mrbIsUpdateAvailable"), "0 0");
  EXPECT_EQ(third.Call("mrbUpdate"), "");
  EXPECT_TRUE(third.HasEvent(CASTANET_UPDATE_CONNECTING));  // the caller counts on it
  std::vector<std::string> lines = server_.AccessLines();
  ASSERT_EQ(lines.size(), before + 1);
  EXPECT_NE(lines.back().find("/pointer HTTP/1.1\" 304 0 "), std::string::npos) << lines.back();

  // A forced update with nothing to do says so.
  DriverRun forced = Run({"--force"});
  EXPECT_EQ(forced.Call("mrbUpdate"), "0");
  EXPECT_TRUE(forced.HasEvent(CASTANET_UPDATE_NO_CHANGES));
}

TEST_F(UpdateTest, PatchServesAModifiedLargeFile) {
  std::string big = SampleData(3 << 20, 7);
  WriteSource("data/big.dat", big);
  Publish();
  ASSERT_EQ(Run().Call("mrbUpdate"), "0");
  big.replace(big.size() / 2, 64, std::string(64, '#'));
  WriteSource("data/big.dat", big);
  ASSERT_EQ(Publish().patches, 1u);

  uint64_t blobs_before = BytesServed("/blobs/");
  DriverRun run = Run();
  EXPECT_EQ(run.Call("mrbUpdate"), "0");
  EXPECT_EQ(TargetTree(), SourceTree());
  EXPECT_EQ(BytesServed("/blobs/"), blobs_before);  // no object fetched
  uint64_t patch_bytes = BytesServed("/patches/");
  EXPECT_GT(patch_bytes, 0u);
  EXPECT_LT(patch_bytes, 20000u);
  // The byte count announced is what went over the wire.
  EXPECT_EQ(run.Call("mrbIsUpdateAvailable"), "1 " + std::to_string(patch_bytes));
}

TEST_F(UpdateTest, ServerFailuresAreReportedAndChangeNothing) {
  WriteSource("a.txt", "a");
  Publish();

  DriverRun wrong =
      RunArgs({"--target", target_, "--url", server_.Url(kChannel), "--password", "guess"});
  EXPECT_TRUE(wrong.HasEvent(CASTANET_ERROR_WRONG_PASSWD));
  EXPECT_TRUE(wrong.HasEvent(CASTANET_UPDATE_CONNECTING));
  EXPECT_EQ(wrong.Call("mrbIsUpdateAvailable"), "0 0");
  DriverRun none = RunArgs({"--target", target_, "--url", server_.Url(kChannel)});
  EXPECT_TRUE(none.HasEvent(CASTANET_ERROR_WRONG_PASSWD));

  DriverRun missing = Run({}, "Zoma/Nothing");
  EXPECT_TRUE(missing.HasEvent(CASTANET_ERROR_NO_SUCH_CHANNEL, "Zoma/Nothing"));
  EXPECT_EQ(missing.Call("mrbIsUpdateAvailable"), "0 0");

  // Nobody listens: no connecting event, so the caller retries instead of moving on.
  int port = FreeLoopbackPort();
  DriverRun unreachable =
      RunArgs({"--target", target_, "--url",
               "http://127.0.0.1:" + std::to_string(port) + "/Zoma/Programs", "--force"});
  EXPECT_TRUE(unreachable.HasEvent(CASTANET_ERROR_CONNECT_FAILED));
  EXPECT_FALSE(unreachable.HasEvent(CASTANET_UPDATE_CONNECTING));
  EXPECT_EQ(unreachable.Call("mrbUpdate"), "-1");
  EXPECT_TRUE(TargetTree().empty());
}

TEST_F(UpdateTest, TamperedReplayedExpiredAndForeignChannelsAreRefused) {
  WriteSource("a.txt", "version one");
  Publish();
  std::string channel_dir = www_ + "/" + kChannel;
  std::string error, old_pointer;
  ASSERT_TRUE(ReadWholeFile(channel_dir + "/pointer", &old_pointer, &error));
  ASSERT_EQ(Run().Call("mrbUpdate"), "0");
  auto installed = TargetTree();

  // A tampered object: valid zstd, other contents.
  WriteSource("a.txt", "version two");
  Publish();
  std::string blob = channel_dir + "/" + BlobPath(Sha256Hex("version two"));
  ASSERT_TRUE(std::filesystem::exists(blob));
  std::string other = dir_ + "/other.txt";
  ASSERT_TRUE(WriteFileAtomically(other, "version 2!!", &error));
  uint64_t stored = 0;
  ASSERT_TRUE(CompressFile(other, blob, 3, &stored).ok());
  DriverRun tampered = Run();
  EXPECT_EQ(tampered.Call("mrbUpdate"), "-1");
  EXPECT_TRUE(tampered.HasEvent(CASTANET_ERROR_BAD_CONTENT, "a.txt"));
  EXPECT_EQ(TargetTree(), installed);

  // A replayed older pointer (with its genuine signature).
  WriteSource("a.txt", "version three");
  Publish();
  ASSERT_EQ(Run().Call("mrbUpdate"), "0");
  installed = TargetTree();
  // Pointers written by hand get modification times past the current one, as a
  // publication would, so that the server's validators stay distinct.
  std::string current_pointer;
  ASSERT_TRUE(ReadWholeFile(channel_dir + "/pointer", &current_pointer, &error));
  auto pointer_time = std::filesystem::last_write_time(channel_dir + "/pointer");
  ASSERT_TRUE(WriteFileAtomically(channel_dir + "/pointer", old_pointer, &error));
  std::filesystem::last_write_time(channel_dir + "/pointer",
                                   pointer_time + std::chrono::seconds(10));
  DriverRun replayed = Run({"--force"});
  EXPECT_TRUE(replayed.HasEvent(CASTANET_ERROR_ROLLBACK));
  EXPECT_EQ(replayed.Call("mrbUpdate"), "-1");
  EXPECT_EQ(TargetTree(), installed);
  ASSERT_TRUE(WriteFileAtomically(channel_dir + "/pointer", current_pointer, &error));
  std::filesystem::last_write_time(channel_dir + "/pointer",
                                   pointer_time + std::chrono::seconds(20));

  // A pointer past its expiry (a frozen server).
  zomapublish::PublishOptions options = DefaultOptions();
  options.now = 1000000;
  WriteSource("a.txt", "version four");
  Publish(options);
  DriverRun expired = Run();
  EXPECT_TRUE(expired.HasEvent(CASTANET_ERROR_EXPIRED));
  EXPECT_EQ(TargetTree(), installed);

  // A channel signed by a key this installation does not trust.
  options = DefaultOptions();
  ASSERT_TRUE(GenerateSigningKey(&options.keys[0], &error));
  Publish(options);
  DriverRun foreign = Run({"--force"});
  EXPECT_TRUE(foreign.HasEvent(CASTANET_ERROR_BAD_SIGNATURE));
  EXPECT_EQ(foreign.Call("mrbUpdate"), "-1");
  EXPECT_EQ(TargetTree(), installed);
}

TEST_F(UpdateTest, RefusedFileUndoesTheInstall) {
  WriteSource("Programs/ZomaUp.exe", "updater v1");
  WriteSource("a.txt", "a1");
  WriteSource("gone.txt", "gone");
  Publish();
  ASSERT_EQ(Run().Call("mrbUpdate"), "0");
  auto old_tree = TargetTree();

  WriteSource("Programs/ZomaUp.exe", "updater v2");
  WriteSource("a.txt", "a2");
  WriteSource("sub/b.txt", "b");
  RemoveSource("gone.txt");
  Publish();
  uint64_t served = BytesServed("/blobs/");
  // Files install in path order: the two replacements are done when sub/b.txt is refused.
  DriverRun refused = Run({"--refuse", "SUB/B.TXT"});
  EXPECT_EQ(refused.Call("mrbUpdate"), "-1");
  EXPECT_TRUE(refused.HasEvent(CASTANET_ERROR_INSTALL_FAILED, "sub/b.txt"));
  EXPECT_TRUE(refused.HasEvent(CASTANET_UNDO_REPLACE, "a.txt"));
  EXPECT_TRUE(refused.HasEvent(CASTANET_UNDO_REPLACE, "Programs/ZomaUp.exe"));
  EXPECT_TRUE(refused.HasEvent(CASTANET_UNDO_DELETE, "sub"));
  EXPECT_EQ(TargetTree(), old_tree);
  // The caller got the new version's path in the holding area while it was staged.
  std::string lookup;
  for (const std::string& line : refused.lines) {
    if (line.rfind("LOOKUP ", 0) == 0) lookup = line.substr(7);
  }
  EXPECT_FALSE(lookup.empty());
  // Undo events come after the failure that starts the undo.
  size_t failure = 0, undo = 0;
  for (size_t i = 0; i < refused.events.size(); i++) {
    if (refused.events[i].first == CASTANET_ERROR_INSTALL_FAILED) failure = i;
    if (refused.events[i].first == CASTANET_UNDO_REPLACE) undo = i;
  }
  EXPECT_LT(failure, undo);

  // The next session installs without fetching anything again.
  served = BytesServed("/blobs/");
  DriverRun again = Run();
  EXPECT_EQ(again.Call("mrbUpdate"), "0");
  EXPECT_EQ(TargetTree(), SourceTree());
  EXPECT_EQ(BytesServed("/blobs/"), served);
}

TEST_F(UpdateTest, FullDiskLeavesInstalledFilesUntouched) {
  WriteSource("a.txt", "a1");
  Publish();
  ASSERT_EQ(Run().Call("mrbUpdate"), "0");
  auto old_tree = TargetTree();
  WriteSource("a.txt", "a2");
  WriteSource("big.dat", std::string(1, 'x') + SampleData(4 << 20, 3));
  Publish();
  DriverRun full = Run({"--file-size-limit", "200000"});
  EXPECT_EQ(full.Call("mrbUpdate"), "-1");
  EXPECT_TRUE(full.HasEvent(CASTANET_ERROR_DISK_FULL));
  EXPECT_EQ(TargetTree(), old_tree);
  EXPECT_EQ(Run().Call("mrbUpdate"), "0");
  EXPECT_EQ(TargetTree(), SourceTree());
}

TEST_F(UpdateTest, ProfileLimitsWhatIsInstalled) {
  WriteSource("Programs/ZomaUp.exe", "u");
  WriteSource("Programs/readme.txt", "r");
  WriteSource("Movies/intro.avi", "m");
  WriteSource("Movies/extra/outro.avi", "o");
  Publish();
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(dir_ + "/profile",
                                  "# what this installation wants\n"
                                  "programs/*.EXE\nMovies/\n!movies/extra/\n",
                                  &error));
  EXPECT_EQ(Run({"--profile", dir_ + "/profile"}).Call("mrbUpdate"), "0");
  std::map<std::string, std::string> expected = {{"Programs/ZomaUp.exe", "u"},
                                                 {"Movies/intro.avi", "m"}};
  EXPECT_EQ(TargetTree(), expected);
}

TEST_F(UpdateTest, StrictVerifyReportsChangesAndTheUpdateRepairsThem) {
  WriteSource("a.txt", "a");
  WriteSource("b.txt", "b");
  Publish();
  ASSERT_EQ(Run({"--strict"}).Call("mrbUpdate"), "0");
  std::ofstream(target_ + "/a.txt") << "tampered";
  std::filesystem::remove(target_ + "/b.txt");
  DriverRun run = Run({"--strict"});
  EXPECT_TRUE(run.HasEvent(CASTANET_VERIFY_MODIFIED, "a.txt"));
  EXPECT_TRUE(run.HasEvent(CASTANET_VERIFY_MISSING, "b.txt"));
  EXPECT_EQ(run.Call("mrbUpdate"), "0");
  EXPECT_EQ(TargetTree(), SourceTree());

  // Strict channels hash contents held from an earlier session again before use.
  WriteSource("a.txt", "a, second version");
  Publish();
  ASSERT_EQ(Run({"--strict", "--refuse", "a.txt"}).Call("mrbUpdate"), "-1");
  std::string held =
      target_ + "/.castanet/Zoma%2FPrograms/holding/" + Sha256Hex("a, second version");
  ASSERT_TRUE(std::filesystem::exists(held));
  std::ofstream(held) << "a, spoiled version";
  EXPECT_EQ(Run({"--strict"}).Call("mrbUpdate"), "0");
  EXPECT_EQ(TargetTree(), SourceTree());
}

TEST_F(UpdateTest, ChannelsSharingATargetKeepTheirOwnFiles) {
  WriteSource("shared.txt", "from programs");
  WriteSource("programs-only.txt", "p");
  Publish();
  ASSERT_EQ(Run().Call("mrbUpdate"), "0");
  // A second channel takes over shared.txt; the first then drops it.
  zomapublish::PublishOptions other = DefaultOptions();
  other.channel = "Zoma/Zoma";
  other.source = dir_ + "/source2";
  std::filesystem::create_directories(other.source);
  std::ofstream(other.source + "/shared.txt") << "from zoma";
  Publish(other);
  ASSERT_EQ(Run({}, "Zoma/Zoma").Call("mrbUpdate"), "0");
  RemoveSource("shared.txt");
  Publish();
  ASSERT_EQ(Run().Call("mrbUpdate"), "0");
  std::map<std::string, std::string> expected = {{"shared.txt", "from zoma"},
                                                 {"programs-only.txt", "p"}};
  EXPECT_EQ(TargetTree(), expected);
  EXPECT_TRUE(std::filesystem::exists(target_ + "/.castanet/Zoma%2FZoma/state"));
}

TEST_F(UpdateTest, SessionsOfOneProcessShareAConnectionAndKeepProperties) {
  WriteSource("a.txt", "a");
  Publish();
  zomapublish::PublishOptions info = DefaultOptions();
  info.channel = "Zoma/GameInfo";
  Publish(info);
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(target_ + "/properties.txt",
                                  "http.proxy=127.0.0.1:1\nreloc.properties.txt=old.txt\n"
                                  "socks.proxy = 127.0.0.1:2\n",
                                  &error));
  DriverRun run = RunArgs({"--target", target_, "--url", server_.Url(kChannel), "--url",
                           server_.Url("Zoma/GameInfo"), "--password", kPassword});
  EXPECT_EQ(run.exit_code, 0);
  std::set<std::string> connections;
  for (const std::string& line : server_.AccessLines()) {
    connections.insert(line.substr(line.rfind(' ') + 1));
  }
  EXPECT_EQ(connections.size(), 1u) << "each session opened its own connection";
  std::string properties;
  ASSERT_TRUE(ReadWholeFile(target_ + "/properties.txt", &properties, &error));
  EXPECT_EQ(properties, "reloc.properties.txt=old.txt\n");
}

}  // namespace
}  // namespace castanet::testing
