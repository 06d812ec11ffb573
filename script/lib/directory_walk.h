// The directory walk behind ForDirectory, ForDirectoryTree, ForReDirectoryTree and
// ExpandDirectoryTree: files whose names match one expression, directories whose names
// match another entered (and reported when wanted), in the order the host lists them.
// Links are reported like files and never entered, so a walk cannot leave the tree or
// loop; memory grows with the depth of the tree, not with the number of files.
#pragma once

#include <functional>
#include <string>

#include "script/lib/regex_engine.h"

namespace script {

enum WalkFlags : int32_t {
  kWalkWantDirectories = 1,
  kWalkNoScope = 2,
  kWalkNoRecursion = 4,
};

// Called with each path found; false stops the whole walk.
using WalkAction = std::function<bool(const std::string& path)>;

// False when the action stopped the walk.
bool WalkDirectory(const std::string& directory, const Regex& directories, const Regex& files,
                   int32_t flags, const WalkAction& action);

}  // namespace script
