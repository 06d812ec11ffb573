// Applying a patch file to a directory: every entry is checked and its result built
// beside its target and verified before any target is touched; only then are the
// results renamed into place, so a failure or an abort leaves each target either as it
// was or exactly as the patch makes it.
#pragma once

#include <cstdint>
#include <string>

namespace patchlib {

// The library's return codes (documented in docs/patches.md).
enum ReturnCode : std::uint32_t {
  kPatchApplied = 0,
  kBadCommandLine = 1,
  kCannotReadPatch = 2,
  kInvalidPatch = 3,
  kTargetMissing = 4,
  kTargetMismatch = 5,
  kTargetInUse = 6,
  kWriteFailed = 7,
  kAborted = 8,
};

/// What the applier reports while it works. A false answer from any call stops it.
class ApplyObserver {
 public:
  virtual ~ApplyObserver() = default;
  virtual bool TotalFiles(std::uint32_t count) = 0;
  virtual bool NewFile(const std::string& name) = 0;
  // Progress of the current file in 32768ths.
  virtual bool Progress(std::uint32_t done) = 0;
  virtual bool Error(const std::string& text) = 0;
  virtual bool InvalidPatch() = 0;
};

struct ApplyOptions {
  std::string patch_file;        // Windows path
  std::string target_directory;  // Windows path; "" is the current directory
  bool check_only = false;       // verify and build, but replace nothing
};

std::uint32_t ApplyPatchFile(const ApplyOptions& options, ApplyObserver& observer);

/// Parses the library's command line: [/CHECK] patch-file [target-directory]. False for
/// anything else.
bool ParseCommandLine(const std::string& command_line, ApplyOptions* options);

}  // namespace patchlib
