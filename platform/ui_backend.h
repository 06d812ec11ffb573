// What a user-interface backend provides. The common layer (ui.cc) owns the progress
// window's state, the transcript and the command queue; a backend only shows things
// and reports what the user did.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui.h"
#include "platform/ui_window.h"

namespace platform::ui::internal {

struct ProgressState {
  ProgressTemplate layout;
  std::string status;
  int percent = 0;
  bool visible = true;
};

class Backend {
 public:
  virtual ~Backend() = default;
  virtual const char* Name() const = 0;

  /// Shows a modal message box and returns the pressed button. Any thread.
  virtual int ShowMessageBox(const std::string& text, const std::string& caption,
                             std::uint32_t style) = 0;

  /// UI thread, from PumpMessages: bring the window in line with the state.
  virtual void ShowProgress(const ProgressState& state) = 0;
  virtual void UpdateProgress(const ProgressState& state) = 0;
  virtual void CloseProgress() = 0;

  /// UI thread: gathers user input; each Cancel or Enter goes to `post`.
  virtual void Poll(const std::function<void(Command)>& post) = 0;
  /// UI thread: sleeps until user input or a Wake(), at most `timeout_ms`.
  virtual void WaitForEvents(int timeout_ms);
  /// Any thread: there is something for the UI thread to deliver.
  virtual void Wake();

  virtual std::optional<std::string> BrowseForFile(const FileDialogRequest& request) = 0;
  virtual std::optional<std::string> BrowseForFolder(const std::string& prompt) = 0;
  virtual void Beep(std::int32_t /*type*/) {}
  /// Screen size in pixels.
  virtual int ScreenWidth() const { return 1024; }
  virtual int ScreenHeight() const { return 768; }
  /// Clipboard; backends without a system clipboard leave these to the common layer.
  virtual bool HasSystemClipboard() const { return false; }
  virtual std::optional<std::string> ClipboardText() { return std::nullopt; }
  virtual bool SetClipboard(const std::optional<std::string>& /*text*/) { return false; }

  /// Modeless text dialogs (ui_window.h), any thread; the window handle names them.
  virtual void ShowTextDialog(std::uintptr_t /*window*/, const TextDialogTemplate& /*dialog*/) {}
  virtual void CloseTextDialog(std::uintptr_t /*window*/) {}
  /// A thread runs a window message loop (true) or has left it (false): while it does,
  /// it is the user-interface thread, and other threads' boxes are shown through it.
  virtual void AttachMessageLoop(bool /*attached*/) {}
};

/// The backend in use (chosen on first use).
Backend& CurrentBackend();

/// Before a message box is shown: the disc arrivals ZOMA_UI_MEDIA asks for.
void BeforeMessageBox(const std::string& text);
/// Points the drive map entry of `letter` at a host directory (a disc put in).
void InsertMedium(char letter, const std::string& host_directory);

std::unique_ptr<Backend> CreateNoneBackend();
std::unique_ptr<Backend> CreateTextBackend();
/// Null when the windowed backend was not built in or no display can be opened.
std::unique_ptr<Backend> CreateGuiBackend();
/// True when standard error is a terminal the text backend can draw on.
bool TerminalAvailable();

/// UI thread, from a backend's nested modal loop: shows the progress window's latest
/// status and progress (user commands wait for the next PumpMessages).
void DeliverProgressUpdates();

/// Labels of a style's buttons in order, and their results.
struct Button {
  const char* label;
  int result;
};
std::vector<Button> ButtonsOf(std::uint32_t style);

}  // namespace platform::ui::internal
