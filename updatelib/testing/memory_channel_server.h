// A channel server in memory for the library's unit tests: it answers a session's
// transfers from files it holds (loaded from a document root the publisher wrote), with
// ETags, ranges and 404s as nginx gives them, and writes downloads through the
// library's system-call table so that injected failures reach them.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "updatelib/transfer.h"

namespace castanet::testing {

class MemoryChannelServer : public HttpClient {
 public:
  static constexpr const char* kBaseUrl = "http://channels.test/";

  // Replaces everything held by the files below `root` (paths relative to it).
  void LoadDirectory(const std::string& root);
  void Put(const std::string& path, std::string contents) { files_[path] = std::move(contents); }

  // Paths asked for, in order, since the last Clear.
  const std::vector<std::string>& requested() const { return requested_; }
  void ClearRequests() { requested_.clear(); }
  // Every request fails without a connection while set.
  bool unreachable = false;

  void Run(const TransferSettings& settings, const std::vector<HttpRequest>& requests,
           TransferObserver* observer, std::vector<HttpResult>* results) override;

 private:
  bool Answer(const HttpRequest& request, size_t index, TransferObserver* observer,
              HttpResult* result);

  std::map<std::string, std::string> files_;
  std::vector<std::string> requested_;
};

}  // namespace castanet::testing
