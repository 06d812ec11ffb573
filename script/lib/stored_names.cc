// Checking and preparing the paths extracted files are written to.
#include "script/lib/stored_names.h"

#include <vector>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/symlinks.h"

namespace script {

bool SafeRelativePath(std::string_view stored, std::string* path) {
  if (stored.empty() || stored[0] == '/' || stored[0] == '\\') return false;
  // A name ending in a separator names a directory, not a file.
  if (stored.back() == '/' || stored.back() == '\\') return false;
  std::vector<std::string> parts;
  std::string part;
  for (size_t i = 0; i <= stored.size(); ++i) {
    char c = i < stored.size() ? stored[i] : '\\';
    if (c == ':' || c == '\0') return false;
    if (c != '/' && c != '\\') {
      part += c;
      continue;
    }
    if (part == "..") return false;
    if (!part.empty() && part != ".") {
      // Trailing dots and spaces vanish from Windows names: ". ." would become "..".
      size_t end = part.find_last_not_of(". ");
      if (end == std::string::npos || !platform::IsValidLongName(part)) return false;
      parts.push_back(part);
    }
    part.clear();
  }
  if (parts.empty()) return false;
  path->clear();
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) *path += '\\';
    *path += parts[i];
  }
  return true;
}

bool PrepareExtractionPath(std::string_view stored, std::string* path) {
  if (!SafeRelativePath(stored, path)) return false;
  for (size_t at = path->find('\\'); at != std::string::npos; at = path->find('\\', at + 1)) {
    std::string directory = path->substr(0, at);
    if (platform::IsSymbolicLink(directory)) return false;
    uint32_t attributes = platform::GetFileAttributes(directory);
    if (attributes == platform::kInvalidFileAttributes) {
      if (!platform::CreateDirectory(directory)) return false;
    } else if (!(attributes & platform::kFileAttributeDirectory)) {
      return false;
    }
  }
  // A link in the last place is replaced, never written through.
  return true;
}

}  // namespace script
