// The tests' channel publisher.
#include "updatelib/testing/channel_publisher.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "updatelib/channel/signed_text.h"

namespace castanet::testing {

ChannelPublisher::ChannelPublisher(std::string document_root)
    : document_root_(std::move(document_root)) {
  std::string error;
  GenerateSigningKey(&key_, &error);
}

std::string ChannelPublisher::KeyFileText() const { return PublicKeyLine(key_, "test"); }

zomapublish::PublishOptions ChannelPublisher::Options(const std::string& channel,
                                                      const std::string& source) const {
  zomapublish::PublishOptions options;
  options.document_root = document_root_;
  options.channel = channel;
  options.source = source;
  options.keys = {key_};
  options.level = 3;
  options.patch_level = 3;
  return options;
}

bool ChannelPublisher::PublishFiles(const std::string& channel,
                                    const std::map<std::string, std::string>& files,
                                    std::string* error) {
  namespace fs = std::filesystem;
  std::string source = document_root_ + ".sources/" + channel;
  fs::remove_all(source);
  fs::create_directories(source);
  for (const auto& [name, contents] : files) {
    fs::create_directories(fs::path(source + "/" + name).parent_path());
    std::ofstream(source + "/" + name, std::ios::binary) << contents;
    // Programs are published as programs: the channel records the execute bit.
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0)
      chmod((source + "/" + name).c_str(), 0755);
  }
  zomapublish::PublishReport report;
  return zomapublish::Publish(Options(channel, source), &report, error);
}

}  // namespace castanet::testing
