// Path texts as the file-system built-ins read them.
#include "script/lib/path_parts.h"

namespace script {

std::size_t DrivePartLength(std::string_view path) {
  if (path.size() >= 2 && path[1] == ':' &&
      ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
    return 2;
  }
  if (path.size() < 2 || !IsSlash(path[0]) || !IsSlash(path[1])) return 0;
  std::size_t i = 2;
  const std::size_t server = i;
  while (i < path.size() && !IsSlash(path[i])) ++i;
  if (i == server || i == path.size()) return 0;
  while (i < path.size() && IsSlash(path[i])) ++i;
  const std::size_t share = i;
  while (i < path.size() && !IsSlash(path[i])) ++i;
  // The share must be followed by a further slash.
  if (i == share || i == path.size()) return 0;
  return i;
}

std::size_t FileNameStart(std::string_view path) {
  std::size_t last = path.find_last_of("/\\");
  return last == std::string_view::npos ? 0 : last + 1;
}

std::string NormaliseSlashes(std::string_view path, bool clip) {
  std::string fixed;
  fixed.reserve(path.size());
  for (std::size_t i = 0; i < path.size(); ++i) {
    char c = IsSlash(path[i]) ? '\\' : path[i];
    if (c == '\\' && i > 0 && fixed.size() > 1 && fixed.back() == '\\') continue;
    fixed += c;
  }
  if (clip && fixed.size() > 1 && fixed.back() == '\\') fixed.pop_back();
  return fixed;
}

}  // namespace script
