// Copying, moving and removing whole directory trees, counting what succeeded. A
// symbolic link is copied or removed as a link and never entered; removal never
// crosses into another file system (a mounted directory is left as it is); a copy never
// descends into its own target. What fails is left as it was: a move removes only what
// it copied.
#pragma once

#include <string>

namespace script {

enum class TreeMode { kDelete = 1, kCopy = 2, kMove = 3 };

// Runs over the entries below `source` (the directory itself is the caller's): copies
// them to the same names below `target`, removes them, or both. In move mode an item
// counts once when its copy and its removal both succeeded, otherwise each success
// counts one.
int RunTreeOperation(TreeMode mode, const std::string& source, const std::string& target);

// Joins a directory and a name with one "\" ("name" alone below an empty directory).
std::string JoinPath(const std::string& directory, const std::string& name);

// The directory to list for `directory`: a bare drive ("C:") means its root, as the paths
// joined below it say.
std::string ListingPath(const std::string& directory);

}  // namespace script
