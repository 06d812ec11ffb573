// Environment variables on the host's environment, with PATH translated between the
// host's ":"-separated host paths and Windows's ";"-separated Windows paths.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/environment.h"
#include "platform/paths.h"
#include "platform/short_names.h"
#include "platform/win32_buffer.h"

extern char** environ;

namespace platform {
namespace {

// setenv and getenv are not safe against each other; the layer's own calls serialise.
std::mutex& EnvironmentMutex() {
  static std::mutex mutex;
  return mutex;
}

bool IsPathVariable(const std::string& name) { return EqualsIgnoreCase(name, "PATH"); }

// The host's spelling of a variable name: the exact one when set, else the first
// variable that matches without regard to case; "" when none is set.
std::string HostSpelling(const std::string& name) {
  if (std::getenv(name.c_str())) return name;
  for (char** entry = environ; entry && *entry; ++entry) {
    const char* equals = std::strchr(*entry, '=');
    if (!equals) continue;
    std::string candidate(*entry, static_cast<std::size_t>(equals - *entry));
    if (EqualsIgnoreCase(candidate, name)) return candidate;
  }
  return {};
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(separator, start);
    if (end == std::string::npos) end = text.size();
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

void AppendListItem(std::string* list, const std::string& item, char separator) {
  if (item.empty()) return;
  if (!list->empty()) *list += separator;
  *list += item;
}

std::string ReplaceAll(std::string text, char from, char to) {
  for (char& c : text)
    if (c == from) c = to;
  return text;
}

}  // namespace

std::string HostPathListToWindows(const std::string& host_list) {
  std::string list;
  for (const std::string& item : Split(host_list, ':')) {
    if (item.empty()) continue;
    AppendListItem(&list, item[0] == '/' ? ToWindowsPath(item) : ReplaceAll(item, '/', '\\'), ';');
  }
  return list;
}

std::string WindowsPathListToHost(const std::string& windows_list) {
  std::string list;
  for (std::string item : Split(windows_list, ';')) {
    // Entries may be quoted to hold spaces; the host's list has no quoting.
    item.erase(std::remove(item.begin(), item.end(), '"'), item.end());
    if (item.empty()) continue;
    bool absolute = item[0] == '\\' || item[0] == '/' || (item.size() >= 2 && item[1] == ':');
    std::string host = absolute ? MapToHostPath(item) : ReplaceAll(item, '\\', '/');
    // A host path holding ":" cannot be written into a ":"-separated list.
    if (host.find(':') == std::string::npos) AppendListItem(&list, host, ':');
  }
  return list;
}

bool GetEnvironmentVariable(const std::string& name, std::string* value) {
  std::string found;
  {
    std::lock_guard<std::mutex> lock(EnvironmentMutex());
    std::string spelling = HostSpelling(name);
    const char* text = spelling.empty() ? nullptr : std::getenv(spelling.c_str());
    if (!text) {
      SetLastError(kErrorEnvvarNotFound);
      return false;
    }
    found = text;
  }
  *value = IsPathVariable(name) ? HostPathListToWindows(found) : found;
  return true;
}

std::uint32_t GetEnvironmentVariable(const char* name, char* buffer, std::uint32_t size) {
  std::string value;
  if (!name || !GetEnvironmentVariable(std::string(name), &value)) {
    if (!name) SetLastError(kErrorInvalidParameter);
    return 0;
  }
  return CopyToBuffer(value, buffer, size);
}

bool SetEnvironmentVariable(const std::string& name, const char* value) {
  if (name.empty() || name.find('=') != std::string::npos) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  std::string host_value;
  if (value) host_value = IsPathVariable(name) ? WindowsPathListToHost(value) : value;
  std::lock_guard<std::mutex> lock(EnvironmentMutex());
  std::string spelling = HostSpelling(name);
  if (spelling.empty()) spelling = name;
  int result = value ? setenv(spelling.c_str(), host_value.c_str(), 1) : unsetenv(spelling.c_str());
  if (result != 0) {
    SetLastError(kErrorNotEnoughMemory);
    return false;
  }
  return true;
}

std::string ExpandEnvironmentStrings(const std::string& text) {
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t close = text[i] == '%' ? text.find('%', i + 1) : std::string::npos;
    if (close == std::string::npos) {
      out += text[i++];
      continue;
    }
    std::string value;
    std::string name = text.substr(i + 1, close - i - 1);
    if (!name.empty() && GetEnvironmentVariable(name, &value)) {
      out += value;
      i = close + 1;
    } else {
      // Not a variable: keep "%name" and look again from the second "%".
      out += text.substr(i, close - i);
      i = close;
    }
  }
  return out;
}

std::uint32_t ExpandEnvironmentStrings(const char* text, char* buffer, std::uint32_t size) {
  if (!text) {
    SetLastError(kErrorInvalidParameter);
    return 0;
  }
  std::string expanded = ExpandEnvironmentStrings(std::string(text));
  std::uint32_t needed = static_cast<std::uint32_t>(expanded.size() + 1);
  if (buffer && needed <= size) std::memcpy(buffer, expanded.c_str(), needed);
  return needed;
}

}  // namespace platform
