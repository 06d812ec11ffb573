// The update engine: one update session at a time on a thread of its own, bringing
// every channel of the chosen table up to date through the update library, with the
// session flags that the UI thread polls. ClientUpdater (client_updater.h) supplies the
// installation's answers; the event callback (update_events.cc) reports back here.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "updater/installation.h"
#include "updater/update_library.h"
#include "updater/update_log.h"
#include "updater/update_sources.h"

namespace zoma {

/// What a session shows; the progress window implements it. Every call may come from
/// the update thread.
class SessionDisplay {
 public:
  virtual ~SessionDisplay() = default;
  virtual void Status(const std::string& text) = 0;
  virtual void Progress(int percent) = 0;
  /// The "Update Error" box.
  virtual void Error(const std::string& text) = 0;
  virtual std::string TimeRemainingText(int percent) = 0;
  /// True to go on with an update of `bytes_needed` bytes, false to stop.
  virtual bool DiskSpaceCheck(std::uint32_t bytes_needed) = 0;
};

/// What the progress window may do to a session: finish it at once (Enter) or stop it
/// (Cancel, then Yes).
class SessionControl {
 public:
  virtual ~SessionControl() = default;
  virtual void FinishNow() = 0;
  virtual void MarkStopped() = 0;
};

/// The library operation in progress; the event callback reads messages by it.
enum class Phase : std::uint32_t {
  kUpdate = 0,
  kUndo = 1,
  kClean = 2,
  kNone = 3,
  kVerify = 4,
  kPrepare = 5,
  kAvailability = 6,
};

class UpdateEngine : public SessionControl {
 public:
  /// `installation` answers for the installation being updated; it must outlive the
  /// engine. None: an installation with nothing to update.
  UpdateEngine(SystemServices& system, UpdateLog& log, Installation* installation = nullptr);
  virtual ~UpdateEngine();
  UpdateEngine(const UpdateEngine&) = delete;
  UpdateEngine& operator=(const UpdateEngine&) = delete;

  /// The engine the library's callbacks report to (the one created last).
  static UpdateEngine* Active();

  void SetLibrary(const UpdateLibrary* library) { library_ = library; }
  /// May be null: nothing is shown then.
  void SetDisplay(SessionDisplay* display) { display_ = display; }

  // Starting sessions (UI thread).
  /// Does nothing unless ready; otherwise waits for the previous update thread, clears
  /// ready and runs the session on a new one.
  void StartSession(const std::string& name);
  /// Waits for the update thread to end.
  void JoinThread();

  // Session flags, each a single 32-bit word.
  bool Busy() const { return ready_ == 0; }
  bool Succeeded() const { return succeeded_ != 0; }
  bool Failed() const { return failed_ != 0; }
  bool Stopped() const { return stopped_ != 0; }
  bool Connected() const { return connected_ != 0; }
  bool SelfFileStaged() const { return self_file_staged_ != 0; }
  Phase CurrentPhase() const { return static_cast<Phase>(phase_.load()); }
  void MarkStopped() override { stopped_ = 1; }
  void MarkSucceeded();
  /// Enter on the progress window: the pass counts as done from now on.
  void FinishNow() override;
  void SetForceUpdate(bool force) { force_update_ = force ? 1 : 0; }
  /// Before a pass that must run again: the last one counts as failed, and every
  /// channel updates whether or not the library sees a change.
  void PrepareRepeatedPass();
  /// The retry pauses: the first, doubled per attempt up to the cap (milliseconds).
  void SetRetryPause(int first_ms, int cap_ms);

  Installation& installation() { return installation_; }
  /// Registry handles are closed after every use; nothing is held here to close.
  void CloseRegistryHandles() {}

  // Display: each ignores a missing window.
  void ReportProgress(int percent);
  void Error(const std::string& text);
  void Status(const std::string& text);
  std::string TimeRemainingText(int percent);
  bool DiskSpaceCheck(std::uint32_t bytes_needed);

  void Log(const std::string& text) { log_.Write(text); }

  /// The library's event callback, for the active engine.
  int HandleEvent(std::uint16_t code, const char* text);

 protected:
  /// The thread body: server and table, installation directory, then the channels.
  void ThreadBody();
  void RunSession(const std::string& directory, const std::vector<ChannelEntry>& channels);
  /// One attempt at one channel; false when the request log or the preparation failed.
  bool RunChannel(const ChannelEntry& channel);
  /// Preparation, verification, the check and the update, the clean-up; false when the
  /// preparation failed.
  bool PrepareAndUpdate();
  void CheckAndUpdate(const std::optional<std::string>& profile_path);
  void CleanUpChannel();
  /// Logs the text and shows it in the error box; false.
  bool ReportFailure(const char* text);
  void SetPhase(Phase phase);
  void RemoveChannelFiles();
  void EndSession(bool succeeded, bool failed);
  bool SendRequestLog();
  void PauseBeforeRetry(int attempt);

  // Event handling (update_events.cc).
  int HandleErrorEvent(std::uint16_t code, const char* text, bool* handled);
  int HandleUpdateEvent(std::uint16_t code, const char* text);
  void HandleOperationEvent(std::uint16_t code, const char* text);
  int InstallFile(const char* text);
  void HandlePercent(const char* text);

  SystemServices& system_;
  UpdateLog& log_;
  Installation& installation_;
  const UpdateLibrary* library_ = nullptr;
  SessionDisplay* display_ = nullptr;

  std::atomic<std::uint32_t> ready_{1};
  std::atomic<std::uint32_t> succeeded_{0};
  std::atomic<std::uint32_t> failed_{0};
  std::atomic<std::uint32_t> stopped_{0};
  std::atomic<std::uint32_t> connected_{0};
  std::atomic<std::uint32_t> self_file_staged_{0};
  std::atomic<std::uint32_t> force_update_{0};
  std::atomic<std::uint32_t> phase_{static_cast<std::uint32_t>(Phase::kNone)};
  static_assert(std::atomic<std::uint32_t>::is_always_lock_free);

  std::thread thread_;
  int retry_pause_first_ms_ = 500;
  int retry_pause_cap_ms_ = 4000;

  // Chosen per session.
  std::string server_;

  std::string installation_directory_;

  // Per channel: a copy of the entry being updated, for the event callback.
  ChannelEntry channel_{};
  std::string target_directory_;
  MrbHandle handle_ = nullptr;
  std::uint32_t update_size_ = 0;

  // Event state, kept for the whole process.
  bool transferring_ = false;
  bool first_transfer_seen_ = false;
  bool channel_refused_ = false;  // the library refused the channel's documents
  int last_logged_percent_ = 1000;
  unsigned percent_events_ = 0;
};

}  // namespace zoma
