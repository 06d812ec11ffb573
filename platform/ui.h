// The user-interface layer: message boxes, the progress window, file and folder
// dialogs, the clipboard, beeps, screen metrics and the message pump, with three
// backends chosen by ZOMA_UI (gui, text, none) or by what is available:
//   gui   a display is present and the windowed backend was built in;
//   text  standard error is a terminal;
//   none  otherwise: nothing is shown, each message box takes the next answer from
//         ZOMA_UI_ANSWERS (e.g. "IDYES,IDOK") or its default button.
// Every backend appends one line per message box, status text, progress change and
// window event to the file named by ZOMA_UI_LOG (see ui_transcript.h for the format).
// ZOMA_UI_PRESS=Command@Status text (several joined by '|') presses Cancel or Enter
// on the progress window when that status text first appears, so tests can drive every
// flow.
// ZOMA_UI_MEDIA=D:@Message text (or D:=/host/dir@Message text, several joined by '|')
// puts a disc in drive D: when a message box with that text first appears: the drive
// map entry is pointed at the directory when one is given, and the shell asks the
// windows whether to cancel AutoPlay (ui_window.h).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace platform::ui {

// MessageBox styles, as Win32 numbers them.
inline constexpr std::uint32_t kMbOk = 0x0;
inline constexpr std::uint32_t kMbOkCancel = 0x1;
inline constexpr std::uint32_t kMbAbortRetryIgnore = 0x2;
inline constexpr std::uint32_t kMbYesNoCancel = 0x3;
inline constexpr std::uint32_t kMbYesNo = 0x4;
inline constexpr std::uint32_t kMbRetryCancel = 0x5;
inline constexpr std::uint32_t kMbTypeMask = 0xF;
inline constexpr std::uint32_t kMbIconStop = 0x10;
inline constexpr std::uint32_t kMbIconQuestion = 0x20;
inline constexpr std::uint32_t kMbIconExclamation = 0x30;
inline constexpr std::uint32_t kMbIconInformation = 0x40;
inline constexpr std::uint32_t kMbIconMask = 0xF0;
inline constexpr std::uint32_t kMbDefButton2 = 0x100;
inline constexpr std::uint32_t kMbDefButton3 = 0x200;
inline constexpr std::uint32_t kMbDefMask = 0xF00;
inline constexpr std::uint32_t kMbSystemModal = 0x1000;
inline constexpr std::uint32_t kMbTaskModal = 0x2000;
inline constexpr std::uint32_t kMbSetForeground = 0x10000;
inline constexpr std::uint32_t kMbRight = 0x80000;

// MessageBox results.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdAbort = 3;
inline constexpr int kIdRetry = 4;
inline constexpr int kIdIgnore = 5;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

/// "IDOK" ... "IDNO" for a result code, "ID<n>" for others.
std::string ResultName(int id);
/// The result code for "IDYES", "yes", "6", ...; 0 when the text names none.
int ResultFromName(const std::string& name);
/// The button a style's default marker selects (the first button without one).
int DefaultResult(std::uint32_t style);

/// What the user asks of a progress window; delivered on the UI thread by PumpMessages.
enum class Command { kCancel, kEnter };

/// The progress window's fixed contents.
struct ProgressTemplate {
  std::string caption;
  std::string initial_status;
  std::string cancel_label = "&Cancel";
};

/// A modeless progress window. Status, progress, hide and close may be called from any
/// thread: they reach the window through the UI thread's message pump.
class ProgressWindow {
 public:
  virtual ~ProgressWindow() = default;
  virtual void SetStatus(const std::string& text) = 0;
  virtual void SetProgress(int percent) = 0;
  virtual void Hide() = 0;
  virtual void Close() = 0;
  /// False once closed.
  virtual bool Exists() const = 0;
};

/// Creates and shows the progress window. `on_command` runs on the UI thread, inside
/// PumpMessages, for every Cancel or Enter the user gives.
std::shared_ptr<ProgressWindow> CreateProgressWindow(const ProgressTemplate& layout,
                                                     std::function<void(Command)> on_command);

/// A modal message box; `owner` may be null. Safe from any thread.
int MessageBox(const ProgressWindow* owner, const std::string& text, const std::string& caption,
               std::uint32_t style);

/// Delivers pending window updates and user commands; returns at once.
void PumpMessages();
/// Sleeps until there is user input or a window update from another thread, at most
/// `timeout_ms`, then delivers what is pending as PumpMessages does.
void WaitForMessages(int timeout_ms);

/// Common dialogs; nullopt when the user cancels (and always in the none backend
/// unless ZOMA_UI_ANSWERS supplies a path as "path:C:\dir\file").
struct FileDialogRequest {
  bool save = false;
  std::string title;
  std::string filter;  // description\0pattern\0...\0\0 as Win32 takes it
  std::string initial_directory;
  std::string initial_file;
  std::uint32_t flags = 0;
};
std::optional<std::string> BrowseForFile(const FileDialogRequest& request);
std::optional<std::string> BrowseForFolder(const std::string& prompt);

/// The clipboard's text (process-wide in the none and text backends).
std::optional<std::string> GetClipboardText();
bool SetClipboardText(const std::optional<std::string>& text);

/// MessageBeep with a Win32 beep type; PlaySound with a file name (may be empty).
void MessageBeep(std::int32_t type);
bool PlaySound(const std::string& sound, std::uint32_t flags);

/// GetSystemMetrics for a Win32 metric index (0 for unknown ones).
int GetSystemMetrics(int index);

/// The backend in use: "gui", "text" or "none".
std::string BackendName();

}  // namespace platform::ui
