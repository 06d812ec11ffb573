// Small file helpers shared by the publisher and the library: whole-file reads and
// crash-safe replacement (write a temporary, flush it to disk, rename over the target).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace castanet {

// Reads a whole file, refusing files larger than max_size. False with *error on failure.
bool ReadWholeFile(const std::string& path, std::string* contents, std::string* error,
                   uint64_t max_size = UINT64_C(1) << 32);

// Replaces path atomically: a reader sees the old or the new contents, never a mix, and
// the new contents are on disk before the rename makes them visible.
bool WriteFileAtomically(const std::string& path, std::string_view contents, std::string* error);

// Writes all bytes, retrying after interruptions; false with errno set (ENOSPC when the
// device took nothing).
bool WriteAll(int fd, const char* data, size_t size);

// Flushes everything written to the file system that holds path: one call makes many
// new files durable before a rename commits them.
void SyncFileSystem(const std::string& path);

// Flushes a directory's entries (after renames into it).
void SyncDirectory(const std::string& path);

// Creates a directory and its missing parents.
bool MakeDirectories(const std::string& path, std::string* error);

// The directory part of a '/'-separated path ("" for a bare name).
std::string ParentPath(const std::string& path);

// The text of errno, for messages.
std::string ErrnoText(int error_number);

}  // namespace castanet

namespace castanet {

// Copies a file (contents and nothing else). On failure errno
// tells why (ENOSPC: disk full) and the copy is removed.
bool CopyFileContents(const std::string& from, const std::string& to, std::string* error);

}  // namespace castanet
