// Private-profile calls on ProfileDocument, reading and replacing whole files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>

#include "platform/host_copy.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/profile_document.h"
#include "platform/program_search.h"
#include "platform/sysinfo.h"
#include "platform/win_error.h"

namespace platform {
namespace {

// Larger files are not INI files any program here writes; they read as missing.
constexpr off_t kLargestProfile = 16 << 20;

// Serialises read-modify-write within this process.
std::mutex write_mutex;

std::string ProfileHostPath(const std::string& file) {
  if (HasDirectoryPart(file)) return ToHostPath(file);
  return ToHostPath(JoinWindowsPath(GetWindowsDirectory(), file));
}

// Reads the file: kErrorFileNotFound when it is missing, another code when it cannot be
// read (or is too large), so that a write never replaces a file it could not read.
Status ReadProfile(const std::string& host_path, std::string* text) {
  int fd = open(host_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return errno == ENOENT || errno == ENOTDIR ? kErrorFileNotFound : StatusFromErrno(errno);
  struct stat st;
  Status status = kErrorSuccess;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
    status = kErrorAccessDenied;
  else if (st.st_size > kLargestProfile)
    status = kErrorNotEnoughMemory;
  text->resize(status == kErrorSuccess ? static_cast<std::size_t>(st.st_size) : 0);
  std::size_t done = 0;
  while (done < text->size()) {
    ssize_t got = read(fd, text->data() + done, text->size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) status = StatusFromErrno(errno);
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  text->resize(done);
  close(fd);
  return status;
}

// Writes the text beside the file and renames it over the file.
bool ReplaceFile(const std::string& host_path, const std::string& text) {
  std::string target = host_path;
  if (char* real = realpath(host_path.c_str(), nullptr)) {  // keep a symbolic link
    target = real;
    free(real);
  }
  struct stat st;
  bool exists = stat(target.c_str(), &st) == 0;
  if (exists && !(st.st_mode & S_IWUSR)) {
    SetLastError(kErrorAccessDenied);
    return false;
  }
  std::string temp = target + ".XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) {
    SetLastError(errno == ENOENT ? kErrorPathNotFound : StatusFromErrno(errno));
    return false;
  }
  fchmod(fd, exists ? (st.st_mode & 07777) : 0644);
  bool ok = WriteAll(fd, text.data(), text.size()) && fsync(fd) == 0;
  int error = errno;
  ok = close(fd) == 0 && ok;
  if (ok && rename(temp.c_str(), target.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    unlink(temp.c_str());
    SetLastError(StatusFromErrno(error));
  }
  return ok;
}

std::string TrimmedDefault(const char* default_value) {
  std::string text = default_value ? default_value : "";
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
  return text;
}

// Reads the file's document, lets `edit` change it and writes it back when `edit` says
// it changed anything; the read and the write happen under one lock.
bool EditProfile(const std::string& file, const std::function<bool(ProfileDocument&)>& edit) {
  std::lock_guard<std::mutex> lock(write_mutex);
  std::string host = ProfileHostPath(file);
  if (host.empty()) {
    SetLastError(kErrorPathNotFound);
    return false;
  }
  std::string text;
  Status status = ReadProfile(host, &text);
  if (status != kErrorSuccess && status != kErrorFileNotFound) {
    SetLastError(status);
    return false;
  }
  ProfileDocument document(text);
  if (!edit(document)) return true;
  return ReplaceFile(host, document.Text());
}

}  // namespace

ProfileDocument LoadProfileDocument(const std::string& file) {
  std::string text;
  return ReadProfile(ProfileHostPath(file), &text) == kErrorSuccess ? ProfileDocument(text)
                                                                    : ProfileDocument();
}

std::uint32_t GetPrivateProfileString(const char* section, const char* key,
                                      const char* default_value, char* buffer, std::uint32_t size,
                                      const std::string& file) {
  if (!buffer || size == 0) return 0;
  ProfileDocument document = LoadProfileDocument(file);
  if (!section) return PackNameList(document.SectionNames(), buffer, size);
  if (!key) return PackNameList(document.KeyNames(section), buffer, size);
  std::optional<std::string> value = document.Get(section, key);
  return CopyProfileValue(value ? *value : TrimmedDefault(default_value), buffer, size);
}

std::uint32_t GetPrivateProfileInt(const char* section, const char* key, int default_value,
                                   const std::string& file) {
  if (!section || !key) return static_cast<std::uint32_t>(default_value);
  std::optional<std::string> value = LoadProfileDocument(file).Get(section, key);
  if (!value || value->empty()) return static_cast<std::uint32_t>(default_value);
  const char* text = value->c_str();
  bool negative = *text == '-';
  if (*text == '-' || *text == '+') ++text;
  std::uint32_t number = 0;
  for (; *text >= '0' && *text <= '9'; ++text)
    number = number * 10 + static_cast<std::uint32_t>(*text - '0');
  return negative ? 0u - number : number;
}

std::uint32_t GetPrivateProfileSection(const char* section, char* buffer, std::uint32_t size,
                                       const std::string& file) {
  if (!buffer || size == 0) return 0;
  std::vector<std::string> lines;
  if (section)
    for (const auto& [key, value] : LoadProfileDocument(file).Entries(section))
      lines.push_back(key + "=" + value);
  return PackNameList(lines, buffer, size);
}

std::uint32_t GetPrivateProfileSectionNames(char* buffer, std::uint32_t size,
                                            const std::string& file) {
  return GetPrivateProfileString(nullptr, nullptr, nullptr, buffer, size, file);
}

bool WritePrivateProfileString(const char* section, const char* key, const char* value,
                               const std::string& file) {
  if (!section) {
    if (!key && !value) return true;  // a flush; nothing is cached
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  return EditProfile(file, [&](ProfileDocument& document) {
    if (!key) {
      if (!document.HasSection(section)) return false;
      document.DeleteSection(section);
    } else if (!value) {
      if (!document.Get(section, key)) return false;
      document.DeleteKey(section, key);
    } else {
      document.Set(section, key, value);
    }
    return true;
  });
}

bool AppendPrivateProfileLine(const std::string& section, const std::string& key,
                              const std::string& value, const std::string& file) {
  return EditProfile(file, [&](ProfileDocument& document) {
    document.Append(section, key, value);
    return true;
  });
}

}  // namespace platform
