// What the pieces of the launch file library share: access to the object's insides,
// its lock, the search of one object, and the loaders of the two forms.
#pragma once

#include <optional>
#include <string_view>

#include "clientcfg/launch_file.h"

namespace clientcfg {

struct LaunchFileAccess {
  static unsigned& flags(LaunchFile& file) { return file.flags_; }
  static bool& loaded(LaunchFile& file) { return file.loaded_; }
  static int& status(LaunchFile& file) { return file.status_; }
  static std::string& name(LaunchFile& file) { return file.name_; }
  static platform::MutexHandle& lock(LaunchFile& file) { return file.lock_; }
  static std::vector<std::unique_ptr<LaunchSectionRecord>>& records(LaunchFile& file) {
    return file.records_;
  }
};

/// Holds an object's lock, when it has one, for the life of the guard.
class LaunchLock {
 public:
  explicit LaunchLock(LaunchFile& file);
  ~LaunchLock();
  LaunchLock(const LaunchLock&) = delete;
  LaunchLock& operator=(const LaunchLock&) = delete;

 private:
  platform::MutexHandle lock_;
  bool held_ = false;
};

/// A section or key as lookups and changes take it: leading white space skipped, cut at
/// the first ";". Nullopt for null or a text beginning with "#".
std::optional<std::string_view> LaunchName(const char* text);

/// The last entry of the key in the section that is not deleted, searching only this
/// object (loaded or not) without locking or touching its status.
LaunchEntry* FindLaunchEntry(LaunchFile& file, std::string_view section, std::string_view key);

/// Empties the records, the text and the name and clears the loaded flag.
void EmptyLaunchFile(LaunchFile& file);

/// Opens a new record for the section at the end of the chain.
LaunchSectionRecord& AppendLaunchRecord(LaunchFile& file, std::string_view section);

/// Takes in a launch text (ending at its first NUL) into an emptied object. Status 2 for
/// a text without any section line.
int ParseLaunchText(LaunchFile& file, std::string_view text);

/// Takes in a launch record; 3 when it does not begin with 00 00 01 00, 5 when it is
/// shorter than a whole record.
int LoadLaunchRecord(LaunchFile& file, std::string_view bytes);

/// The expiry and network checks that follow a text load.
int CheckLaunchExpiry(LaunchFile& file);
int CheckLaunchNetwork(LaunchFile& file);

/// The three numbers of an Expires value compared with a date: true when expired.
bool LaunchDateExpired(std::string_view expires, int year, int month, int day);

}  // namespace clientcfg
