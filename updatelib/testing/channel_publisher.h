// Publishing channels for tests: one signing key and one document root, the options a
// test starts from, and a channel published straight from a list of files.
#pragma once

#include <map>
#include <string>

#include "updatelib/channel/crypto.h"
#include "updatelib/channel/publisher.h"

namespace castanet::testing {

class ChannelPublisher {
 public:
  // `document_root` is what the server serves; sources are kept beside it.
  explicit ChannelPublisher(std::string document_root);

  const SigningKey& key() const { return key_; }
  // The key file line an installation trusts.
  std::string KeyFileText() const;

  // Signed with key(), at quick compression levels.
  zomapublish::PublishOptions Options(const std::string& channel, const std::string& source) const;
  // Publishes exactly `files` (path -> contents; ".exe" files executable) as the next
  // version of `channel`. False with *error when publishing fails.
  bool PublishFiles(const std::string& channel, const std::map<std::string, std::string>& files,
                    std::string* error);

 private:
  std::string document_root_;
  SigningKey key_;
};

}  // namespace castanet::testing
