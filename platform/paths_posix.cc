// Windows paths mapped onto the host through the prefix's drive map.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/path_resolve.h"
#include "platform/paths.h"
#include "platform/prefix.h"
#include "platform/short_names.h"
#include "platform/win32_buffer.h"

namespace platform {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDriveLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

char ToUpperLetter(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string Fail(Status code, Status* status) {
  SetLastError(code);
  if (status) *status = code;
  return {};
}

std::string Succeed(std::string result, Status* status) {
  if (status) *status = kErrorSuccess;
  return result;
}

// Appends a host path component, never doubling the "/" of the host root.
std::string JoinHost(const std::string& dir, const std::string& name) {
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

std::vector<std::string> SplitComponents(const std::string& text) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : text) {
    if (IsSeparator(c)) {
      if (!part.empty()) parts.push_back(std::move(part));
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(std::move(part));
  return parts;
}

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

// Lexical clean-up of an absolute host path: no ".", "..", empty components or trailing
// "/".
std::string NormalizeHost(const std::string& path) {
  std::vector<std::string> parts;
  for (const std::string& part : SplitComponents(path)) {
    if (part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else {
      parts.push_back(part);
    }
  }
  std::string result;
  for (const std::string& part : parts) result += "/" + part;
  return result.empty() ? "/" : result;
}

// One letter of the drive map. A host path may name its root in several ways: the
// resolved directory, the link in the drive map, or the link's target as written.
struct Drive {
  char letter;
  std::string root;
  std::vector<std::string> spellings;
};

std::vector<Drive> DriveMap() {
  std::vector<Drive> drives;
  std::string dir = PrefixPath("drives");
  if (dir.empty()) return drives;
  std::vector<std::string> names;
  ReadDirectoryNames(dir, &names);  // what could be read, as before
  for (const std::string& name : names) {
    if (name.size() != 1 || !IsDriveLetter(name[0])) continue;
    std::string link = dir + "/" + name;
    std::string root = RealPath(link);
    if (root.empty()) continue;
    Drive drive{ToUpperLetter(name[0]), root, {root, NormalizeHost(link)}};
    char target[PATH_MAX];
    ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    if (length > 0) {
      std::string written(target, static_cast<std::size_t>(length));
      drive.spellings.push_back(NormalizeHost(written[0] == '/' ? written : dir + "/" + written));
    }
    drives.push_back(std::move(drive));
  }
  return drives;
}

// The Windows form of an absolute, normalised host path below the drive whose root holds
// it by the longest spelling (ties go to the earlier letter). "" when no drive holds it.
std::string WindowsForm(const std::string& host, const std::vector<Drive>& drives,
                        std::size_t* root_length) {
  char best_letter = 0;
  std::size_t best_length = 0;
  for (const Drive& drive : drives) {
    for (const std::string& root : drive.spellings) {
      bool inside = root == "/" || host == root ||
                    (host.compare(0, root.size(), root) == 0 && host[root.size()] == '/');
      if (!inside) continue;
      if (best_letter == 0 || root.size() > best_length ||
          (root.size() == best_length && drive.letter < best_letter)) {
        best_letter = drive.letter;
        best_length = root.size();
      }
    }
  }
  *root_length = best_length;
  if (best_letter == 0) return {};
  std::string result = std::string(1, best_letter) + ":\\";
  for (char c : host.substr(best_length)) result += c == '/' ? '\\' : c;
  if (result.size() > 3 && result[3] == '\\') result.erase(3, 1);
  return result;
}

// The normalised full path split into its root ("C:\" or "\\server\share\") and
// components; trailing_separator records a final "\" that the result keeps.
struct FullPathParts {
  std::string root;
  std::vector<std::string> components;
  bool trailing_separator = false;
};

// Folds "." and ".." (never above the root) and drops a single trailing dot of a
// component, as Windows does when it normalises.
void AppendFolded(const std::vector<std::string>& parts, std::vector<std::string>* out) {
  for (const std::string& part : parts) {
    if (part == ".") continue;
    if (part == "..") {
      if (!out->empty()) out->pop_back();
      continue;
    }
    std::string name = part;
    if (name.size() >= 2 && name.back() == '.' && name[name.size() - 2] != '.') name.pop_back();
    out->push_back(std::move(name));
  }
}

Status CurrentDirectoryParts(FullPathParts* parts);

Status SplitFullPath(const std::string& path, FullPathParts* out) {
  *out = FullPathParts();
  if (path.empty()) return kErrorInvalidName;
  std::string rest;
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    // UNC: "\\server\share" is the root; the rest folds below it.
    std::vector<std::string> parts = SplitComponents(path.substr(2));
    out->root = "\\\\";
    if (!parts.empty()) out->root += parts[0];
    if (parts.size() > 1) out->root += "\\" + parts[1];
    out->root += "\\";
    std::vector<std::string> tail(parts.begin() + std::min<std::size_t>(parts.size(), 2),
                                  parts.end());
    AppendFolded(tail, &out->components);
  } else if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':') {
    char letter = ToUpperLetter(path[0]);
    rest = path.substr(2);
    if (rest.empty() || !IsSeparator(rest[0])) {
      // "X:name" is relative to the current directory when that is on X, else to X's root.
      FullPathParts cwd;
      if (CurrentDirectoryParts(&cwd) == kErrorSuccess && cwd.root[0] == letter) {
        out->components = cwd.components;
      }
    }
    out->root = std::string(1, letter) + ":\\";
    AppendFolded(SplitComponents(rest), &out->components);
  } else {
    FullPathParts cwd;
    if (Status status = CurrentDirectoryParts(&cwd); status != kErrorSuccess) return status;
    out->root = cwd.root;
    if (!IsSeparator(path[0])) out->components = cwd.components;
    AppendFolded(SplitComponents(path), &out->components);
  }
  out->trailing_separator = IsSeparator(path.back()) && !out->components.empty();
  if (!out->trailing_separator && !out->components.empty()) {
    // A last component loses its trailing dots and spaces ("file." is "file").
    std::string& last = out->components.back();
    while (!last.empty() && (last.back() == '.' || last.back() == ' ')) last.pop_back();
    if (last.empty()) out->components.pop_back();
  }
  return kErrorSuccess;
}

std::string JoinWindows(const FullPathParts& parts) {
  std::string result = parts.root;
  for (std::size_t i = 0; i < parts.components.size(); ++i) {
    if (i > 0) result += '\\';
    result += parts.components[i];
  }
  if (parts.trailing_separator) result += '\\';
  return result;
}

// Resolves one name in a host directory: exact spelling, then any case, then a short name.
// Fills *found with the entry's long and (when asked) short name. Short names are only
// generated when needed: a generated one always holds a "~".
bool FindInDirectory(const std::string& host_dir, const std::string& name, bool want_short,
                     DirectoryName* found) {
  struct stat st;
  if (lstat(JoinHost(host_dir, name).c_str(), &st) == 0 && (!want_short || IsShortName(name))) {
    *found = {name, ""};
    return true;
  }
  std::vector<std::string> names;
  if (!ReadDirectoryNames(host_dir, &names)) return false;
  auto index = std::find(names.begin(), names.end(), name) - names.begin();
  if (static_cast<std::size_t>(index) == names.size()) {
    index =
        std::find_if(names.begin(), names.end(),
                     [&name](const std::string& entry) { return EqualsIgnoreCase(entry, name); }) -
        names.begin();
  }
  bool by_long_name = static_cast<std::size_t>(index) < names.size();
  if (!by_long_name && name.find('~') == std::string::npos) return false;
  std::vector<std::string> short_names;
  if (want_short || !by_long_name) short_names = GenerateShortNames(names);
  if (!by_long_name) {
    index =
        std::find_if(short_names.begin(), short_names.end(),
                     [&name](const std::string& entry) { return EqualsIgnoreCase(entry, name); }) -
        short_names.begin();
    if (static_cast<std::size_t>(index) == names.size()) return false;
  }
  *found = {names[index], want_short ? short_names[index] : std::string()};
  return true;
}

Status CurrentDirectoryParts(FullPathParts* parts) {
  Status status = kErrorSuccess;
  std::string cwd = GetCurrentDirectory(&status);
  if (cwd.empty()) return status;
  parts->root = cwd.substr(0, 3);
  parts->components = SplitComponents(cwd.substr(3));
  return kErrorSuccess;
}

}  // namespace

bool IsValidLongName(const std::string& name) {
  for (unsigned char c : name)
    if (c < 0x20 || std::strchr("<>:\"|?*\\/", c)) return false;
  return !name.empty();
}

std::string DriveRoot(char letter) {
  if (!IsDriveLetter(letter)) return {};
  for (const Drive& drive : DriveMap())
    if (drive.letter == ToUpperLetter(letter)) return drive.root;
  return {};
}

std::string MappedDriveLetters() {
  std::string letters;
  for (const Drive& drive : DriveMap())
    if (letters.find(drive.letter) == std::string::npos) letters += drive.letter;
  std::sort(letters.begin(), letters.end());
  return letters;
}

Status ResolvePath(const std::string& windows_path, const ResolveOptions& options,
                   ResolvedPath* out) {
  *out = ResolvedPath();
  FullPathParts parts;
  if (Status status = SplitFullPath(windows_path, &parts); status != kErrorSuccess) return status;
  if (parts.root[0] == '\\') return kErrorBadNetpath;
  for (const std::string& component : parts.components)
    if (!IsValidLongName(component)) return kErrorInvalidName;
  out->windows = JoinWindows(parts);
  if (out->windows.size() >= kMaxPath) return kErrorFilenameExcedRange;
  out->host = DriveRoot(parts.root[0]);
  if (out->host.empty()) return kErrorPathNotFound;
  bool missing = false;
  for (std::size_t i = 0; i < parts.components.size(); ++i) {
    const std::string& name = parts.components[i];
    bool last = i + 1 == parts.components.size();
    DirectoryName found;
    if (!missing && FindInDirectory(out->host, name, options.want_short_names, &found)) {
      out->host = JoinHost(out->host, found.long_name);
      out->names.push_back(std::move(found));
      struct stat st;
      if (!last && (stat(out->host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)))
        return kErrorPathNotFound;
      continue;
    }
    if (!last && !options.allow_missing_directories) return kErrorPathNotFound;
    missing = true;
    out->host = JoinHost(out->host, name);
    out->names.push_back({name, ""});
  }
  out->exists = !missing;
  return kErrorSuccess;
}

std::string ToHostPath(const std::string& windows_path, Status* status) {
  ResolvedPath resolved;
  Status result = ResolvePath(windows_path, {}, &resolved);
  return result == kErrorSuccess ? Succeed(resolved.host, status) : Fail(result, status);
}

std::string MapToHostPath(const std::string& windows_path, Status* status) {
  ResolvedPath resolved;
  ResolveOptions options;
  options.allow_missing_directories = true;
  Status result = ResolvePath(windows_path, options, &resolved);
  return result == kErrorSuccess ? Succeed(resolved.host, status) : Fail(result, status);
}

std::string ToWindowsPath(const std::string& host_path, Status* status) {
  if (host_path.empty()) return Fail(kErrorInvalidName, status);
  std::string absolute = host_path;
  if (absolute[0] != '/') {
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd)) return Fail(StatusFromErrno(errno), status);
    absolute = JoinHost(cwd, absolute);
  }
  absolute = NormalizeHost(absolute);
  std::vector<Drive> drives = DriveMap();
  std::size_t root_length = 0;
  std::string as_given = WindowsForm(absolute, drives, &root_length);
  if (root_length > 1) return Succeed(as_given, status);
  // Only Z: holds the path as written: resolve links in case it leads into another drive
  // (a link to a file and a missing file keep their own name below their directory).
  std::size_t slash = absolute.find_last_of('/');
  std::string name = absolute.substr(slash + 1);
  std::string canonical;
  struct stat st;
  bool keep_name =
      lstat(absolute.c_str(), &st) != 0 ||
      (S_ISLNK(st.st_mode) && (stat(absolute.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)));
  if (!keep_name) {
    canonical = RealPath(absolute);
  } else if (std::string parent = RealPath(slash == 0 ? "/" : absolute.substr(0, slash));
             !parent.empty()) {
    canonical = JoinHost(parent, name);
  }
  if (!canonical.empty()) {
    std::string resolved = WindowsForm(canonical, drives, &root_length);
    if (root_length > 1) return Succeed(resolved, status);
  }
  return as_given.empty() ? Fail(kErrorPathNotFound, status) : Succeed(as_given, status);
}

std::string GetFullPathName(const std::string& path, Status* status) {
  FullPathParts parts;
  Status result = SplitFullPath(path, &parts);
  return result == kErrorSuccess ? Succeed(JoinWindows(parts), status) : Fail(result, status);
}

std::uint32_t GetFullPathName(const char* path, std::uint32_t size, char* buffer,
                              char** file_part) {
  if (!path) {
    SetLastError(kErrorInvalidParameter);
    return 0;
  }
  std::string full = GetFullPathName(std::string(path));
  if (full.empty()) return 0;
  std::uint32_t result = CopyToBuffer(full, buffer, size);
  if (file_part && buffer && result < size)
    *file_part = full.back() == '\\' ? nullptr : buffer + full.rfind('\\') + 1;
  return result;
}

char* FullPath(char* buffer, const char* path, std::size_t size) {
  std::string full = (!path || !*path) ? GetCurrentDirectory() : GetFullPathName(std::string(path));
  if (full.empty()) return nullptr;
  if (!buffer) {
    buffer = static_cast<char*>(std::malloc(full.size() + 1));
    if (!buffer) return nullptr;
  } else if (full.size() + 1 > size) {
    errno = ERANGE;
    return nullptr;
  }
  std::memcpy(buffer, full.c_str(), full.size() + 1);
  return buffer;
}

namespace {

std::string ConvertExistingPath(const std::string& path, bool to_short, Status* status) {
  ResolvedPath resolved;
  ResolveOptions options;
  options.want_short_names = to_short;
  Status result = ResolvePath(path, options, &resolved);
  if (result == kErrorSuccess && !resolved.exists) result = kErrorFileNotFound;
  if (result != kErrorSuccess) return Fail(result, status);
  std::string converted = resolved.windows.substr(0, 3);
  for (std::size_t i = 0; i < resolved.names.size(); ++i) {
    const DirectoryName& name = resolved.names[i];
    if (i > 0) converted += '\\';
    converted += to_short && !name.short_name.empty() ? name.short_name : name.long_name;
  }
  if (resolved.windows.size() > 3 && resolved.windows.back() == '\\') converted += '\\';
  return Succeed(converted, status);
}

}  // namespace

std::string GetShortPathName(const std::string& path, Status* status) {
  return ConvertExistingPath(path, true, status);
}

std::string GetLongPathName(const std::string& path, Status* status) {
  return ConvertExistingPath(path, false, status);
}

std::string GetCurrentDirectory(Status* status) {
  char cwd[PATH_MAX];
  if (!getcwd(cwd, sizeof cwd)) return Fail(StatusFromErrno(errno), status);
  return ToWindowsPath(cwd, status);
}

std::uint32_t GetCurrentDirectory(std::uint32_t size, char* buffer) {
  std::string cwd = GetCurrentDirectory();
  if (cwd.empty()) return 0;
  return CopyToBuffer(cwd, buffer, size);
}

bool SetCurrentDirectory(const std::string& path) {
  Status status = kErrorSuccess;
  std::string host = ToHostPath(path, &status);
  if (host.empty()) return false;
  struct stat st;
  if (stat(host.c_str(), &st) != 0) {
    SetLastError(errno == ENOENT ? kErrorFileNotFound : StatusFromErrno(errno));
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    SetLastError(kErrorDirectory);
    return false;
  }
  if (chdir(host.c_str()) != 0) {
    SetLastError(StatusFromErrno(errno));
    return false;
  }
  return true;
}

}  // namespace platform
