// The end-to-end fixture.
#include "updatelib/testing/update_fixture.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "updatelib/channel/crypto.h"
#include "updatelib/channel/file_io.h"
#include "updatelib/channel/signed_text.h"

#ifndef CASTANET_DRIVER
#error "CASTANET_DRIVER and MRBUPD_LIBRARY name the programs under test"
#endif

namespace castanet::testing {

bool DriverRun::HasEvent(int code, const std::string& text) const {
  for (const auto& [event, event_text] : events) {
    if (event == code && (text == "*" || text == event_text)) return true;
  }
  return false;
}

int DriverRun::CountEvents(int code) const {
  int count = 0;
  for (const auto& event : events) count += event.first == code;
  return count;
}

std::string DriverRun::Call(const std::string& name) const {
  std::string prefix = "CALL " + name + " ";
  std::string result;
  for (const std::string& line : lines) {
    if (line.rfind(prefix, 0) == 0) result = line.substr(prefix.size());
  }
  return result;
}

std::string SampleData(size_t n, unsigned seed) {
  std::string text;
  unsigned state = seed * 2654435761u + 1;
  while (text.size() < n) {
    state = state * 1103515245u + 12345u;
    text += "entry " + std::to_string(state % 100000) + " value " + std::to_string(state >> 20) +
            (state % 7 == 0 ? "\n" : "; ");
  }
  text.resize(n);
  return text;
}

void UpdateFixture::SetUp() {
  char pattern[] = "/tmp/castanet-e2e-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  dir_ = pattern;
  // nginx's workers drop to an unprivileged user when the tests run as root.
  chmod(dir_.c_str(), 0755);
  www_ = dir_ + "/www";
  source_ = dir_ + "/source";
  target_ = dir_ + "/target";
  std::filesystem::create_directories(www_);
  std::filesystem::create_directories(source_);
  std::filesystem::create_directories(target_);
  std::string error;
  publisher_ = std::make_unique<ChannelPublisher>(www_);
  key_ = publisher_->key();
  // The library trusts the key file beside it: each test runs its own copy.
  library_ = dir_ + "/lib/mrbupd.dll";
  std::filesystem::create_directories(dir_ + "/lib");
  std::filesystem::copy_file(MRBUPD_LIBRARY, library_);
  TrustKeys(publisher_->KeyFileText());
  ASSERT_TRUE(server_.Start(www_, dir_ + "/nginx", "ZomaClient", kPassword, &error)) << error;
}

void UpdateFixture::TearDown() {
  server_.Stop();
  if (!HasFailure()) std::filesystem::remove_all(dir_);
}

castanet::SigningKey UpdateFixture::UsePinnedLibrary() {
  std::filesystem::copy_file(MRBUPD_PINNED_LIBRARY, library_,
                             std::filesystem::copy_options::overwrite_existing);
  castanet::SigningKey key;
  std::string error;
  EXPECT_TRUE(zomapublish::ReadPrivateKey(MRBUPD_PINNED_KEY, &key, &error)) << error;
  return key;
}

void UpdateFixture::TrustKeys(const std::string& key_file_text) {
  std::string error, path = dir_ + "/lib/mrbupd.keys";
  if (key_file_text.empty()) {
    std::filesystem::remove(path);
    return;
  }
  ASSERT_TRUE(WriteFileAtomically(path, key_file_text, &error)) << error;
}

void UpdateFixture::WriteSource(const std::string& relative, const std::string& contents) {
  std::filesystem::path path = source_ + "/" + relative;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << contents;
}

void UpdateFixture::RemoveSource(const std::string& relative) {
  std::filesystem::remove(source_ + "/" + relative);
}

zomapublish::PublishOptions UpdateFixture::DefaultOptions() const {
  return publisher_->Options(kChannel, source_);
}

zomapublish::PublishReport UpdateFixture::Publish(zomapublish::PublishOptions options) {
  if (options.document_root.empty()) options = DefaultOptions();
  zomapublish::PublishReport report;
  std::string error;
  EXPECT_TRUE(zomapublish::Publish(options, &report, &error)) << error;
  return report;
}

DriverRun UpdateFixture::Run(const std::vector<std::string>& extra, const std::string& channel) {
  std::vector<std::string> args = {"--target",   target_,   "--url", server_.Url(channel),
                                   "--password", kPassword, "--log", "Affiliation=TEST1"};
  args.insert(args.end(), extra.begin(), extra.end());
  return RunArgs(args);
}

DriverRun UpdateFixture::RunArgs(const std::vector<std::string>& args,
                                 std::chrono::microseconds kill_after) {
  std::string output = dir_ + "/driver.out";
  // Each run keeps its own error output, for the checks below and for a look afterwards.
  std::string errors_file = dir_ + "/driver." + std::to_string(++runs_) + ".err";
  pid_t pid = fork();
  if (pid == 0) {
    int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 1);
    int error_fd = open(errors_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(error_fd, 2);
    std::vector<std::string> all = {CASTANET_DRIVER, "--library", library_};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  DriverRun run;
  int status = 0;
  if (kill_after.count() > 0) {
    std::this_thread::sleep_for(kill_after);
    kill(pid, SIGKILL);
  }
  waitpid(pid, &status, 0);
  run.killed = WIFSIGNALED(status);
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  // The sanitizer builds report from the child; such a report fails the test.
  std::ifstream errors(errors_file);
  for (std::string line; std::getline(errors, line);) {
    EXPECT_EQ(line.find("Sanitizer"), std::string::npos) << line;
    EXPECT_EQ(line.find("runtime error"), std::string::npos) << line;
  }
  std::ifstream in(output);
  for (std::string line; std::getline(in, line);) {
    run.lines.push_back(line);
    if (line.rfind("EVENT ", 0) == 0) {
      size_t space = line.find(' ', 6);
      run.events.push_back({std::atoi(line.substr(6, space - 6).c_str()),
                            space == std::string::npos ? "" : line.substr(space + 1)});
    }
  }
  return run;
}

std::map<std::string, std::string> UpdateFixture::Tree(const std::string& root) {
  std::map<std::string, std::string> tree;
  if (!std::filesystem::exists(root)) return tree;
  for (auto it = std::filesystem::recursive_directory_iterator(root);
       it != std::filesystem::recursive_directory_iterator(); ++it) {
    std::string relative = std::filesystem::relative(it->path(), root).string();
    if (relative == ".castanet") {
      it.disable_recursion_pending();
      continue;
    }
    if (!it->is_regular_file()) continue;
    std::ifstream in(it->path(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    // Long contents are compared by digest so that a failure prints readably.
    std::string contents = text.str();
    tree[relative] = contents.size() <= 64 ? contents : "sha256:" + Sha256Hex(contents);
  }
  return tree;
}

uint64_t UpdateFixture::BytesServed(const std::string& part) const {
  // Fields: addr user [time zone] "request" status bytes ...
  uint64_t total = 0;
  for (const std::string& line : server_.AccessLines()) {
    if (line.find(part) == std::string::npos) continue;
    size_t request_end = line.find("\" ", line.find('"') + 1);
    std::istringstream fields(line.substr(request_end + 2));
    int status = 0;
    uint64_t bytes = 0;
    fields >> status >> bytes;
    total += bytes;
  }
  return total;
}

}  // namespace castanet::testing
