// Directory walks.
#include "script/lib/directory_walk.h"

#include <vector>

#include "platform/directory_entries.h"
#include "script/lib/directory_tree.h"

namespace script {

bool WalkDirectory(const std::string& directory, const Regex& directories, const Regex& files,
                   int32_t flags, const WalkAction& action) {
  std::vector<platform::DirectoryEntry> entries;
  // A directory that cannot be read contributes nothing.
  if (!platform::ListDirectoryEntries(ListingPath(directory), &entries)) return true;
  for (const platform::DirectoryEntry& entry : entries) {
    if (entry.kind != platform::EntryKind::kDirectory) {
      if (files.Matches(entry.name) && !action(JoinPath(directory, entry.name))) return false;
      continue;
    }
    if ((flags & kWalkNoRecursion) || !directories.Matches(entry.name)) continue;
    const std::string path = JoinPath(directory, entry.name);
    if ((flags & kWalkWantDirectories) && !action(path)) return false;
    if (!WalkDirectory(path, directories, files, flags, action)) return false;
  }
  return true;
}

}  // namespace script
