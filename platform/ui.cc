// The user-interface layer's common part: backend choice, the progress window's state
// shared between the update thread and the UI thread, the command queue, the
// transcript and the scripted presses.
#include "platform/ui.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

#include "platform/ui_backend.h"
#include "platform/ui_transcript.h"

namespace platform::ui {
namespace {

using internal::Backend;
using internal::ProgressState;

std::string Hex8(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08x", value);
  return text;
}

const char* CommandName(Command command) {
  return command == Command::kCancel ? "Cancel" : "Enter";
}

std::unique_ptr<Backend> ChooseBackend() {
  const char* wanted = std::getenv("ZOMA_UI");
  std::string choice = wanted ? wanted : "";
  if (choice == "none") return internal::CreateNoneBackend();
  if (choice == "text") return internal::CreateTextBackend();
  if (choice == "gui" || choice.empty()) {
    const char* display = std::getenv("DISPLAY");
    if (display && *display)
      if (auto gui = internal::CreateGuiBackend()) return gui;
  }
  if (internal::TerminalAvailable()) return internal::CreateTextBackend();
  return internal::CreateNoneBackend();
}

Backend& TheBackend() {
  static std::unique_ptr<Backend> backend = ChooseBackend();
  return *backend;
}

// "Cancel@Retrying channel...|Enter@Updating registry...": each rule fires once, the
// first time a status text starting with its text appears.
struct PressRule {
  Command command;
  std::string status_prefix;
  bool fired = false;
};

std::vector<PressRule> ParsePressRules() {
  std::vector<PressRule> rules;
  const char* setting = std::getenv("ZOMA_UI_PRESS");
  if (!setting) return rules;
  std::string text = setting;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('|', start);
    if (end == std::string::npos) end = text.size();
    std::string rule = text.substr(start, end - start);
    std::size_t at = rule.find('@');
    if (at != std::string::npos) {
      std::string name = rule.substr(0, at);
      std::transform(name.begin(), name.end(), name.begin(), ::tolower);
      if (name == "cancel" || name == "enter")
        rules.push_back(
            {name == "cancel" ? Command::kCancel : Command::kEnter, rule.substr(at + 1)});
    }
    start = end + 1;
  }
  return rules;
}

class ProgressWindowImpl : public ProgressWindow {
 public:
  ProgressWindowImpl(const ProgressTemplate& layout, std::function<void(Command)> on_command)
      : on_command_(std::move(on_command)), press_rules_(ParsePressRules()) {
    state_.layout = layout;
    state_.status = layout.initial_status;
  }

  void SetStatus(const std::string& text) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (closed_) return;
      state_.status = text;
      dirty_ = true;
      AppendTranscript({"status", text});
      for (PressRule& rule : press_rules_) {
        if (!rule.fired && text.compare(0, rule.status_prefix.size(), rule.status_prefix) == 0) {
          rule.fired = true;
          commands_.push_back(rule.command);
        }
      }
    }
    TheBackend().Wake();
  }

  void SetProgress(int percent) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (closed_ || percent == state_.percent) return;
      state_.percent = percent;
      dirty_ = true;
      AppendTranscript({"progress", std::to_string(percent)});
    }
    TheBackend().Wake();
  }

  void Hide() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (closed_ || !state_.visible) return;
      state_.visible = false;
      dirty_ = true;
      AppendTranscript({"window", "hide"});
    }
    TheBackend().Wake();
  }

  void Close() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (closed_) return;
      closed_ = true;
      commands_.clear();
      AppendTranscript({"window", "close"});
    }
    TheBackend().Wake();
  }

  bool Exists() const override {
    std::lock_guard<std::mutex> lock(mutex_);
    return !closed_;
  }

  void Post(Command command) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!closed_) commands_.push_back(command);
  }

  // UI thread: hands pending changes to the backend, then runs the commands. Returns
  // false once the window is closed and the backend told.
  bool Deliver(Backend& backend) {
    std::deque<Command> commands;
    ProgressState state;
    bool dirty, closed;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      dirty = dirty_;
      dirty_ = false;
      closed = closed_;
      state = state_;
      commands.swap(commands_);
    }
    if (closed) {
      backend.CloseProgress();
      return false;
    }
    if (dirty) backend.UpdateProgress(state);
    for (Command command : commands) {
      if (!Exists()) break;
      AppendTranscript({"command", CommandName(command)});
      if (on_command_) on_command_(command);
    }
    return true;
  }

  // UI thread, inside a modal dialog: the latest state only.
  void DeliverState(Backend& backend) {
    ProgressState state;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (closed_ || !dirty_) return;
      dirty_ = false;
      state = state_;
    }
    backend.UpdateProgress(state);
  }

  ProgressState Snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
  }

 private:
  mutable std::mutex mutex_;
  ProgressState state_;
  bool dirty_ = false;
  bool closed_ = false;
  std::deque<Command> commands_;
  std::function<void(Command)> on_command_;
  std::vector<PressRule> press_rules_;
};

std::mutex window_mutex;
std::shared_ptr<ProgressWindowImpl> open_window;

std::shared_ptr<ProgressWindowImpl> OpenWindow() {
  std::lock_guard<std::mutex> lock(window_mutex);
  return open_window;
}

std::mutex clipboard_mutex;
std::optional<std::string> clipboard;

// Wake-ups for backends without an event loop of their own.
std::mutex wake_mutex;
std::condition_variable wake_signal;
bool woken = false;

}  // namespace

std::string ResultName(int id) {
  static const char* const names[] = {nullptr,   "IDOK",     "IDCANCEL", "IDABORT",
                                      "IDRETRY", "IDIGNORE", "IDYES",    "IDNO"};
  if (id >= 1 && id <= 7) return names[id];
  return "ID" + std::to_string(id);
}

int ResultFromName(const std::string& name) {
  std::string upper;
  for (char c : name)
    if (!std::isspace(static_cast<unsigned char>(c)))
      upper.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  if (!upper.empty() && std::all_of(upper.begin(), upper.end(), ::isdigit))
    return std::atoi(upper.c_str());
  if (upper.rfind("ID", 0) != 0) upper = "ID" + upper;
  for (int id = 1; id <= 7; ++id)
    if (ResultName(id) == upper) return id;
  return 0;
}

int DefaultResult(std::uint32_t style) {
  std::vector<internal::Button> buttons = internal::ButtonsOf(style);
  std::size_t index = (style & kMbDefMask) >> 8;
  if (index >= buttons.size()) index = 0;
  return buttons[index].result;
}

namespace internal {
Backend& CurrentBackend() { return TheBackend(); }

void Backend::WaitForEvents(int timeout_ms) {
  std::unique_lock<std::mutex> lock(wake_mutex);
  wake_signal.wait_for(lock, std::chrono::milliseconds(timeout_ms), [] { return woken; });
  woken = false;
}

void Backend::Wake() {
  std::lock_guard<std::mutex> lock(wake_mutex);
  woken = true;
  wake_signal.notify_all();
}

void DeliverProgressUpdates() {
  if (std::shared_ptr<ProgressWindowImpl> window = OpenWindow()) window->DeliverState(TheBackend());
}

std::vector<Button> ButtonsOf(std::uint32_t style) {
  switch (style & kMbTypeMask) {
    case kMbOkCancel:
      return {{"&OK", kIdOk}, {"&Cancel", kIdCancel}};
    case kMbAbortRetryIgnore:
      return {{"&Abort", kIdAbort}, {"&Retry", kIdRetry}, {"&Ignore", kIdIgnore}};
    case kMbYesNoCancel:
      return {{"&Yes", kIdYes}, {"&No", kIdNo}, {"&Cancel", kIdCancel}};
    case kMbYesNo:
      return {{"&Yes", kIdYes}, {"&No", kIdNo}};
    case kMbRetryCancel:
      return {{"&Retry", kIdRetry}, {"&Cancel", kIdCancel}};
    default:
      return {{"&OK", kIdOk}};
  }
}
}  // namespace internal

std::shared_ptr<ProgressWindow> CreateProgressWindow(const ProgressTemplate& layout,
                                                     std::function<void(Command)> on_command) {
  auto window = std::make_shared<ProgressWindowImpl>(layout, std::move(on_command));
  AppendTranscript({"window", "show", layout.caption});
  AppendTranscript({"status", layout.initial_status});
  TheBackend().ShowProgress(window->Snapshot());
  std::lock_guard<std::mutex> lock(window_mutex);
  open_window = window;
  return window;
}

int MessageBox(const ProgressWindow* /*owner*/, const std::string& text, const std::string& caption,
               std::uint32_t style) {
  internal::BeforeMessageBox(text);
  int answer = TheBackend().ShowMessageBox(text, caption, style);
  AppendTranscript({"messagebox", caption, Hex8(style), text, ResultName(answer)});
  return answer;
}

void PumpMessages() {
  Backend& backend = TheBackend();
  std::shared_ptr<ProgressWindowImpl> window = OpenWindow();
  backend.Poll([&window](Command command) {
    if (window) window->Post(command);
  });
  if (window && !window->Deliver(backend)) {
    std::lock_guard<std::mutex> lock(window_mutex);
    if (open_window == window) open_window.reset();
  }
}

void WaitForMessages(int timeout_ms) {
  TheBackend().WaitForEvents(timeout_ms);
  PumpMessages();
}

std::optional<std::string> BrowseForFile(const FileDialogRequest& request) {
  auto result = TheBackend().BrowseForFile(request);
  AppendTranscript(
      {"dialog", request.save ? "save" : "open", request.title, result ? *result : "(cancelled)"});
  return result;
}

std::optional<std::string> BrowseForFolder(const std::string& prompt) {
  auto result = TheBackend().BrowseForFolder(prompt);
  AppendTranscript({"dialog", "folder", prompt, result ? *result : "(cancelled)"});
  return result;
}

std::optional<std::string> GetClipboardText() {
  Backend& backend = TheBackend();
  if (backend.HasSystemClipboard()) return backend.ClipboardText();
  std::lock_guard<std::mutex> lock(clipboard_mutex);
  return clipboard;
}

bool SetClipboardText(const std::optional<std::string>& text) {
  Backend& backend = TheBackend();
  if (backend.HasSystemClipboard()) return backend.SetClipboard(text);
  std::lock_guard<std::mutex> lock(clipboard_mutex);
  clipboard = text;
  return true;
}

void MessageBeep(std::int32_t type) {
  AppendTranscript({"beep", std::to_string(type)});
  TheBackend().Beep(type);
}

bool PlaySound(const std::string& sound, std::uint32_t flags) {
  // There is no sound device to play through; the request is recorded.
  AppendTranscript({"sound", sound, Hex8(flags)});
  return !sound.empty();
}

int GetSystemMetrics(int index) {
  Backend& backend = TheBackend();
  int width = backend.ScreenWidth(), height = backend.ScreenHeight();
  switch (index) {
    case 0:
      return width;  // CXSCREEN
    case 1:
      return height;  // CYSCREEN
    case 16:
      return width;  // CXFULLSCREEN
    case 17:
      return height - 46;  // CYFULLSCREEN: without caption and task bar
    case 59:
      return width + 12;  // CXMAXTRACK
    case 60:
      return height + 12;  // CYMAXTRACK
    case 61:
      return width + 8;  // CXMAXIMIZED
    case 62:
      return height - 20;  // CYMAXIMIZED
  }
  // A Windows 98 desktop at normal font size.
  static const int kMetrics[] = {0,  0,  16,  16, 18, 1,  1,  3,  3,  16,  16, 32, 32,  32, 32, 19,
                                 0,  0,  0,   1,  16, 16, 0,  0,  0,  0,   0,  0,  112, 27, 18, 18,
                                 4,  4,  112, 27, 4,  4,  75, 75, 0,  0,   0,  3,  0,   2,  2,  160,
                                 24, 16, 16,  15, 15, 15, 18, 18, 8,  160, 24, 0,  0,   0,  0,  3,
                                 0,  0,  0,   0,  4,  4,  0,  13, 13, 0,   0,  0,  76};
  if (index < 0 || index >= static_cast<int>(std::size(kMetrics))) return 0;
  return kMetrics[index];
}

std::string BackendName() { return TheBackend().Name(); }

}  // namespace platform::ui
