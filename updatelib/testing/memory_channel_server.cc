// The in-memory channel server.
#include "updatelib/testing/memory_channel_server.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "updatelib/channel/crypto.h"
#include "updatelib/channel/file_io.h"
#include "updatelib/channel/system_calls.h"

namespace castanet::testing {
namespace {

constexpr uint64_t kDefaultMemoryLimit = 64 * 1024;

}  // namespace

void MemoryChannelServer::LoadDirectory(const std::string& root) {
  files_.clear();
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream contents;
    contents << in.rdbuf();
    files_[std::filesystem::relative(entry.path(), root).string()] = contents.str();
  }
}

void MemoryChannelServer::Run(const TransferSettings&, const std::vector<HttpRequest>& requests,
                              TransferObserver* observer, std::vector<HttpResult>* results) {
  results->assign(requests.size(), HttpResult());
  bool connected_reported = false, response_reported = false, stop = false;
  for (size_t i = 0; i < requests.size(); ++i) {
    HttpResult& result = (*results)[i];
    if (stop) {
      result.aborted = true;
      observer->OnDone(i, &result);
      continue;
    }
    if (unreachable) {
      result.error = "Couldn't connect to server";
      observer->OnDone(i, &result);
      continue;
    }
    result.connected = true;
    if ((!connected_reported && !(connected_reported = true, observer->OnConnected())) ||
        !observer->OnStart(i) ||
        (!response_reported && !(response_reported = true, observer->OnResponse()))) {
      result.aborted = stop = true;
      observer->OnDone(i, &result);
      continue;
    }
    stop = !Answer(requests[i], i, observer, &result);
    observer->OnDone(i, &result);
  }
}

bool MemoryChannelServer::Answer(const HttpRequest& request, size_t index,
                                 TransferObserver* observer, HttpResult* result) {
  std::string path = request.url.substr(std::strlen(kBaseUrl));
  requested_.push_back(path);
  result->transport_ok = true;
  auto file = files_.find(path);
  if (file == files_.end()) {
    result->status = 404;
    return true;
  }
  const std::string& contents = file->second;
  result->etag = "\"" + Sha256Hex(contents).substr(0, 16) + "\"";
  if (!request.if_none_match.empty() && request.if_none_match == result->etag) {
    result->status = 304;
    return true;
  }
  uint64_t limit = request.max_bytes ? request.max_bytes : kDefaultMemoryLimit;
  if (request.file.empty()) {
    result->status = 200;
    if (contents.size() > limit) {
      result->too_long = true;
      result->transport_ok = false;
      result->error = "response longer than expected";
      return true;
    }
    result->body = contents;
    return observer->OnBytes(index, contents.size()) || (result->aborted = true, false);
  }
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (request.resume ? O_APPEND : O_TRUNC);
  int fd = Sys().open(request.file.c_str(), flags, 0644);
  if (fd < 0) {
    result->transport_ok = false;
    result->write_errno = errno;
    result->error = std::strerror(errno);
    return true;
  }
  struct stat info;
  uint64_t start = request.resume && fstat(fd, &info) == 0 ? info.st_size : 0;
  if (start > contents.size()) start = 0;
  result->status = start > 0 ? 206 : 200;
  bool ok = true;
  if (start + (contents.size() - start) > limit) {
    result->too_long = true;
    ok = false;
  } else if (!WriteAll(fd, contents.data() + start, contents.size() - start)) {
    result->write_errno = errno;
    ok = false;
  }
  result->file_size = ok ? contents.size() : (fstat(fd, &info) == 0 ? info.st_size : 0);
  Sys().close(fd);
  if (!ok) {
    result->transport_ok = false;
    result->error =
        result->too_long ? "response longer than expected" : std::strerror(result->write_errno);
    return true;
  }
  return observer->OnBytes(index, contents.size() - start) || (result->aborted = true, false);
}

}  // namespace castanet::testing
