// A disc put into an emulated drive: the drive map's entry for the letter becomes a
// link to the directory that holds the disc's files.
#include <unistd.h>

#include <cstdio>

#include "platform/ascii.h"
#include "platform/prefix.h"
#include "platform/ui_backend.h"

namespace platform::ui::internal {

void InsertMedium(char letter, const std::string& host_directory) {
  std::string link = PrefixPath(std::string("drives/") + ToLowerAscii(letter));
  if (link.empty()) return;  // no prefix
  // A fresh link beside the old one, renamed over it, so that readers never see none.
  std::string fresh = link + ".new";
  unlink(fresh.c_str());
  if (symlink(host_directory.c_str(), fresh.c_str()) != 0) return;
  if (std::rename(fresh.c_str(), link.c_str()) != 0) unlink(fresh.c_str());
}

}  // namespace platform::ui::internal
