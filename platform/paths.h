// Windows paths on a POSIX machine: drive letters mapped through the prefix's drive map,
// case-insensitive and case-preserving lookup, generated 8.3 short names, full-path
// conversion and the current directory.
//
// Accepted forms: "X:\a\b" (drive-absolute), "X:a" (relative on drive X), "\a\b" (root of
// the current drive), "a\b" (relative to the current directory). "/" is accepted wherever
// "\" is. UNC paths ("\\server\share\...") are understood by the pure string functions but
// every operation on them fails with kErrorBadNetpath.
//
// Conventions for the whole layer: calls that return a bool or a number set the last error
// (platform::GetLastError) on failure; calls that return a std::string return "" on failure,
// set the last error and also report it in *status when given.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win_error.h"

namespace platform {

// Host directory of a drive's root ("" when the letter has no entry in the drive map).
// The letter is case-insensitive.
std::string DriveRoot(char letter);

// The letters of the drive map whose links resolve, upper case and in order ("CZ" for a
// fresh prefix): what GetLogicalDrives reports.
std::string MappedDriveLetters();

// Windows path -> host path of an existing file or of one about to be created: every
// component but the last must exist (resolved case-insensitively, or by its short name);
// the last is resolved when it exists and otherwise kept as spelt. Fails with
// kErrorBadNetpath, kErrorInvalidName, kErrorFilenameExcedRange or kErrorPathNotFound
// (a missing directory, or a drive letter the drive map does not hold).
std::string ToHostPath(const std::string& windows_path, Status* status = nullptr);

// Like ToHostPath, but missing directories along the way are kept as spelt too (for paths
// that name directories yet to be made, such as PATH entries or a tree to create).
std::string MapToHostPath(const std::string& windows_path, Status* status = nullptr);

// Host path -> Windows path ("C:\..." for files in the C: drive, "Z:\..." for the rest of
// the host). Relative host paths are taken from the current directory. The longest
// matching drive root wins.
std::string ToWindowsPath(const std::string& host_path, Status* status = nullptr);

// Full path with _fullpath/GetFullPathNameA semantics: "/" becomes "\", runs of
// separators are cut to one, "." and ".." are folded (never above the root), trailing
// dots and spaces of the last component are dropped. Pure string work apart from the
// current directory; the file need not exist.
std::string GetFullPathName(const std::string& path, Status* status = nullptr);

// Buffer form of GetFullPathNameA: on success the length without the terminator; when the
// buffer is too small the size needed including the terminator (buffer untouched); 0 on
// error. *file_part (when given) points at the last component in the buffer, or is null
// when the path ends with a separator.
std::uint32_t GetFullPathName(const char* path, std::uint32_t size, char* buffer, char** file_part);

// _fullpath: the full path in buffer (size bytes, terminator included), or null when it
// does not fit or cannot be built. An empty or null path gives the current directory. A
// null buffer gives a malloc'ed result that the caller frees.
char* FullPath(char* buffer, const char* path, std::size_t size);

// Every component of an existing path replaced by its short (long) name. The result is a
// full path. Fails with kErrorFileNotFound/kErrorPathNotFound when something is missing.
std::string GetShortPathName(const std::string& path, Status* status = nullptr);
std::string GetLongPathName(const std::string& path, Status* status = nullptr);

// The current directory in Windows form ("C:\" for a root, no trailing "\" otherwise).
std::string GetCurrentDirectory(Status* status = nullptr);
// Buffer form of GetCurrentDirectoryA: length without terminator, or the size needed with
// the terminator when the buffer is too small (buffer untouched); 0 on error.
std::uint32_t GetCurrentDirectory(std::uint32_t size, char* buffer);
bool SetCurrentDirectory(const std::string& path);

// The host's idea of a Windows name: no forbidden characters (<>:"|?* and control
// characters). Wildcards are checked by the callers that allow them.
bool IsValidLongName(const std::string& name);

}  // namespace platform
