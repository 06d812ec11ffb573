// Caller paths. Host paths and drive-less paths pass through unchanged until the
// platform layer's drive mapping is wired in here.
#include "updatelib/host_path.h"

namespace castanet {

std::string HostPathFromCaller(const char* path) {
  std::string host = path ? path : "";
  while (host.size() > 1 && (host.back() == '/' || host.back() == '\\')) host.pop_back();
  return host;
}

std::string CallerPathFromHost(const std::string& path) { return path; }

}  // namespace castanet
