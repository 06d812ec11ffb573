// A session against the channel server in memory: planning, fetching, downloading and
// installing without nginx, and what a failure at any file system call leaves behind (a
// full disk at each write, an EIO on each rename, the process ending at each step):
// always the old tree or the new, never a mix, and the next session completes it.
#include "updatelib/session.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "updatelib/channel/publisher.h"
#include "updatelib/channel/signed_text.h"
#include "updatelib/channel/system_calls.h"
#include "updatelib/testing/memory_channel_server.h"

namespace castanet {
namespace {

namespace fs = std::filesystem;
using Tree = std::map<std::string, std::string>;
using testing::MemoryChannelServer;

constexpr const char* kChannel = "Zoma/Programs";

std::vector<std::pair<int, std::string>> events;

int MRB_CALL OnEvent(uint16_t code, const char* text) {
  events.emplace_back(code, text ? text : "");
  return 0;
}

// The injected failure: the N-th call of one kind fails (or ends the process).
int calls_left = -1;
int failure_errno = 0;
bool calls_end_process = false;

bool FailNow() {
  if (calls_left < 0 || calls_left-- > 0) return false;
  if (calls_end_process) _exit(0);
  errno = failure_errno;
  return true;
}
ssize_t FailingWrite(int fd, const void* data, size_t size) {
  return FailNow() ? -1 : RealSystemCalls().write(fd, data, size);
}
int FailingRename(const char* from, const char* to) {
  return FailNow() ? -1 : RealSystemCalls().rename(from, to);
}
int FailingUnlink(const char* path) { return FailNow() ? -1 : RealSystemCalls().unlink(path); }
int FailingMkdir(const char* path, mode_t mode) {
  return FailNow() ? -1 : RealSystemCalls().mkdir(path, mode);
}
int FailingLink(const char* from, const char* to) {
  return FailNow() ? -1 : RealSystemCalls().link(from, to);
}

// Durability against power loss is not what these tests look at: flushing is skipped
// so that hundreds of updates stay quick.
int NoSync(int) { return 0; }
void RealCallsWithoutSync() {
  Sys() = RealSystemCalls();
  Sys().fsync = NoSync;
  Sys().syncfs = NoSync;
}

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RealCallsWithoutSync();
    char pattern[] = "/tmp/castanet-session-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    std::string error;
    ASSERT_TRUE(GenerateSigningKey(&key_, &error)) << error;
    target_ = dir_ + "/target";
    fs::create_directories(target_);
  }
  void TearDown() override {
    Sys() = RealSystemCalls();
    calls_left = -1;
    if (!HasFailure()) fs::remove_all(dir_);
  }

  // Publishes `files` as the next version and serves the channel as it is then.
  void Publish(const Tree& files) {
    fs::remove_all(dir_ + "/source");
    for (const auto& [path, contents] : files) {
      fs::create_directories(fs::path(dir_ + "/source/" + path).parent_path());
      std::ofstream(dir_ + "/source/" + path, std::ios::binary) << contents;
    }
    zomapublish::PublishOptions options;
    options.document_root = dir_ + "/www";
    options.channel = kChannel;
    options.source = dir_ + "/source";
    options.keys = {key_};
    options.level = 1;
    zomapublish::PublishReport report;
    std::string error;
    ASSERT_TRUE(zomapublish::Publish(options, &report, &error)) << error;
    server_.LoadDirectory(dir_ + "/www");
  }

  // One session: prepare, check, update. The update's result, or 1 when nothing was due.
  int Update() {
    events.clear();
    SessionConfig config;
    config.target = target_;
    config.channel_url = std::string(MemoryChannelServer::kBaseUrl) + kChannel;
    config.event = OnEvent;
    config.built_in_keys = PublicKeyLine(key_, "test");
    config.http = &server_;
    std::string error;
    std::unique_ptr<Session> session = Session::Create(config, &error);
    EXPECT_TRUE(session) << error;
    if (!session) return -100;
    session->Prepare(MRB_MODE_NORMAL);
    uint32_t bytes = 0;
    if (!session->IsUpdateAvailable(&bytes)) return 1;
    return session->Update("", false);
  }

  Tree Target() const {
    Tree tree;
    for (auto it = fs::recursive_directory_iterator(target_); it != fs::end(it); ++it) {
      std::string relative = fs::relative(it->path(), target_).string();
      if (relative == ".castanet") {
        it.disable_recursion_pending();
        continue;
      }
      if (!it->is_regular_file()) continue;
      std::stringstream text;
      text << std::ifstream(it->path(), std::ios::binary).rdbuf();
      tree[relative] = text.str();
    }
    return tree;
  }

  // Installs the old version into a fresh target, then serves the new one.
  void StartFromOld(const std::map<std::string, std::string>& old_channel,
                    const std::map<std::string, std::string>& new_channel) {
    fs::remove_all(target_);
    fs::create_directories(target_);
    ServeSnapshot(old_channel);
    ASSERT_EQ(Update(), 0);
    ServeSnapshot(new_channel);
  }
  void ServeSnapshot(const std::map<std::string, std::string>& files) {
    fs::remove_all(dir_ + "/snapshot");
    for (const auto& [path, contents] : files) {
      fs::create_directories(fs::path(dir_ + "/snapshot/" + path).parent_path());
      std::ofstream(dir_ + "/snapshot/" + path, std::ios::binary) << contents;
    }
    server_.LoadDirectory(dir_ + "/snapshot");
  }
  std::map<std::string, std::string> Served() {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir_ + "/www")) {
      if (!entry.is_regular_file()) continue;
      std::stringstream text;
      text << std::ifstream(entry.path(), std::ios::binary).rdbuf();
      files[fs::relative(entry.path(), dir_ + "/www").string()] = text.str();
    }
    return files;
  }

  // Runs the update with the N-th call failing, for every N until an update runs
  // through without reaching it; each time the tree is the old or the new one, and the
  // next session ends with the new one.
  void ForEveryCall(const std::function<void()>& inject) {
    Publish(kOldFiles);
    auto old_channel = Served();
    Publish(kNewFiles);
    auto new_channel = Served();
    for (int n = 0; n < 500; ++n) {
      StartFromOld(old_channel, new_channel);
      inject();
      calls_left = n;
      int result = Update();
      bool reached = calls_left < 0;
      calls_left = -1;
      RealCallsWithoutSync();
      Tree after = Target();
      EXPECT_TRUE(after == kOldFiles || after == kNewFiles) << "failure at call " << n;
      if (!reached) {
        EXPECT_EQ(result, 0);
        EXPECT_EQ(after, kNewFiles);
        EXPECT_GT(n, 5) << "an update makes more calls than that";
        std::printf("%d failing calls tried\n", n);
        return;
      }
      EXPECT_LE(Update(), 1) << "call " << n;
      EXPECT_EQ(Target(), kNewFiles) << "the session after a failure at call " << n;
    }
    ADD_FAILURE() << "the update never ran through";
  }

  static const Tree kOldFiles, kNewFiles;
  std::string dir_, target_;
  SigningKey key_;
  MemoryChannelServer server_;
};

const Tree SessionTest::kOldFiles = {
    {"keep.txt", "keep"}, {"change.txt", "old"}, {"gone.txt", "gone"}};
const Tree SessionTest::kNewFiles = {{"keep.txt", "keep"},
                                     {"change.txt", "new contents"},
                                     {"sub/added.txt", "added"},
                                     {"sub/deeper/more.txt", std::string(200000, 'm')}};

TEST_F(SessionTest, InstallsUpdatesAndChecksWithoutAServer) {
  Publish(kOldFiles);
  ASSERT_EQ(Update(), 0);
  EXPECT_EQ(Target(), kOldFiles);
  // Nothing new: only the pointer is asked for, conditionally.
  server_.ClearRequests();
  EXPECT_EQ(Update(), 1);
  EXPECT_EQ(server_.requested(), std::vector<std::string>{"Zoma/Programs/pointer"});
  // A new version: the manifest and only the objects that changed.
  Publish(kNewFiles);
  server_.ClearRequests();
  ASSERT_EQ(Update(), 0);
  EXPECT_EQ(Target(), kNewFiles);
  for (const std::string& path : server_.requested())
    EXPECT_EQ(path.find(Sha256Hex("keep")), std::string::npos) << path;
  // A server that cannot be reached changes nothing.
  server_.unreachable = true;
  EXPECT_EQ(Update(), 1);
  EXPECT_EQ(events.back().first, CASTANET_ERROR_CONNECT_FAILED);
  EXPECT_EQ(Target(), kNewFiles);
}

TEST_F(SessionTest, ADiskThatFillsAtAnyWriteLosesNothing) {
  failure_errno = ENOSPC;
  ForEveryCall([] { Sys().write = FailingWrite; });
}

TEST_F(SessionTest, AnIoErrorOnAnyRenameLinkOrDeleteLosesNothing) {
  failure_errno = EIO;
  ForEveryCall([] {
    Sys().rename = FailingRename;
    Sys().link = FailingLink;
    Sys().unlink = FailingUnlink;
    Sys().mkdir = FailingMkdir;
  });
}

TEST_F(SessionTest, AProcessEndingAtAnyStepLeavesWhatTheNextSessionCompletes) {
  Publish(kOldFiles);
  auto old_channel = Served();
  Publish(kNewFiles);
  auto new_channel = Served();
  for (int n = 0; n < 500; ++n) {
    StartFromOld(old_channel, new_channel);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      calls_end_process = true;
      calls_left = n;
      Sys().write = FailingWrite;
      Sys().rename = FailingRename;
      Sys().link = FailingLink;
      Sys().unlink = FailingUnlink;
      Sys().mkdir = FailingMkdir;
      Update();
      _exit(calls_left < 0 ? 0 : 3);  // 3: the update ran through before step n
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    bool ran_through = WEXITSTATUS(status) == 3;
    // The next session first completes or undoes what was cut short.
    EXPECT_LE(Update(), 1) << "after the end at step " << n;
    EXPECT_EQ(Target(), kNewFiles) << "after the end at step " << n;
    if (ran_through) {
      EXPECT_GT(n, 10) << "an update makes more steps than that";
      std::printf("%d ends tried\n", n);
      return;
    }
  }
  ADD_FAILURE() << "the update never ran through";
}

}  // namespace
}  // namespace castanet
