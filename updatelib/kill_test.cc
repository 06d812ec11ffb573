// kill -9 at random points of a download and an install: after each kill every file is
// its old or its new version, the next session completes the update, and nothing that
// was already downloaded is requested again (partial downloads resume where they ended).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "updatelib/channel/crypto.h"
#include "updatelib/testing/update_fixture.h"

namespace castanet::testing {
namespace {

namespace fs = std::filesystem;
using FileTree = std::map<std::string, std::string>;

class KillTest : public UpdateFixture {
 protected:
  // What the holding area already has: complete contents and partial downloads.
  struct Held {
    std::set<std::string> complete;           // sha256 of verified contents
    std::map<std::string, uint64_t> partial;  // server file name -> bytes held
  };

  Held ScanHolding() const {
    Held held;
    std::string holding = target_ + "/.castanet/Zoma%2FPrograms/holding";
    if (!fs::exists(holding)) return held;
    for (const auto& entry : fs::directory_iterator(holding)) {
      std::string name = entry.path().filename();
      if (name.size() == 64) held.complete.insert(name);
      const std::string suffix = ".part";
      if (name.size() > suffix.size() && name.ends_with(suffix)) {
        held.partial[name.substr(0, name.size() - suffix.size())] = fs::file_size(entry.path());
      }
    }
    return held;
  }

  // Contents that sit in the target already in their new version.
  std::set<std::string> InstalledNew(const FileTree& new_tree) const {
    std::set<std::string> contents;
    for (const auto& [path, text] : TargetTree()) {
      auto it = new_tree.find(path);
      if (it != new_tree.end() && it->second == text) contents.insert(Sha256Hex(RawContents(path)));
    }
    return contents;
  }

  std::string RawContents(const std::string& path) const {
    std::ifstream in(target_ + "/" + path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // Requests of access-log lines [from, end): (object name, range start).
  std::vector<std::pair<std::string, uint64_t>> ObjectRequests(size_t from) const {
    std::vector<std::pair<std::string, uint64_t>> requests;
    std::vector<std::string> lines = server_.AccessLines();
    for (size_t i = from; i < lines.size(); i++) {
      const std::string& line = lines[i];
      size_t at = line.find("/blobs/");
      size_t name_start;
      if (at != std::string::npos) {
        name_start = at + 10;  // "/blobs/xx/"
      } else if ((at = line.find("/patches/")) != std::string::npos) {
        name_start = at + 9;
      } else {
        continue;
      }
      std::string name = line.substr(name_start, line.find(' ', name_start) - name_start);
      uint64_t start = 0;
      size_t range = line.find("\"bytes=");
      if (range != std::string::npos) start = std::stoull(line.substr(range + 7));
      requests.push_back({name, start});
    }
    return requests;
  }

  DriverRun RunKilledAfter(std::chrono::microseconds delay) {
    std::vector<std::string> args = {"--target",   target_,  "--url", server_.Url(kChannel),
                                     "--password", kPassword};
    return RunArgs(args, delay);
  }

  void Restore(const std::string& snapshot) {
    fs::remove_all(target_);
    fs::copy(snapshot, target_, fs::copy_options::recursive);
  }
};

TEST_F(KillTest, EveryKillEndsInTheOldOrTheNewTree) {
  for (int i = 0; i < 40; i++) {
    WriteSource("files/f" + std::to_string(i) + ".dat", SampleData(2000 + i * 1500, i));
  }
  WriteSource("big/big.dat", SampleData(3 << 20, 99));
  Publish();
  ASSERT_EQ(Run().Call("mrbUpdate"), "0");
  FileTree old_tree = TargetTree();
  std::string snapshot = dir_ + "/snapshot";
  fs::copy(target_, snapshot, fs::copy_options::recursive);

  for (int i = 0; i < 40; i += 3) {
    WriteSource("files/f" + std::to_string(i) + ".dat", SampleData(3000 + i * 1700, i + 1000));
  }
  for (int i = 1; i < 40; i += 8) RemoveSource("files/f" + std::to_string(i) + ".dat");
  for (int i = 0; i < 8; i++) {
    WriteSource("new" + std::to_string(i % 3) + "/n" + std::to_string(i) + ".dat",
                SampleData(40000 + i * 9000, i + 2000));
  }
  std::string big = SampleData(3 << 20, 99);
  big.replace(100000, 5000, SampleData(5000, 7));
  WriteSource("big/big.dat", big);
  ASSERT_GE(Publish().patches, 1u);
  FileTree new_tree = SourceTree();

  // One uninterrupted update tells how many events and how much time there is to hit.
  auto start = std::chrono::steady_clock::now();
  DriverRun full = Run();
  auto duration = std::chrono::steady_clock::now() - start;
  ASSERT_EQ(full.Call("mrbUpdate"), "0");
  ASSERT_EQ(TargetTree(), new_tree);
  size_t event_count = full.events.size();

  std::mt19937 random(20261208);
  int trials = 70, killed = 0, during_install = 0, with_partial = 0;
  for (int trial = 0; trial < trials; trial++) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    Restore(snapshot);
    DriverRun first;
    if (trial % 2 == 0) {
      // At an event: between files, inside the transfer, just before or after a rename.
      long at = std::uniform_int_distribution<long>(1, event_count)(random);
      first = Run({"--kill-at-event", std::to_string(at)});
    } else {
      auto limit = std::chrono::duration_cast<std::chrono::microseconds>(duration).count();
      first = RunKilledAfter(
          std::chrono::microseconds(std::uniform_int_distribution<long>(0, limit)(random)));
    }
    killed += first.killed;

    // Every file is its old or its new version.
    FileTree now = TargetTree();
    std::set<std::string> paths;
    for (const auto& [path, text] : old_tree) paths.insert(path);
    for (const auto& [path, text] : new_tree) paths.insert(path);
    for (const auto& [path, text] : now) {
      EXPECT_TRUE(paths.count(path)) << "stray file " << path;
    }
    for (const std::string& path : paths) {
      auto is = now.find(path), was = old_tree.find(path), will = new_tree.find(path);
      bool ok = (is == now.end() && (was == old_tree.end() || will == new_tree.end())) ||
                (is != now.end() && ((was != old_tree.end() && was->second == is->second) ||
                                     (will != new_tree.end() && will->second == is->second)));
      EXPECT_TRUE(ok) << path << " is neither its old nor its new version";
    }

    // The next session completes, fetching nothing it had and resuming what it had begun.
    Held held = ScanHolding();
    during_install += fs::exists(target_ + "/.castanet/Zoma%2FPrograms/journal");
    with_partial += !held.partial.empty();
    std::set<std::string> have = InstalledNew(new_tree);
    have.insert(held.complete.begin(), held.complete.end());
    size_t log_start = server_.AccessLines().size();
    DriverRun second = Run();
    ASSERT_EQ(second.Call("mrbUpdate"), second.Call("mrbIsUpdateAvailable") == "0 0" ? "" : "0");
    ASSERT_EQ(TargetTree(), new_tree);
    for (const auto& [name, range_start] : ObjectRequests(log_start)) {
      std::string result_sha = name.size() == 129 ? name.substr(65) : name;
      EXPECT_FALSE(have.count(result_sha)) << name << " was fetched again";
      auto partial = held.partial.find(name);
      uint64_t expected = partial == held.partial.end() ? 0 : partial->second;
      EXPECT_EQ(range_start, expected) << name << " did not resume where it ended";
    }
  }
  std::printf("%d trials: %d killed, %d inside an install, %d with partial downloads\n", trials,
              killed, during_install, with_partial);
  // Most trials must really have been cut short, or the test proves little.
  EXPECT_GE(killed, trials * 3 / 4);
}

}  // namespace
}  // namespace castanet::testing
