// One channel through the update library: open a library session, send the request
// log, prepare, verify, check, update, clean up.
#include <cstring>

#include "updater/string_table.h"
#include "updater/update_engine.h"

namespace zoma {
namespace {

constexpr std::size_t kMaxProfileBytes = 4096;

int MRB_CALL EventCallback(std::uint16_t code, const char* text) {
  UpdateEngine* engine = UpdateEngine::Active();
  return engine ? engine->HandleEvent(code, text) : -1;
}

// The updater never supplies a text.
int MRB_CALL TextCallback(char*) { return -1; }

int MRB_CALL CredentialsCallback(char* buffer) {
  UpdateEngine* engine = UpdateEngine::Active();
  std::string credentials;
  if (engine) {
    Installation& installation = engine->installation();
    std::optional<std::string> password = installation.Password();
    if (password && !password->empty()) credentials = installation.ClientName() + ":" + *password;
  }
  // Cut to the library's buffer.
  std::size_t length = std::min(credentials.size(), std::size_t{MRB_CREDENTIALS_BUFFER_SIZE - 1});
  std::memcpy(buffer, credentials.data(), length);
  buffer[length] = '\0';
  return 0;
}

}  // namespace

bool UpdateEngine::SendRequestLog() {
  std::optional<std::vector<std::string>> lines = installation_.RequestLog();
  if (!lines) return false;
  for (const std::string& line : *lines) {
    // The length counts the terminating zero.
    if (library_->append_log(handle_, -1, line.c_str(),
                             static_cast<std::int32_t>(line.size() + 1)) != 0)
      return false;
  }
  return true;
}

bool UpdateEngine::RunChannel(const ChannelEntry& channel) {
  channel_ = channel;
  const std::string title = FormatResourceString(kStrUpdating, channel_.name);
  Log("=====| " + title);
  self_file_staged_ = 0;

  target_directory_ = ChannelTargetDirectory(channel_, installation_directory_,
                                             system_.WindowsDirectory(), system_.SystemDirectory());
  if (!library_ || !system_.CreateDirectoryTree(target_directory_)) return true;

  const std::string user_agent = installation_.UserAgent();
  const std::string url = ChannelUrl(server_, channel_.name);
  handle_ = nullptr;
  MrbInitRecord init{};
  init.target_directory = target_directory_.c_str();
  init.event_callback = EventCallback;
  init.text_callback = TextCallback;
  init.credentials = CredentialsCallback;
  init.user_agent = user_agent.c_str();
  init.handle_out = &handle_;
  init.options = (channel_.flags & kChannelStrict) ? 9 : 1;
  init.channel_url = url.c_str();
  init.reserved = 0;
  handle_ = library_->init_update(&init);
  if (!handle_) {
    ReportFailure("mrbInitUpdate failed -- aborting");
    return true;  // counts as run: the caller retries unless connected
  }

  const bool result = SendRequestLog() ? PrepareAndUpdate() : ReportFailure("mrbAppendLog failed");
  library_->term_update(handle_);
  handle_ = nullptr;
  SetPhase(Phase::kNone);
  return result;
}

bool UpdateEngine::ReportFailure(const char* text) {
  Log(text);
  Error(text);
  return false;
}

void UpdateEngine::SetPhase(Phase phase) { phase_ = static_cast<std::uint32_t>(phase); }

bool UpdateEngine::PrepareAndUpdate() {
  SetPhase(Phase::kPrepare);
  const int mode = (channel_.flags & kChannelStrict) ? 3 : 2;
  if (library_->is_prepare_needed(handle_) != 0 || mode == 2) {
    Status("Preparing for update...");
    if (library_->prepare_ex(handle_, mode, 0, 0) != 0) return ReportFailure("mrbPrepareEx failed");
  }
  std::optional<std::string> profile_path;
  if (channel_.flags & kChannelProfile) {
    profile_path = target_directory_ + "\\.castanet\\index.mrb";
    Log("Using a profile for this channel.");
  }
  library_->remove_property(handle_, "http.proxy");
  library_->remove_property(handle_, "socks.proxy");

  SetPhase(Phase::kVerify);
  if (mode == 3) {
    Status("Verifying directory contents...");
    library_->verify_ex(handle_, 3);
  }

  CheckAndUpdate(profile_path);
  CleanUpChannel();
  return true;
}

void UpdateEngine::CheckAndUpdate(const std::optional<std::string>& profile_path) {
  std::optional<std::string> profile;
  if (profile_path) profile = system_.ReadFileHead(*profile_path, kMaxProfileBytes);
  SetPhase(Phase::kAvailability);
  Status("Checking for update...");
  std::uint32_t bytes = 0;
  const bool available = library_->is_update_available(handle_, &bytes) != 0;
  update_size_ = bytes;
  if (!DiskSpaceCheck(bytes)) {
    ready_ = 0;
    succeeded_ = 0;
    failed_ = 1;
    stopped_ = 1;
    return;
  }
  if (channel_refused_ || (!available && !force_update_)) return;

  int outcome = MRB_UPDATE_FAILED;
  if (SendRequestLog()) {
    SetPhase(Phase::kUpdate);
    outcome = profile ? library_->update(handle_, profile->data(),
                                         static_cast<std::int32_t>(profile->size()))
                      : library_->update(handle_, nullptr, 0);
  } else {
    ReportFailure("mrbAppendLog failed");
  }
  if (outcome == MRB_UPDATE_FAILED && !Succeeded()) {
    const char* failed = LoadResourceString(kStrUpdateFailed);
    Log(failed);
    Status(failed);
    Error(failed);
  } else if (outcome == MRB_UPDATE_CANCELED) {
    const char* canceled = LoadResourceString(kStrUpdateCanceled);
    Log(canceled);
    Status(canceled);
  }
}

void UpdateEngine::CleanUpChannel() {
  if ((channel_.flags & kChannelClean) && !Stopped()) {
    SetPhase(Phase::kClean);
    library_->clean(handle_);
  }
  if (channel_.flags & kChannelHideState) {
    system_.SetHidden(target_directory_ + "\\.castanet");
    system_.SetHidden(target_directory_ + "\\properties.txt");
  }
  if ((channel_.flags & kChannelRemoveFiles) && !Stopped()) RemoveChannelFiles();
}

void UpdateEngine::RemoveChannelFiles() {
  if (channel_.flags & kChannelStrict) {
    system_.RemoveDirectoryTree(target_directory_);
    system_.RemoveDirectory(installation_directory_ + "\\Channels");
  } else {
    system_.RemoveDirectoryTree(target_directory_ + "\\.castanet");
    system_.DeleteFile(target_directory_ + "\\properties.txt");
  }
}

}  // namespace zoma
