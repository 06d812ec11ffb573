// Reading and writing a channel's local state.
#include "updatelib/channel_state.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "updatelib/channel/crypto.h"
#include "updatelib/channel/file_io.h"
#include "updatelib/channel/manifest.h"
#include "updatelib/channel/text_fields.h"

namespace castanet {

static constexpr std::string_view kStateMagic = "castanet-state 1";

std::string ChannelKey(const std::string& channel) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string key;
  for (unsigned char c : channel) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
        c == '_' || c == '-') {
      key += static_cast<char>(c);
    } else {
      key += '%';
      key += kDigits[c >> 4];
      key += kDigits[c & 15];
    }
  }
  if (key.empty() || key == "." || key == "..") key = "%2E" + key;
  return key;
}

int64_t StatMtimeNs(const struct stat& info) {
  return static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

ChannelState::ChannelState(std::string target, std::string channel)
    : target_(std::move(target)),
      channel_(std::move(channel)),
      directory_(target_ + "/.castanet/" + ChannelKey(channel_)) {}

ChannelState ChannelState::ForKey(const std::string& target, const std::string& key) {
  ChannelState state(target, "");
  state.directory_ = target + "/.castanet/" + key;
  return state;
}

ChannelState::ChannelState(ChannelState&& other) noexcept
    : target_(std::move(other.target_)),
      channel_(std::move(other.channel_)),
      directory_(std::move(other.directory_)),
      lock_fd_(other.lock_fd_) {
  other.lock_fd_ = -1;
}

ChannelState::~ChannelState() { Unlock(); }

bool ChannelState::Create(std::string* error) const {
  return MakeDirectories(directory_ + "/holding", error) &&
         MakeDirectories(directory_ + "/txn/new", error) &&
         MakeDirectories(directory_ + "/txn/old", error);
}

bool ChannelState::Exists() const {
  struct stat info;
  return stat(Path("state").c_str(), &info) == 0;
}

bool ChannelState::Load(InstalledState* state, std::string* error) const {
  *state = InstalledState();
  std::string text;
  if (!ReadWholeFile(Path("state"), &text, error, UINT64_C(1) << 30)) {
    struct stat info;
    if (stat(Path("state").c_str(), &info) != 0 && errno == ENOENT) {
      error->clear();
      return true;
    }
    return false;
  }
  int line_number = 0;
  bool ok = true;
  ForEachLine(text, [&](std::string_view line) {
    line_number++;
    if (line_number == 1) return ok = line == kStateMagic;
    std::vector<std::string_view> words = SplitFields(line, 5);
    if (words.empty()) return true;
    if (words[0] == "manifest" && words.size() == 3) {
      ok = IsSha256Hex(words[1]) && ParseUint64(words[2], &state->version);
      state->manifest_sha256 = std::string(words[1]);
    } else if (words[0] == "file" && words.size() == 5) {
      InstalledFile file;
      uint64_t mtime = 0;
      ok = ParseUint64(words[1], &file.size) && ParseUint64(words[2], &mtime) &&
           IsSha256Hex(words[3]) && IsSafeChannelPath(words[4]);
      file.mtime_ns = static_cast<int64_t>(mtime);
      file.sha256 = std::string(words[3]);
      state->files[PathKey(words[4])] = {std::string(words[4]), file};
    } else {
      ok = false;
    }
    return ok;
  });
  if (!ok) {
    *error = Path("state") + ": corrupt at line " + std::to_string(line_number);
    *state = InstalledState();
    return false;
  }
  return true;
}

bool ChannelState::Save(const InstalledState& state, std::string* error) const {
  std::string text = std::string(kStateMagic) + "\n";
  if (!state.manifest_sha256.empty()) {
    text += "manifest " + state.manifest_sha256 + " " + std::to_string(state.version) + "\n";
  }
  for (const auto& [key, entry] : state.files) {
    const InstalledFile& file = entry.second;
    text += "file " + std::to_string(file.size) + " " +
            std::to_string(file.mtime_ns < 0 ? 0 : file.mtime_ns) + " " + file.sha256 + " " +
            entry.first + "\n";
  }
  return WriteFileAtomically(Path("state"), text, error);
}

bool ChannelState::Lock(int timeout_ms) {
  if (lock_fd_ >= 0) return true;
  std::string error;
  if (!MakeDirectories(directory_, &error)) return false;
  int fd = open(Path("lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      close(fd);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  lock_fd_ = fd;
  return true;
}

void ChannelState::Unlock() {
  if (lock_fd_ >= 0) close(lock_fd_);
  lock_fd_ = -1;
}

}  // namespace castanet
