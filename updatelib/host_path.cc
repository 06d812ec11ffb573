// Caller paths. The updater speaks Windows paths ("C:\Zoma", case-insensitive); they
// are mapped through the platform's drive map. An absolute host path (leading '/')
// passes unchanged, which is what the library's own tools and tests use.
#include "updatelib/host_path.h"

#include "platform/paths.h"

namespace castanet {

std::string HostPathFromCaller(const char* path) {
  std::string host = path ? path : "";
  if (!host.empty() && host[0] != '/') {
    std::string mapped = platform::MapToHostPath(host);
    if (!mapped.empty()) host = mapped;
  }
  while (host.size() > 1 && (host.back() == '/' || host.back() == '\\')) host.pop_back();
  return host;
}

std::string CallerPathFromHost(const std::string& path) {
  std::string windows = platform::ToWindowsPath(path);
  return windows.empty() ? path : windows;
}

}  // namespace castanet
