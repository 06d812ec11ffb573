// Launch files (.spi): the configuration of a game session, read into a LaunchFile and
// answered with a fixed fallback to the installation's "default.spi" and "extra.spi"
// (in the System directory below `Root Directory`).
//
// A launch file is an INI-like text, optionally wrapped in a "VLI2" container, or a
// 3,668-byte binary launch record (it begins 00 00 01 00) that loading turns into the
// same keys. Lookups search the object's section records from the last to the first, so
// the last definition in a file wins; sections hold up to 16 entries per record and a
// longer section continues in further records of the same name.
//
// Every operation stores a status in the object (see LaunchStatus). Changes are made in
// memory only; nothing is ever written back.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "clientcfg/net_address.h"
#include "platform/sync.h"

namespace clientcfg {

enum LaunchStatus : int {
  kLaunchOk = 0,
  kLaunchNoObject = 1,
  kLaunchNoPath = 2,  // also: a text without any section line
  kLaunchNotRecord = 3,
  kLaunchNoMemory = 4,
  kLaunchUnreadable = 5,
  kLaunchUnwrapFailed = 7,
  kLaunchNoDate = 8,
  kLaunchExpired = 100,
  kLaunchNoNetwork = 101,
  kLaunchWrongNetwork = 102,
  kLaunchBadSize = 103,
  kLaunchBadName = 104,
  kLaunchNotFound = 105,
};

/// What a status code means, in a few words ("the file has expired").
const char* LaunchStatusText(int status);

// Load flags.
inline constexpr unsigned kLaunchNoFallback = 1;  // lookups stay in the object itself
inline constexpr unsigned kLaunchClearOnFailure = 2;
inline constexpr unsigned kLaunchNoNetworkCheck = 4;
inline constexpr unsigned kLaunchNoExpiryCheck = 8;

inline constexpr std::size_t kLaunchFileMinSize = 10;
inline constexpr std::size_t kLaunchFileMaxSize = 500000;
// The most text a wrapped launch file may unwrap to (a container refused beyond it), so
// that a small file cannot inflate into gigabytes of entries.
inline constexpr std::size_t kLaunchTextMaxSize = 4 * kLaunchFileMaxSize;
inline constexpr std::size_t kLaunchSectionNameMax = 31;
inline constexpr std::size_t kLaunchEntriesPerRecord = 16;
inline constexpr std::size_t kLaunchNameSize = 260;

struct LaunchEntry {
  std::string key;
  std::string value;
  bool deleted = false;
};

/// Up to 16 entries of one section. Deleted entries keep their slot.
struct LaunchSectionRecord {
  std::string name;  // at most 31 characters
  std::array<LaunchEntry, kLaunchEntriesPerRecord> entries;
  std::uint8_t used = 0;
  std::uint8_t deleted = 0;
};

class LaunchFile {
 public:
  LaunchFile() = default;
  LaunchFile(const LaunchFile&) = delete;
  LaunchFile& operator=(const LaunchFile&) = delete;

  unsigned flags() const { return flags_; }
  bool loaded() const { return loaded_; }
  int status() const { return status_; }
  /// The path of the last load (cut to 259 characters); "" when emptied.
  const std::string& name() const { return name_; }
  /// Section records in file order.
  const std::vector<std::unique_ptr<LaunchSectionRecord>>& records() const { return records_; }

 private:
  friend struct LaunchFileAccess;

  unsigned flags_ = 0;
  bool loaded_ = false;
  int status_ = kLaunchOk;
  std::string name_;
  platform::MutexHandle lock_;  // invalid for the installation-wide files
  // Entries point to stable storage: a record never moves once made, so the texts
  // lookups return stay valid until that entry is changed or the object emptied.
  std::vector<std::unique_ptr<LaunchSectionRecord>> records_;
};

// Object life.

/// An empty object with its own lock; loads the installation-wide files first when they
/// are not loaded yet. Null when memory is short.
LaunchFile* NewLaunchFile();
/// Closes the lock, empties the object and releases it. Null is ignored.
void FreeLaunchFile(LaunchFile* file);
/// Releases every record and text and clears the name and the loaded flag.
void ClearLaunchFile(LaunchFile* file);
/// Reads a launch file (Windows path) of 10 to 500,000 bytes: a launch record, a
/// "VLI2" container or plain text. Returns the status, also stored in the object.
int LoadLaunchFile(LaunchFile* file, const char* path, unsigned flags);
/// The same on contents already read (the size limits included).
int LoadLaunchBytes(LaunchFile* file, const std::string& bytes, unsigned flags);

/// Once per process: "default.spi" and "extra.spi" from `Root Directory` + "System\",
/// both with flags 1. A missing root or file leaves that object not loaded.
void LoadDefaultLaunchFiles();
void FreeDefaultLaunchFiles();
/// The process-wide installation files.
LaunchFile& DefaultLaunchFile();
LaunchFile& ExtraLaunchFile();

// Lookups. Each sets the object's status to 0 first; a search that finds nothing in an
// object sets that object's status to 105. An installation file that is not loaded is
// not consulted and keeps the status of its load. Returned texts belong to the object holding
// them (or are the default).

/// The object itself (when loaded), then, unless its flags have bit 1, the extra file
/// and the default file. `file` may be null: the installation-wide files alone.
const char* GetLaunchValue(LaunchFile* file, const char* section, const char* key,
                           const char* default_value);
int GetLaunchInt(LaunchFile* file, const char* section, const char* key, int default_value);
/// The value v of key, then the value of key v in the map section (the same section
/// when map_section is null) when there is one, else v.
const char* GetLaunchIndirect(LaunchFile* file, const char* section, const char* key,
                              const char* map_section, const char* default_value);
int GetLaunchIndirectInt(LaunchFile* file, const char* section, const char* key,
                         const char* map_section, int default_value);
/// The number in the count key when it reads as one >= 0, else the number of keys
/// base1, base2, ... found by a probe search starting at first_probe, 2 at least (the
/// keys are assumed to be numbered without gaps).
int CountNumberedKeys(LaunchFile* file, const char* section, const char* base,
                      const char* count_key, int first_probe);
/// base1, base2, ... (up to maximum) into consecutive buffers of item_size bytes, each
/// cut to item_size - 1 characters; stops at the first absent or empty value. Returns
/// the number copied.
int GetLaunchList(LaunchFile* file, const char* section, const char* base, char* buffers,
                  int maximum, int item_size, const char* default_value);
/// The texts of base1 ... baseN, N counted by CountNumberedKeys (absent ones as "").
/// *count: N, or -1 when memory is short.
std::vector<std::string> GetLaunchArray(LaunchFile* file, const char* section, const char* base,
                                        int first_probe, int* count);
/// GetLaunchInt of base1 ... baseN, N counted with first probe 16.
std::vector<int> GetLaunchIntArray(LaunchFile* file, const char* section, const char* base,
                                   int default_value);
/// The same into a caller's array of `count` numbers.
void GetLaunchIntArray(LaunchFile* file, const char* section, const char* base, int* array,
                       int count, int default_value);
/// The Base64 lines base1, base2, ... (count in "<base>Lines", else probed from 128)
/// decoded and joined; each line gives at most 54 bytes. Nullopt (status 4) when memory
/// is short.
std::optional<std::string> GetLaunchBlob(LaunchFile* file, const char* section, const char* base);

// Changes in memory.

/// Replaces the value of an existing key or adds the key to the last record of the
/// section with room (or a new record at the end). Returns the status: 104 for a
/// section or key beginning with "#", 4 when memory is short.
int SetLaunchValue(LaunchFile* file, const char* section, const char* key, const char* value);
int SetLaunchInt(LaunchFile* file, const char* section, const char* key, int number);
/// Marks every entry of the key in the section deleted. Always 105 afterwards (the key
/// is then not found), which is what callers have always seen.
int DeleteLaunchValue(LaunchFile* file, const char* section, const char* key);

/// The text form of the object's own entries, deleted ones left out:
///   "[" name "]" LF when the name differs from the record before, then key "=" value LF.
/// Values the text form cannot hold as they are (a ";", a line end, blanks at either
/// end) are named in *unfaithful as "Section\Key"; their line ends become blanks.
std::string FormatLaunchText(const LaunchFile& file,
                             std::vector<std::string>* unfaithful = nullptr);

/// A number in decimal, octal ("017", "0o17"), binary ("0b101") or hexadecimal
/// ("0x1F"), after any leading text, with an optional "-"; the default when there are
/// no digits. Wraps at 32 bits.
int ParseLaunchNumber(const char* text, int default_value);

/// Today's local date for the expiry check; false when it is not known. Tests replace
/// it; null restores the clock.
using LocalDateSource = bool (*)(int* year, int* month, int* day);
void SetLocalDateSource(LocalDateSource source);

}  // namespace clientcfg
