// Files and directories by Windows path: handles with the Win32 creation dispositions,
// copy/move/delete, directories, DOS attributes, directory searches with wildcards,
// file times, temporary files and disk space.
//
// Attributes: READONLY is the owner write bit; HIDDEN, SYSTEM and ARCHIVE are kept in the
// extended attribute "user.DOSATTRIB" as the text "0x<hex>" (the form Samba and Wine
// use); on file systems without extended attributes only READONLY survives.
//
// All calls follow the layer's conventions (see paths.h): false/0 plus the last error.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/win_error.h"

namespace platform {

// Win32 file attribute bits.
inline constexpr std::uint32_t kFileAttributeReadonly = 0x01;
inline constexpr std::uint32_t kFileAttributeHidden = 0x02;
inline constexpr std::uint32_t kFileAttributeSystem = 0x04;
inline constexpr std::uint32_t kFileAttributeDirectory = 0x10;
inline constexpr std::uint32_t kFileAttributeArchive = 0x20;
inline constexpr std::uint32_t kFileAttributeNormal = 0x80;
inline constexpr std::uint32_t kFileAttributeTemporary = 0x100;
// What GetFileAttributes returns for a missing file.
inline constexpr std::uint32_t kInvalidFileAttributes = 0xFFFFFFFF;

// Access rights for File::Open.
inline constexpr std::uint32_t kGenericRead = 0x80000000;
inline constexpr std::uint32_t kGenericWrite = 0x40000000;

// Win32 creation dispositions (same numbers as CREATE_NEW ... TRUNCATE_EXISTING).
enum class Disposition : std::uint32_t {
  kCreateNew = 1,         // fails with kErrorFileExists when the file exists
  kCreateAlways = 2,      // creates or truncates
  kOpenExisting = 3,      // fails with kErrorFileNotFound when missing
  kOpenAlways = 4,        // opens or creates
  kTruncateExisting = 5,  // opens and truncates; needs write access
};

enum class SeekOrigin { kBegin = 0, kCurrent = 1, kEnd = 2 };

// An open file (a HANDLE from CreateFileA). Closed when destroyed.
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // CreateFileA. access: kGenericRead and/or kGenericWrite. attributes apply to a file
  // that this call creates. A read-only file cannot be opened for writing.
  bool Open(const std::string& windows_path, std::uint32_t access, Disposition disposition,
            std::uint32_t attributes = kFileAttributeNormal);
  bool is_open() const { return fd_ >= 0; }
  void Close();

  // ReadFile/WriteFile: *done receives the byte count (0 at end of file).
  bool Read(void* buffer, std::uint32_t size, std::uint32_t* done);
  bool Write(const void* data, std::uint32_t size, std::uint32_t* done);
  // SetFilePointerEx; *position (when given) receives the new position.
  bool Seek(std::int64_t offset, SeekOrigin origin, std::int64_t* position = nullptr);
  // GetFileSizeEx.
  bool GetSize(std::uint64_t* size) const;
  // SetEndOfFile: cuts or extends the file at the current position.
  bool SetEnd();
  // GetFileTime/SetFileTime; null arguments are not read or changed. The host keeps no
  // settable creation time, so a creation time given to SetTime is ignored.
  bool GetTime(FileTime* creation, FileTime* last_access, FileTime* last_write) const;
  bool SetTime(const FileTime* creation, const FileTime* last_access, const FileTime* last_write);

  // The host file descriptor, for code that needs POSIX calls on it.
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
};

// GetFileSize: the low 32 bits, the high ones in *high (when given); 0xFFFFFFFF with the
// last error set on failure.
std::uint32_t GetFileSize(const File& file, std::uint32_t* high);

// fopen by Windows path (modes as the C runtime takes them, "t" accepted). A read-only
// file is not opened for writing. Null with the last error set on failure.
std::FILE* OpenStdioFile(const std::string& windows_path, const char* mode);

// CopyFileA: contents, attributes and modification time follow the copy. With
// fail_if_exists an existing target gives kErrorFileExists; a read-only target is
// never overwritten (kErrorAccessDenied).
bool CopyFile(const std::string& from, const std::string& to, bool fail_if_exists);
// MoveFileA: files and directories; files move across file systems too. An existing
// target gives kErrorAlreadyExists.
bool MoveFile(const std::string& from, const std::string& to);
// DeleteFileA: a read-only file or a directory gives kErrorAccessDenied.
bool DeleteFile(const std::string& path);
// CreateDirectoryA: the parent must exist; an existing name gives kErrorAlreadyExists.
bool CreateDirectory(const std::string& path);
// RemoveDirectoryA: only an empty directory (kErrorDirNotEmpty otherwise).
bool RemoveDirectory(const std::string& path);

// GetFileAttributesA: kInvalidFileAttributes and the last error when missing.
std::uint32_t GetFileAttributes(const std::string& path);
// SetFileAttributesA: READONLY, HIDDEN, SYSTEM and ARCHIVE are kept; NORMAL clears them.
bool SetFileAttributes(const std::string& path, std::uint32_t attributes);

// WIN32_FIND_DATAA.
struct FindData {
  std::uint32_t attributes = 0;
  FileTime creation_time;
  FileTime last_access_time;
  FileTime last_write_time;
  std::uint64_t size = 0;
  std::string name;        // cFileName: the long name
  std::string short_name;  // cAlternateFileName: "" when the long name is an 8.3 name
};

// A directory search (the HANDLE of FindFirstFileA). Closed when destroyed.
class FindHandle {
 public:
  FindHandle() = default;
  FindHandle(FindHandle&& other) noexcept { *this = std::move(other); }
  FindHandle& operator=(FindHandle&& other) noexcept {
    valid_ = std::exchange(other.valid_, false);
    host_dir_ = std::move(other.host_dir_);
    names_ = std::move(other.names_);
    short_names_ = std::move(other.short_names_);
    next_ = other.next_;
    return *this;
  }
  bool valid() const { return valid_; }

 private:
  friend FindHandle FindFirstFile(const std::string& pattern, FindData* data);
  friend bool FindNextFile(FindHandle& handle, FindData* data);
  friend bool FindClose(FindHandle& handle);

  bool valid_ = false;
  std::string host_dir_;
  std::vector<std::string> names_;  // matching long names, directory order
  std::vector<std::string> short_names_;
  std::size_t next_ = 0;
};

// FindFirstFileA: the last component may hold "*" and "?", matched without regard to case
// against both long and short names ("*.*" matches every name). "." and ".." are listed
// except in a drive root. An invalid handle and kErrorFileNotFound when nothing matches,
// kErrorPathNotFound when the directory is missing.
FindHandle FindFirstFile(const std::string& pattern, FindData* data);
// FindNextFileA: false and kErrorNoMoreFiles after the last entry.
bool FindNextFile(FindHandle& handle, FindData* data);
// FindClose: false and kErrorInvalidHandle for a handle that is not open.
bool FindClose(FindHandle& handle);

// True when a Windows wildcard ("*", "?"; "*.*" = all) matches the name, ignoring case.
bool MatchesWildcard(const std::string& pattern, const std::string& name);

// GetTempPathA: $TMP or $TEMP when it names an existing directory in Windows form, else
// the prefix's C:\WINDOWS\TEMP\. Always ends with "\".
std::string GetTempPath(Status* status = nullptr);
// Buffer form: length without terminator, or the size needed (terminator included) when
// the buffer is too small; buffer untouched then.
std::uint32_t GetTempPath(std::uint32_t size, char* buffer);

// GetTempFileNameA: "<dir>\<prefix><HEX>.tmp" with at most three prefix characters. With
// unique 0 a free number is chosen and the file is created empty; otherwise the name is
// only built. Returns the number used (0 on failure).
std::uint32_t GetTempFileName(const std::string& dir, const std::string& prefix,
                              std::uint32_t unique, std::string* name);
// Buffer form: buffer must hold kMaxPath bytes.
std::uint32_t GetTempFileName(const char* dir, const char* prefix, std::uint32_t unique,
                              char* buffer);

// GetDiskFreeSpaceA: 8 sectors of 512 bytes per cluster; both cluster counts capped so
// that no product exceeds 2 GiB minus one cluster. root: a path on the drive; null or ""
// means the current drive.
bool GetDiskFreeSpace(const char* root, std::uint32_t* sectors_per_cluster,
                      std::uint32_t* bytes_per_sector, std::uint32_t* free_clusters,
                      std::uint32_t* total_clusters);
// GetDiskFreeSpaceExA: exact 64-bit byte counts.
bool GetDiskFreeSpaceEx(const char* root, std::uint64_t* free_to_caller, std::uint64_t* total,
                        std::uint64_t* total_free);

}  // namespace platform
