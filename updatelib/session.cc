// Session set-up and the small calls: request log, properties, holding-area lookup,
// preparation, verification and cleaning.
#include "updatelib/session.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <set>

#include "platform/short_names.h"
#include "updatelib/channel/crypto.h"
#include "updatelib/channel/file_io.h"
#include "updatelib/host_path.h"
#include "updatelib/journal.h"
#include "updatelib/properties.h"

namespace castanet {
namespace {

// Splits "http://host[:port]/a/b" into the channel name "a/b".
bool ChannelFromUrl(const std::string& url, std::string* channel) {
  size_t scheme = url.find("://");
  if (scheme == std::string::npos) return false;
  std::string lower = PathKey(url.substr(0, scheme));
  if (lower != "http" && lower != "https") return false;
  size_t path = url.find('/', scheme + 3);
  if (path == std::string::npos || path == scheme + 3) return false;
  std::string name = url.substr(path + 1);
  while (!name.empty() && name.back() == '/') name.pop_back();
  if (name.empty() || name.find_first_of("?#") != std::string::npos) return false;
  *channel = name;
  return true;
}

// Request-log lines travel in one header: each line percent-escaped where it could
// break the header or the list, lines joined by ", ".
std::string EscapeLogLine(const std::string& line) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : line) {
    if (c < 0x20 || c >= 0x7f || c == '%' || c == ',') {
      out += '%';
      out += kDigits[c >> 4];
      out += kDigits[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace

std::unique_ptr<Session> Session::Create(const SessionConfig& config, std::string* error) {
  std::string channel;
  if (!config.event) {
    *error = "no event callback";
    return nullptr;
  }
  if (config.target.empty()) {
    *error = "no target directory";
    return nullptr;
  }
  if (!ChannelFromUrl(config.channel_url, &channel)) {
    *error = "not a channel URL: " + config.channel_url;
    return nullptr;
  }
  std::string base = config.channel_url;
  while (!base.empty() && base.back() == '/') base.pop_back();
  return std::unique_ptr<Session>(new Session(config, channel, base + "/"));
}

Session::Session(const SessionConfig& config, std::string channel, std::string base_url)
    : config_(config),
      http_(config.http ? config.http : &CurlHttpClient()),
      channel_(std::move(channel)),
      base_url_(std::move(base_url)),
      state_(config.target, channel_) {}

int Session::Emit(int code, const std::string& text) {
  if (cancelled_) return -1;
  int answer = config_.event(static_cast<uint16_t>(code), text.c_str());
  return answer == 0 ? 0 : -1;
}

bool Session::Fail(int code, const std::string& text) {
  Emit(code, text);
  return false;
}

int Session::AppendLog(const std::string& line) {
  // The updater sends the same lines again before the update; once is enough.
  std::string escaped = EscapeLogLine(line);
  for (const std::string& existing : log_lines_) {
    if (existing == escaped) return 0;
  }
  if (log_lines_.size() >= 256) return 1;
  log_lines_.push_back(escaped);
  return 0;
}

TransferSettings Session::MakeTransferSettings() {
  TransferSettings settings;
  settings.user_agent = config_.user_agent;
  if (config_.credentials) {
    std::vector<char> buffer(MRB_CREDENTIALS_BUFFER_SIZE + 1, '\0');
    config_.credentials(buffer.data());
    buffer.back() = '\0';
    settings.credentials = buffer.data();
  }
  // Servers refuse long header lines (nginx: 8 KB); lines past the limit are not sent.
  constexpr size_t kMaxLogHeader = 6000;
  for (const std::string& line : log_lines_) {
    if (settings.log_header.size() + line.size() + 2 > kMaxLogHeader) break;
    if (!settings.log_header.empty()) settings.log_header += ", ";
    settings.log_header += line;
  }
  std::string properties = state_.TargetPath("properties.txt");
  if (auto proxy = castanet::GetProperty(properties, "http.proxy"); proxy && !proxy->empty()) {
    settings.proxy = proxy->find("://") == std::string::npos ? "http://" + *proxy : *proxy;
  } else if (auto socks = castanet::GetProperty(properties, "socks.proxy");
             socks && !socks->empty()) {
    settings.proxy = socks->find("://") == std::string::npos ? "socks5h://" + *socks : *socks;
  }
  return settings;
}

const char* Session::GetProperty(const std::string& name) {
  auto value = castanet::GetProperty(state_.TargetPath("properties.txt"), name);
  if (!value) return nullptr;
  property_value_ = *value;
  return property_value_.c_str();
}

int Session::RemoveProperty(const std::string& name) {
  std::string error;
  return castanet::RemoveProperty(state_.TargetPath("properties.txt"), name, &error) ? 0 : 1;
}

int Session::LookupHoldingAreaFile(char* buffer, int32_t size) {
  if (!buffer || size <= 0) return 1;
  std::string name(buffer, strnlen(buffer, size));
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  auto it = staged_files_.find(PathKey(name));
  if (it == staged_files_.end()) return 1;
  std::string path = CallerPathFromHost(it->second);
  if (path.size() + 1 > static_cast<size_t>(size)) return 1;
  std::memcpy(buffer, path.c_str(), path.size() + 1);
  return 0;
}

int Session::IsPrepareNeeded() {
  struct stat info;
  if (stat(state_.Path("journal").c_str(), &info) == 0) return 1;
  return state_.Exists() ? 0 : 1;
}

bool Session::OpenChannel() {
  std::string error;
  if (!state_.Lock(60000)) return Fail(CASTANET_ERROR_LOCKED, channel_);
  if (!state_.Create(&error)) {
    return Fail(IsDiskFullErrno(errno) ? CASTANET_ERROR_DISK_FULL : CASTANET_ERROR_BAD_STATE,
                error);
  }
  InstalledState installed;
  if (!state_.Load(&installed, &error)) {
    // A damaged state is set aside; the next update hashes the files again.
    rename(state_.Path("state").c_str(), state_.Path("state.damaged").c_str());
    installed = InstalledState();
  }
  InstallJournal journal(state_);
  bool recovered = false;
  if (!journal.Recover(
          installed.manifest_sha256,
          [this](int code, const std::string& path) { Emit(code, path); }, &recovered, &error)) {
    return Fail(CASTANET_ERROR_INSTALL_FAILED, error);
  }
  return true;
}

int Session::Prepare(int mode) {
  if (!OpenChannel()) return 1;
  // Leftovers of decoding that a kill interrupted.
  std::vector<std::string> names;
  platform::ReadDirectoryNames(state_.Path("holding"), &names);
  for (const std::string& name : names) {
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0) {
      unlink(state_.HoldingPath(name).c_str());
    }
  }
  if (mode != MRB_MODE_STRICT) return 0;
  // Strict mode: trust nothing the state remembers about the files; hash them again.
  InstalledState installed;
  std::string error;
  state_.Load(&installed, &error);
  uint64_t hashed = 0;
  for (auto& [key, entry] : installed.files) {
    InstalledFile& file = entry.second;
    std::string host = state_.TargetPath(entry.first);
    struct stat info;
    uint64_t size = 0;
    if (lstat(host.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        !HashFile(host, &file.sha256, &size, &error)) {
      file.mtime_ns = 0;  // missing or unreadable: the update looks again
      continue;
    }
    file.size = size;
    file.mtime_ns = StatMtimeNs(info);
    hashed += size;
    if (Emit(CASTANET_PREPARE_FILE, entry.first) != 0) return 1;
  }
  Emit(CASTANET_PROGRESS_UPDATE, std::to_string(hashed));
  return state_.Save(installed, &error) ? 0 : 1;
}

int Session::Verify(int mode) {
  InstalledState installed;
  std::string error;
  if (!OpenChannel() || !state_.Load(&installed, &error)) return 1;
  int problems = 0;
  bool changed = false;
  for (auto& [key, entry] : installed.files) {
    const std::string& path = entry.first;
    InstalledFile& file = entry.second;
    std::string host = state_.TargetPath(path);
    struct stat info;
    int event = 0;
    if (lstat(host.c_str(), &info) != 0) {
      event = CASTANET_VERIFY_MISSING;
    } else if (S_ISDIR(info.st_mode)) {
      event = CASTANET_VERIFY_NOT_FILE;
    } else if (access(host.c_str(), R_OK) != 0) {
      event = CASTANET_VERIFY_CANT_READ;
    } else if (mode == MRB_MODE_STRICT || StatMtimeNs(info) != file.mtime_ns ||
               static_cast<uint64_t>(info.st_size) != file.size) {
      std::string sha;
      uint64_t size = 0;
      if (!HashFile(host, &sha, &size, &error)) {
        event = CASTANET_VERIFY_READ_ERROR;
      } else if (sha != file.sha256 || size != file.size) {
        event = CASTANET_VERIFY_MODIFIED;
      } else if (StatMtimeNs(info) != file.mtime_ns) {
        file.mtime_ns = StatMtimeNs(info);  // touched, not changed
        changed = true;
      }
    }
    if (event != 0) {
      problems++;
      // Forget what the state knew, so that the next update looks at the file afresh.
      file.mtime_ns = 0;
      changed = true;
      if (Emit(event, path) != 0) break;
    }
  }
  if (changed) state_.Save(installed, &error);
  return problems;
}

int Session::Clean() {
  // Keep what the current (or installed) manifest can still use; drop everything else.
  std::set<std::string> wanted;
  InstalledState installed;
  std::string error;
  if (!OpenChannel()) return 1;
  state_.Load(&installed, &error);
  // Without a checked manifest of this session nothing tells what is still useful, so
  // only decoding leftovers go.
  bool know_wanted = fetched_ && fetch_error_ == 0;
  if (know_wanted) {
    for (const ManifestFile& file : manifest_.files) wanted.insert(file.sha256);
  }
  std::set<std::string> installed_contents;
  for (const auto& [key, entry] : installed.files) installed_contents.insert(entry.second.sha256);
  std::vector<std::string> names;
  if (platform::ReadDirectoryNames(state_.Path("holding"), &names)) {
    for (const std::string& name : names) {
      std::string sha = name.substr(0, 64);
      if (name.size() > 129 && name[64] == '-') sha = name.substr(65, 64);  // patch: its result
      bool leftover = name.find(".tmp") != std::string::npos;
      bool keep =
          !leftover && (!know_wanted || (wanted.count(sha) && !installed_contents.count(sha)));
      if (!keep) unlink(state_.HoldingPath(name).c_str());
    }
  }
  // Cached manifests other than the installed and the current one.
  if (know_wanted && platform::ReadDirectoryNames(state_.directory(), &names)) {
    for (const std::string& name : names) {
      if (name.rfind("manifest-", 0) != 0) continue;
      std::string sha = name.substr(9);
      if (sha != installed.manifest_sha256 && sha != manifest_sha256_) {
        unlink(state_.Path(name).c_str());
      }
    }
  }
  return 0;
}

}  // namespace castanet
