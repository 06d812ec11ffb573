#include "platform/testing/temp_prefix.h"

#include <ftw.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/prefix.h"

namespace platform::testing {

TempPrefix::TempPrefix() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/zoma-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  dir_ = pattern;
  if (const char* old = std::getenv("ZOMA_PREFIX")) {
    had_prefix_ = true;
    saved_prefix_ = old;
  }
  setenv("ZOMA_PREFIX", dir_.c_str(), 1);
  PrefixDirectory();
}

TempPrefix::~TempPrefix() {
  if (had_prefix_)
    setenv("ZOMA_PREFIX", saved_prefix_.c_str(), 1);
  else
    unsetenv("ZOMA_PREFIX");
  RemoveTree(dir_);
}

void RemoveTree(const std::string& path) {
  nftw(
      path.c_str(),
      [](const char* file, const struct stat*, int, struct FTW*) { return remove(file); }, 16,
      FTW_DEPTH | FTW_PHYS);
}

}  // namespace platform::testing
