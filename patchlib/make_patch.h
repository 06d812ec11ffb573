// Making patch files (zomapatch): from an old and a new version of a file or of a
// directory tree, one entry per file that differs, as a zstd patch-from delta or as
// whole contents, whichever is smaller.
#pragma once

#include <string>

namespace patchlib {

struct MakeOptions {
  int level = 19;             // zstd level
  bool keep_removed = false;  // files only the old tree has stay (no delete entries)
};

struct MakeReport {
  int deltas = 0;
  int wholes = 0;
  int deletes = 0;
  int unchanged = 0;
};

/// old_path and new_path are host paths, both files or both directories. Writes the
/// serialized patch to *patch; false with *error when an input cannot be read.
bool MakePatch(const std::string& old_path, const std::string& new_path, const MakeOptions& options,
               std::string* patch, MakeReport* report, std::string* error);

/// One zstd patch-from delta of new_contents over old_contents (what an entry holds).
bool MakeDelta(const std::string& old_contents, const std::string& new_contents, int level,
               std::string* delta);

}  // namespace patchlib
