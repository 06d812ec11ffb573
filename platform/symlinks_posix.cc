// Symbolic links: lstat on the mapped host path.
#include <sys/stat.h>

#include "platform/paths.h"
#include "platform/symlinks.h"

namespace platform {

bool IsSymbolicLink(const std::string& windows_path) {
  std::string host = MapToHostPath(windows_path);
  struct stat st;
  return !host.empty() && lstat(host.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

}  // namespace platform
