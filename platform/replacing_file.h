// A file written under a temporary name beside its target and put in place only when
// complete, so that an interrupted or failed write never leaves a half-written file
// under the final name and never destroys the file it was to replace.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/clock.h"
#include "platform/win_error.h"

namespace platform {

class ReplacingFile {
 public:
  ReplacingFile() = default;
  ~ReplacingFile();  // abandons an uncommitted file
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // Creates the temporary file in the target's directory (which must exist). Fails with
  // kErrorAccessDenied when the target is read-only or a directory, as opening it for
  // writing would.
  bool Open(const std::string& windows_path);
  std::FILE* file() const { return file_; }
  // The host path of the target, for callers that set times and attributes afterwards.
  const std::string& host_target() const { return target_; }
  // The host path of the temporary file, for code that writes it under its own name.
  const std::string& host_temporary() const { return temporary_; }

  // Flushes, closes and renames the temporary file over the target. On failure the
  // temporary file is removed and the target is left as it was.
  bool Commit();
  // Commit, with the last-write time and the DOS attributes (READONLY, HIDDEN, SYSTEM,
  // ARCHIVE) given to the file before it takes the target's name.
  bool Commit(const FileTime& last_write, std::uint32_t attributes);
  // Closes and removes the temporary file.
  void Abandon();

 private:
  bool Finish(const FileTime* last_write, std::uint32_t attributes);

  std::FILE* file_ = nullptr;
  std::string temporary_;
  std::string target_;
};

}  // namespace platform
