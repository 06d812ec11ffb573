// A fresh, empty prefix for one test: created in the system's temporary directory,
// named in ZOMA_PREFIX while the object lives, removed afterwards. Tests never touch a
// user's own prefix.
#pragma once

#include <string>

namespace platform::testing {

class TempPrefix {
 public:
  TempPrefix();
  ~TempPrefix();
  TempPrefix(const TempPrefix&) = delete;
  TempPrefix& operator=(const TempPrefix&) = delete;

  // Host path of the prefix directory.
  const std::string& dir() const { return dir_; }
  // Host path of the C: drive (prefix/drive_c).
  std::string drive_c() const { return dir_ + "/drive_c"; }

 private:
  std::string dir_;
  std::string saved_prefix_;
  bool had_prefix_ = false;
};

// Removes a host directory tree (never following symbolic links).
void RemoveTree(const std::string& path);

}  // namespace platform::testing
