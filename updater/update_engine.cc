// The update session: the thread, the session flags and the walk over the channel
// table with its retries.
#include "updater/update_engine.h"

#include <algorithm>

#include "platform/ascii.h"

namespace zoma {
namespace {

std::atomic<UpdateEngine*> active_engine{nullptr};

std::string WithoutLineEnds(std::string text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
  return text;
}

Installation& NoInstallation() {
  static Installation* none = new Installation();
  return *none;
}

}  // namespace

UpdateEngine::UpdateEngine(SystemServices& system, UpdateLog& log, Installation* installation)
    : system_(system), log_(log), installation_(installation ? *installation : NoInstallation()) {
  active_engine = this;
}

UpdateEngine::~UpdateEngine() {
  JoinThread();
  UpdateEngine* self = this;
  active_engine.compare_exchange_strong(self, nullptr);
}

UpdateEngine* UpdateEngine::Active() { return active_engine; }

void UpdateEngine::StartSession(const std::string& name) {
  if (ready_ != 1) return;
  // A thread whose pass was finished early (Enter) may still be running, and its last
  // act sets ready: it ends before the flags are cleared, or the UI thread would take
  // its result for the new pass's.
  JoinThread();
  ready_ = 0;
  static_cast<void>(name);  // every session updates the installation's table
  thread_ = std::thread([this] { ThreadBody(); });
}

void UpdateEngine::JoinThread() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void UpdateEngine::MarkSucceeded() {
  succeeded_ = 1;
  failed_ = 0;
}

void UpdateEngine::PrepareRepeatedPass() {
  succeeded_ = 0;
  failed_ = 1;
  stopped_ = 0;
  ready_ = 1;
  force_update_ = 1;
}

void UpdateEngine::FinishNow() {
  succeeded_ = 1;
  ready_ = 1;
}

void UpdateEngine::SetRetryPause(int first_ms, int cap_ms) {
  retry_pause_first_ms_ = first_ms;
  retry_pause_cap_ms_ = cap_ms;
}

void UpdateEngine::ReportProgress(int percent) {
  if (display_) display_->Progress(percent);
}

void UpdateEngine::Error(const std::string& text) {
  if (display_) display_->Error(WithoutLineEnds(text));
}

void UpdateEngine::Status(const std::string& text) {
  if (display_) display_->Status(WithoutLineEnds(text));
}

std::string UpdateEngine::TimeRemainingText(int percent) {
  return display_ ? display_->TimeRemainingText(percent) : std::string();
}

bool UpdateEngine::DiskSpaceCheck(std::uint32_t bytes_needed) {
  return display_ ? display_->DiskSpaceCheck(bytes_needed) : true;
}

// The flags are written before ready, which the UI thread polls first.
void UpdateEngine::EndSession(bool succeeded, bool failed) {
  succeeded_ = succeeded ? 1 : 0;
  failed_ = failed ? 1 : 0;
  ready_ = 1;
  if (installation_.EveryPassSucceeds()) MarkSucceeded();
}

void UpdateEngine::ThreadBody() {
  UpdateSources sources = installation_.SelectSources();
  server_ = sources.server;
  std::optional<std::string> directory = installation_.InstallationDirectory();
  if (!directory) {
    // "Update Complete: Unnecessary for this game." has no line in the window.
    EndSession(true, false);
    return;
  }
  if (directory->empty()) {
    Error(
        "Game not installed.  Please ensure the game has been installed on your system before "
        "starting the ZOMA Software.");
    EndSession(false, true);
    return;
  }
  RunSession(*directory, sources.channels);
}

void UpdateEngine::RunSession(const std::string& directory,
                              const std::vector<ChannelEntry>& channels) {
  ready_ = 0;
  succeeded_ = 0;
  failed_ = 0;
  stopped_ = 0;
  connected_ = 0;
  self_file_staged_ = 0;
  installation_directory_ = directory;
  if (!system_.CreateDirectoryTree(directory)) {
    // Neither succeeded nor failed: the UI thread reports it as a failed pass.
    ready_ = 1;
    if (installation_.EveryPassSucceeds()) MarkSucceeded();
    return;
  }
  for (const ChannelEntry& entry : channels) {
    for (int attempt = 0;; ++attempt) {
      connected_ = 0;
      transferring_ = false;
      first_transfer_seen_ = false;
      channel_refused_ = false;
      bool ran = RunChannel(entry);
      // A refused channel is not retried, and the pass is not a success: the user has
      // been told, and the client must not start as if it were up to date.
      if (channel_refused_) {
        EndSession(false, true);
        return;
      }
      // A stop by the user ends the session whatever the channel answered; retrying
      // would only meet refusals until the end of time.
      if (Stopped() || (!ran && Connected())) {
        EndSession(false, true);
        return;
      }
      if (ran && Connected()) break;
      Status("Retrying channel...");
      Log("Retrying channel: " + entry.name + "...");
      PauseBeforeRetry(attempt);
      if (Stopped()) {
        EndSession(false, true);
        return;
      }
    }
    ReportProgress(entry.progress_start + entry.progress_span);
  }
  EndSession(true, false);
}

// A server that cannot be reached is not asked again at once: the pause grows with each
// attempt up to the cap, and ends early when the user stops.
void UpdateEngine::PauseBeforeRetry(int attempt) {
  long long pause = retry_pause_first_ms_;
  for (int i = 0; i < attempt && pause < retry_pause_cap_ms_; ++i) pause *= 2;
  pause = std::min<long long>(pause, retry_pause_cap_ms_);
  constexpr int kSliceMs = 50;
  for (long long waited = 0; waited < pause && !Stopped(); waited += kSliceMs)
    system_.Sleep(static_cast<int>(std::min<long long>(kSliceMs, pause - waited)));
}

}  // namespace zoma
