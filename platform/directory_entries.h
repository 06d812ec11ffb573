// Walking directory trees safely: a directory's entries as they are (a symbolic link is
// reported as a link and never followed), what a path itself is, the link copied as a
// link, and file identity. Tree walks, copies and removals are built on these so that
// none of them leaves the tree through a link or loops on one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// kSpecial: a pipe, socket or device (never opened by a walk or a copy).
enum class EntryKind { kNone, kFile, kDirectory, kLink, kSpecial };

struct DirectoryEntry {
  std::string name;
  EntryKind kind = EntryKind::kFile;
  // A directory on another file system than the listed one (a mount point).
  bool other_file_system = false;
};

// The entries of a directory by Windows path ("" is the current directory), in name
// order (NameOrderLess, as NTFS keeps them), without "." and "..". Host names that no Windows path
// names exactly are left out: one holding "\" ("..\x" would name something outside),
// one ending in "." or " " (".. " would be the parent), one with a forbidden character.
// False with the last error set when it cannot be
// read.
bool ListDirectoryEntries(const std::string& windows_dir, std::vector<DirectoryEntry>* entries);

// What the path names, without following a link in its last component; kNone when
// missing.
EntryKind GetEntryKind(const std::string& windows_path);

// Makes `to` a symbolic link with the same target text as the link `from`, replacing a
// file or link already there (never a directory).
bool CopySymbolicLink(const std::string& from, const std::string& to);

// Removes the link itself, whatever it points at.
bool DeleteSymbolicLink(const std::string& path);

// True when both paths exist and name the same file or directory.
bool IsSameFile(const std::string& a, const std::string& b);

// What the C runtime's stat reports (following links).
struct PathStatus {
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // seconds since 1970-01-01 UTC
  bool is_directory = false;
};
bool GetPathStatus(const std::string& windows_path, PathStatus* status);

}  // namespace platform
