// The compressor's scratch store: an anonymous temporary file in the default temporary
// directory, named with the prefix "xx" and gone as soon as it is closed.
#pragma once

#include <cstdio>
#include <string>

namespace cab {

std::FILE* OpenScratchFile();

// A file written beside `target` under a temporary name; Commit renames it into place.
class PendingFile {
 public:
  ~PendingFile();
  bool Open(const std::string& target);
  std::FILE* file() const { return file_; }
  bool Commit();

 private:
  std::FILE* file_ = nullptr;
  std::string temporary_;
  std::string target_;
};

}  // namespace cab
