// Window classes, windows, per-thread message queues, sent and posted messages,
// registered messages, timers and modeless text dialogs. One mutex guards the tables;
// window procedures always run without it, on the thread that owns the window.
#include "platform/ui_window.h"

#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/ascii.h"
#include "platform/ui.h"
#include "platform/ui_backend.h"
#include "platform/ui_transcript.h"
#include "platform/win_error.h"

namespace platform::ui {
namespace {

using Clock = std::chrono::steady_clock;

constexpr Status kErrorInvalidWindowHandle = 1400;
constexpr Status kErrorClassAlreadyExists = 1410;
constexpr Status kErrorClassDoesNotExist = 1411;

// The longest a waiting user-interface thread sleeps before it looks at the backend
// again: a wake-up the backend lost costs no more than this.
constexpr int kLongestNap = 50;

struct CaseLess {
  bool operator()(const std::string& a, const std::string& b) const {
    return ToUpperAscii(a) < ToUpperAscii(b);
  }
};

struct SentMessage {
  Message message;
  LResult result = 0;
  bool done = false;
};

struct Timer {
  WindowHandle window;
  std::uintptr_t id;
  Clock::duration interval;
  Clock::time_point due;
};

struct ThreadQueue {
  std::thread::id thread;
  std::deque<Message> posted;
  std::deque<std::shared_ptr<SentMessage>> sent;
  std::vector<Timer> timers;
  bool quit = false;
  int quit_code = 0;
  std::condition_variable signal;
};

struct WindowRecord {
  WindowProcedure procedure;
  std::shared_ptr<ThreadQueue> queue;
  bool dialog = false;
  int resource_id = 0;
  bool destroying = false;
};

std::mutex table_mutex;
std::condition_variable sent_done;
std::map<std::string, WindowClass, CaseLess> classes;
std::map<WindowHandle, WindowRecord> windows;
std::map<std::thread::id, std::shared_ptr<ThreadQueue>> queues;
std::map<std::string, std::uint32_t, CaseLess> registered_messages;
std::uint32_t next_registered_message = 0xC000;
WindowHandle next_handle = 0x10010;
std::optional<std::thread::id> ui_thread;

// Under the table lock.
std::shared_ptr<ThreadQueue> QueueOf(std::thread::id thread) {
  std::shared_ptr<ThreadQueue>& queue = queues[thread];
  if (!queue) {
    queue = std::make_shared<ThreadQueue>();
    queue->thread = thread;
  }
  return queue;
}

// Under the table lock: something arrived for the queue's thread.
void Wake(ThreadQueue& queue) {
  queue.signal.notify_all();
  if (ui_thread && *ui_thread == queue.thread) internal::CurrentBackend().Wake();
}

WindowProcedure ProcedureOf(WindowHandle window) {
  std::lock_guard<std::mutex> lock(table_mutex);
  auto it = windows.find(window);
  return it == windows.end() ? WindowProcedure() : it->second.procedure;
}

// Runs the messages other threads sent to this one. Called with the lock held; the
// procedures run without it.
void RunSentMessages(ThreadQueue& queue, std::unique_lock<std::mutex>& lock) {
  while (!queue.sent.empty()) {
    std::shared_ptr<SentMessage> sent = queue.sent.front();
    queue.sent.pop_front();
    lock.unlock();
    WindowProcedure procedure = ProcedureOf(sent->message.window);
    LResult result = procedure ? procedure(sent->message.window, sent->message.message,
                                           sent->message.wparam, sent->message.lparam)
                               : 0;
    lock.lock();
    sent->result = result;
    sent->done = true;
    sent_done.notify_all();
  }
}

// Under the lock: the next message for the thread, if any. Posted messages come
// first, then the quit request, then due timers.
bool TakeMessage(ThreadQueue& queue, Message* message, bool remove) {
  if (!queue.posted.empty()) {
    *message = queue.posted.front();
    if (remove) queue.posted.pop_front();
    return true;
  }
  if (queue.quit) {
    *message = {0, kWmQuit, static_cast<WParam>(queue.quit_code), 0};
    if (remove) queue.quit = false;
    return true;
  }
  Clock::time_point now = Clock::now();
  Timer* earliest = nullptr;
  for (Timer& timer : queue.timers)
    if (timer.due <= now && (!earliest || timer.due < earliest->due)) earliest = &timer;
  if (!earliest) return false;
  *message = {earliest->window, kWmTimer, earliest->id, 0};
  if (remove) earliest->due = now + earliest->interval;
  return true;
}

// Under the lock: how long the thread may sleep before a timer falls due.
int NapLength(const ThreadQueue& queue, int longest) {
  Clock::time_point now = Clock::now();
  auto nap = std::chrono::milliseconds(longest);
  for (const Timer& timer : queue.timers) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(timer.due - now) +
                std::chrono::milliseconds(1);
    if (left < nap) nap = left;
  }
  return nap.count() < 0 ? 0 : static_cast<int>(nap.count());
}

bool IsUiThread() { return ui_thread && *ui_thread == std::this_thread::get_id(); }

// Sleeps until the thread has something, a timer falls due or `timeout_ms` pass. The
// user-interface thread sleeps in the backend, so that its windows stay drawn.
void Nap(ThreadQueue& queue, std::unique_lock<std::mutex>& lock, int timeout_ms) {
  int nap = NapLength(queue, timeout_ms);
  if (IsUiThread()) {
    lock.unlock();
    WaitForMessages(std::min(nap, kLongestNap));
    lock.lock();
  } else {
    queue.signal.wait_for(lock, std::chrono::milliseconds(nap));
  }
}

std::string DialogId(int resource_id) { return std::to_string(resource_id); }

// The rules of ZOMA_UI_MEDIA: "D:@text" or "D:=/host/dir@text", several joined by '|'.
struct MediaRule {
  char letter;
  std::string host_directory;
  std::string text_prefix;
  bool fired = false;
};

std::vector<MediaRule> ParseMediaRules() {
  std::vector<MediaRule> rules;
  const char* setting = std::getenv("ZOMA_UI_MEDIA");
  std::string text = setting ? setting : "";
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('|', start);
    if (end == std::string::npos) end = text.size();
    std::string rule = text.substr(start, end - start);
    start = end + 1;
    std::size_t at = rule.find('@');
    if (at == std::string::npos || at < 2 || rule[1] != ':' ||
        !std::isalpha(static_cast<unsigned char>(rule[0])))
      continue;
    MediaRule parsed{ToUpperAscii(rule[0]), "", rule.substr(at + 1)};
    if (at > 2 && rule[2] == '=') parsed.host_directory = rule.substr(3, at - 3);
    rules.push_back(parsed);
  }
  return rules;
}

}  // namespace

bool RegisterClass(const WindowClass& window_class) {
  if (window_class.name.empty() || !window_class.procedure) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  std::lock_guard<std::mutex> lock(table_mutex);
  if (!classes.emplace(window_class.name, window_class).second) {
    SetLastError(kErrorClassAlreadyExists);
    return false;
  }
  return true;
}

WindowHandle CreateWindow(const std::string& class_name, const std::string& title,
                          std::uint32_t style, int width, int height) {
  WindowHandle window;
  {
    std::lock_guard<std::mutex> lock(table_mutex);
    auto it = classes.find(class_name);
    if (it == classes.end()) {
      SetLastError(kErrorClassDoesNotExist);
      return 0;
    }
    window = next_handle;
    next_handle += 2;
    WindowRecord record;
    record.procedure = it->second.procedure;
    record.queue = QueueOf(std::this_thread::get_id());
    windows[window] = record;
    if (!ui_thread) {
      ui_thread = std::this_thread::get_id();
      internal::CurrentBackend().AttachMessageLoop(true);
    }
  }
  char size[32];
  std::snprintf(size, sizeof size, "%dx%d %08x", width, height, style);
  AppendTranscript({"window", "create", class_name, title, size});
  return window;
}

bool IsWindow(WindowHandle window) {
  std::lock_guard<std::mutex> lock(table_mutex);
  auto it = windows.find(window);
  return it != windows.end() && !it->second.destroying;
}

bool DestroyWindow(WindowHandle window) {
  bool dialog;
  int resource_id;
  {
    std::lock_guard<std::mutex> lock(table_mutex);
    auto it = windows.find(window);
    if (it == windows.end() || it->second.destroying) {
      SetLastError(kErrorInvalidWindowHandle);
      return false;
    }
    // Only the owning thread may destroy a window, as on Windows.
    if (it->second.queue->thread != std::this_thread::get_id()) {
      SetLastError(kErrorAccessDenied);
      return false;
    }
    it->second.destroying = true;
    dialog = it->second.dialog;
    resource_id = it->second.resource_id;
  }
  if (dialog) {
    internal::CurrentBackend().CloseTextDialog(window);
    AppendTranscript({"modeless", "close", DialogId(resource_id)});
  }
  if (WindowProcedure procedure = ProcedureOf(window)) procedure(window, kWmDestroy, 0, 0);
  std::lock_guard<std::mutex> lock(table_mutex);
  auto it = windows.find(window);
  if (it == windows.end()) return true;
  ThreadQueue& queue = *it->second.queue;
  std::erase_if(queue.timers, [window](const Timer& t) { return t.window == window; });
  std::erase_if(queue.posted, [window](const Message& m) { return m.window == window; });
  windows.erase(it);
  return true;
}

LResult DefWindowProc(WindowHandle window, std::uint32_t message, WParam, LParam) {
  if (message == kWmClose) DestroyWindow(window);
  return 0;
}

bool PostMessage(WindowHandle window, std::uint32_t message, WParam wparam, LParam lparam) {
  std::lock_guard<std::mutex> lock(table_mutex);
  auto it = windows.find(window);
  if (it == windows.end()) {
    SetLastError(kErrorInvalidWindowHandle);
    return false;
  }
  ThreadQueue& queue = *it->second.queue;
  queue.posted.push_back({window, message, wparam, lparam});
  Wake(queue);
  return true;
}

LResult SendMessage(WindowHandle window, std::uint32_t message, WParam wparam, LParam lparam) {
  std::unique_lock<std::mutex> lock(table_mutex);
  auto it = windows.find(window);
  if (it == windows.end()) {
    SetLastError(kErrorInvalidWindowHandle);
    return 0;
  }
  std::shared_ptr<ThreadQueue> target = it->second.queue;
  if (target->thread == std::this_thread::get_id()) {
    WindowProcedure procedure = it->second.procedure;
    lock.unlock();
    return procedure(window, message, wparam, lparam);
  }
  auto sent = std::make_shared<SentMessage>();
  sent->message = {window, message, wparam, lparam};
  target->sent.push_back(sent);
  Wake(*target);
  // Messages sent to this thread meanwhile still run, so two threads sending to each
  // other do not wait for ever.
  std::shared_ptr<ThreadQueue> own = QueueOf(std::this_thread::get_id());
  while (!sent->done) {
    RunSentMessages(*own, lock);
    if (sent->done) break;
    // A window destroyed before its thread took the message answers 0.
    if (windows.find(window) == windows.end()) break;
    sent_done.wait_for(lock, std::chrono::milliseconds(kLongestNap));
  }
  return sent->result;
}

void PostQuitMessage(int exit_code) {
  std::lock_guard<std::mutex> lock(table_mutex);
  std::shared_ptr<ThreadQueue> queue = QueueOf(std::this_thread::get_id());
  queue->quit = true;
  queue->quit_code = exit_code;
  Wake(*queue);
}

int GetMessage(Message* message) {
  std::unique_lock<std::mutex> lock(table_mutex);
  std::shared_ptr<ThreadQueue> queue = QueueOf(std::this_thread::get_id());
  for (;;) {
    RunSentMessages(*queue, lock);
    if (TakeMessage(*queue, message, true)) break;
    Nap(*queue, lock, kLongestNap);
  }
  if (message->message != kWmQuit) return 1;
  // The loop of the user-interface thread is over: modal boxes run where they are asked.
  if (IsUiThread()) internal::CurrentBackend().AttachMessageLoop(false);
  return 0;
}

bool PeekMessage(Message* message, bool remove) {
  bool ui = false;
  {
    std::unique_lock<std::mutex> lock(table_mutex);
    ui = IsUiThread();
  }
  if (ui) PumpMessages();
  std::unique_lock<std::mutex> lock(table_mutex);
  std::shared_ptr<ThreadQueue> queue = QueueOf(std::this_thread::get_id());
  RunSentMessages(*queue, lock);
  return TakeMessage(*queue, message, remove);
}

bool WaitForThreadMessage(int timeout_ms) {
  std::unique_lock<std::mutex> lock(table_mutex);
  std::shared_ptr<ThreadQueue> queue = QueueOf(std::this_thread::get_id());
  Message ignored;
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    RunSentMessages(*queue, lock);
    if (TakeMessage(*queue, &ignored, false)) return true;
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    Nap(*queue, lock, static_cast<int>(left));
  }
}

LResult DispatchMessage(const Message& message) {
  if (message.window == 0) return 0;
  WindowProcedure procedure = ProcedureOf(message.window);
  if (!procedure) return 0;
  return procedure(message.window, message.message, message.wparam, message.lparam);
}

std::uint32_t RegisterWindowMessage(const std::string& name) {
  if (name.empty()) {
    SetLastError(kErrorInvalidParameter);
    return 0;
  }
  std::lock_guard<std::mutex> lock(table_mutex);
  auto it = registered_messages.find(name);
  if (it != registered_messages.end()) return it->second;
  if (next_registered_message > 0xFFFF) {
    SetLastError(kErrorNotEnoughMemory);
    return 0;
  }
  registered_messages[name] = next_registered_message;
  return next_registered_message++;
}

std::uintptr_t SetTimer(WindowHandle window, std::uintptr_t id, std::uint32_t elapse_ms) {
  std::lock_guard<std::mutex> lock(table_mutex);
  auto it = windows.find(window);
  if (it == windows.end() || it->second.destroying) {
    SetLastError(kErrorInvalidWindowHandle);
    return 0;
  }
  // Windows raises elapse times below 10 ms to 10 ms.
  auto interval = std::chrono::milliseconds(std::max<std::uint32_t>(elapse_ms, 10));
  ThreadQueue& queue = *it->second.queue;
  std::erase_if(queue.timers, [&](const Timer& t) { return t.window == window && t.id == id; });
  queue.timers.push_back({window, id, interval, Clock::now() + interval});
  Wake(queue);
  return id == 0 ? 1 : id;
}

bool KillTimer(WindowHandle window, std::uintptr_t id) {
  std::lock_guard<std::mutex> lock(table_mutex);
  auto it = windows.find(window);
  if (it == windows.end()) {
    SetLastError(kErrorInvalidWindowHandle);
    return false;
  }
  ThreadQueue& queue = *it->second.queue;
  std::size_t removed =
      std::erase_if(queue.timers, [&](const Timer& t) { return t.window == window && t.id == id; });
  return removed > 0;
}

WindowHandle CreateTextDialog(const TextDialogTemplate& dialog, WindowHandle /*owner*/,
                              WindowProcedure procedure, LParam init_param) {
  WindowHandle window;
  {
    std::lock_guard<std::mutex> lock(table_mutex);
    window = next_handle;
    next_handle += 2;
    WindowRecord record;
    record.procedure = [procedure](WindowHandle w, std::uint32_t m, WParam wp, LParam lp) {
      LResult handled = procedure ? procedure(w, m, wp, lp) : 0;
      return handled ? handled : DefWindowProc(w, m, wp, lp);
    };
    record.queue = QueueOf(std::this_thread::get_id());
    record.dialog = true;
    record.resource_id = dialog.resource_id;
    windows[window] = record;
  }
  AppendTranscript({"modeless", "show", DialogId(dialog.resource_id), dialog.caption, dialog.text});
  internal::CurrentBackend().ShowTextDialog(window, dialog);
  if (WindowProcedure run = ProcedureOf(window)) run(window, kWmInitDialog, 0, init_param);
  return window;
}

bool AnnounceMediaArrival(char drive_letter) {
  std::uint32_t query = RegisterWindowMessage("QueryCancelAutoPlay");
  std::vector<WindowHandle> top_level;
  {
    std::lock_guard<std::mutex> lock(table_mutex);
    for (const auto& [window, record] : windows)
      if (!record.dialog && !record.destroying) top_level.push_back(window);
  }
  bool cancelled = false;
  for (WindowHandle window : top_level)
    if (SendMessage(window, query, 0, 0) != 0) cancelled = true;
  AppendTranscript({"autoplay", std::string{ToUpperAscii(drive_letter), ':'},
                    cancelled ? "cancelled" : "allowed"});
  return cancelled;
}

namespace internal {

void BeforeMessageBox(const std::string& text) {
  static std::mutex rules_mutex;
  static std::vector<MediaRule> rules = ParseMediaRules();
  std::vector<MediaRule> due;
  {
    std::lock_guard<std::mutex> lock(rules_mutex);
    for (MediaRule& rule : rules) {
      if (rule.fired || text.compare(0, rule.text_prefix.size(), rule.text_prefix) != 0) continue;
      rule.fired = true;
      due.push_back(rule);
    }
  }
  for (const MediaRule& rule : due) {
    if (!rule.host_directory.empty()) InsertMedium(rule.letter, rule.host_directory);
    AnnounceMediaArrival(rule.letter);
  }
}

}  // namespace internal
}  // namespace platform::ui
