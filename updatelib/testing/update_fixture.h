// Test fixture for end-to-end updates: a source tree, a publisher with a signing key, a
// real nginx serving the channels, and the driver that runs the library's calls in a
// child process against a target directory.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "updatelib/channel/publisher.h"
#include "updatelib/testing/channel_publisher.h"
#include "updatelib/testing/nginx_server.h"

namespace castanet::testing {

struct DriverRun {
  int exit_code = -1;
  bool killed = false;
  std::vector<std::pair<int, std::string>> events;
  std::vector<std::string> lines;

  bool HasEvent(int code, const std::string& text = "*") const;
  // The result printed for a call ("" when it was not called).
  std::string Call(const std::string& name) const;
  int CountEvents(int code) const;
};

class UpdateFixture : public ::testing::Test {
 protected:
  static constexpr const char* kChannel = "Zoma/Programs";
  static constexpr const char* kPassword = "secret";

  void SetUp() override;
  void TearDown() override;

  // Runs a build of the library with a test key built in instead; returns that key.
  castanet::SigningKey UsePinnedLibrary();
  // Replaces the key file beside the library under test ("": no key file).
  void TrustKeys(const std::string& key_file_text);
  void WriteSource(const std::string& relative, const std::string& contents);
  void RemoveSource(const std::string& relative);
  // Publishes the source tree as the next version of the channel.
  zomapublish::PublishReport Publish(zomapublish::PublishOptions options = {});
  zomapublish::PublishOptions DefaultOptions() const;

  // Runs the driver with the usual arguments plus extra ones.
  DriverRun Run(const std::vector<std::string>& extra = {}, const std::string& channel = kChannel);
  // kill_after > 0: the driver is killed (SIGKILL) after that long, if still running.
  DriverRun RunArgs(const std::vector<std::string>& args,
                    std::chrono::microseconds kill_after = std::chrono::microseconds(0));

  // Regular files below a directory (".castanet" left out): relative path -> contents
  // (long ones as their digest).
  static std::map<std::string, std::string> Tree(const std::string& root);
  std::map<std::string, std::string> SourceTree() const { return Tree(source_); }
  std::map<std::string, std::string> TargetTree() const { return Tree(target_); }

  // Body bytes the server sent for URLs that contain `part`.
  uint64_t BytesServed(const std::string& part) const;

  std::string dir_, www_, source_, target_, library_;
  std::unique_ptr<ChannelPublisher> publisher_;
  castanet::SigningKey key_;  // the publisher's
  NginxServer server_;
  int runs_ = 0;
};

// Text of n bytes that compresses like real data (neither all zero nor random).
std::string SampleData(size_t n, unsigned seed);

}  // namespace castanet::testing
