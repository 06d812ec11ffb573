// The windowed backend on FLTK: the progress window laid out from its dialog template,
// and the modal dialogs. FLTK runs with its lock: every call into it holds Fl::lock().
// Widgets are touched only by the UI thread (the one that opened the progress window
// and pumps its messages); a message box or dialog asked for by another thread while
// that window is open is handed to the UI thread, which runs it from its pump while the
// asking thread waits. Other threads wake the pump with Fl::awake().
#include "platform/ui_gui_fltk.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Progress.H>
#include <FL/fl_ask.H>
#include <FL/x.H>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "platform/ui_backend.h"

namespace platform::ui::internal {
namespace {

using gui::DialogUnits;
using gui::PushButton;
using gui::StaticText;

// Holds the FLTK lock for a scope; the lock is recursive.
class FltkLock {
 public:
  FltkLock() { Fl::lock(); }
  ~FltkLock() { Fl::unlock(); }
  FltkLock(const FltkLock&) = delete;
  FltkLock& operator=(const FltkLock&) = delete;
};

// The progress window: dialog template 183 x 68 units with the bar, the status line,
// the picture in its sunken frame and the Cancel button.
class ProgressDialog {
 public:
  ProgressDialog(const ProgressState& state, std::function<void(Command)> on_command)
      : caption_(state.layout.caption), cancel_label_(state.layout.cancel_label) {
    DialogUnits u = gui::MeasureDialogUnits();
    window_ = std::make_unique<DialogWindow>(u.X(183), u.Y(68), std::move(on_command));
    window_->label(caption_.c_str());
    window_->xclass("ZomaUp");

    bar_ = new Fl_Progress(u.X(9), u.Y(7), u.X(165), u.Y(9));
    bar_->box(FL_THIN_DOWN_BOX);
    bar_->color(FL_BACKGROUND_COLOR);
    bar_->selection_color(fl_rgb_color(0, 0, 128));
    bar_->minimum(0);
    bar_->maximum(100);

    status_ = new StaticText(u.X(9), u.Y(20), u.X(165), u.Y(20), FL_ALIGN_CENTER | FL_ALIGN_TOP);

    auto* frame = new Fl_Box(u.X(9), u.Y(44), u.X(45), u.Y(17));
    frame->box(FL_THIN_DOWN_BOX);
    picture_ = gui::MakePicture(frame->w() - 2, frame->h() - 2);
    frame->image(picture_.get());
    frame->align(FL_ALIGN_CENTER | FL_ALIGN_INSIDE);

    auto* cancel = new PushButton(u.X(129), u.Y(45), u.X(45), u.Y(17), cancel_label_.c_str());
    cancel->callback(OnCancel, window_.get());
    window_->end();

    icons_[0] = gui::MakeWindowIcon(32);
    icons_[1] = gui::MakeWindowIcon(16);
    const Fl_RGB_Image* icons[] = {icons_[0].get(), icons_[1].get()};
    window_->icons(icons, 2);

    int screen_x, screen_y, screen_w, screen_h;
    Fl::screen_xywh(screen_x, screen_y, screen_w, screen_h, 0);
    window_->position(screen_x + (screen_w - window_->w()) / 2,
                      screen_y + (screen_h - window_->h()) / 2);
    Update(state);
    Fl::focus(cancel);
  }

  void Update(const ProgressState& state) {
    bar_->value(static_cast<float>(std::clamp(state.percent, 0, 100)));
    status_->text(state.status);
    if (state.visible && !window_->shown()) window_->show();
    if (!state.visible && window_->shown()) window_->hide();
  }

 private:
  class DialogWindow : public Fl_Double_Window {
   public:
    DialogWindow(int w, int h, std::function<void(Command)> on_command)
        : Fl_Double_Window(w, h), on_command_(std::move(on_command)) {
      // The window manager's close box is Cancel.
      callback(OnCancel, this);
    }
    void Post(Command command) { on_command_(command); }

    int handle(int event) override {
      if (event == FL_SHORTCUT) {
        int key = Fl::event_key();
        if (key == FL_Escape) {
          Post(Command::kCancel);
          return 1;
        }
        if (key == FL_Enter || key == FL_KP_Enter) {
          Post(Command::kEnter);
          return 1;
        }
      }
      return Fl_Double_Window::handle(event);
    }

   private:
    std::function<void(Command)> on_command_;
  };

  static void OnCancel(Fl_Widget*, void* window) {
    static_cast<DialogWindow*>(window)->Post(Command::kCancel);
  }

  // The texts and images outlive the window that points at them.
  std::string caption_;
  std::string cancel_label_;
  std::unique_ptr<Fl_RGB_Image> picture_;
  std::unique_ptr<Fl_RGB_Image> icons_[2];
  std::unique_ptr<DialogWindow> window_;
  Fl_Progress* bar_ = nullptr;
  StaticText* status_ = nullptr;
};

// Receives the clipboard's text when FLTK delivers it.
class PasteReceiver : public Fl_Widget {
 public:
  PasteReceiver() : Fl_Widget(0, 0, 1, 1) {}
  int handle(int event) override {
    if (event != FL_PASTE) return 0;
    text = std::string(Fl::event_text(), static_cast<std::size_t>(Fl::event_length()));
    received = true;
    return 1;
  }
  void draw() override {}
  std::string text;
  bool received = false;
};

ProgressDialog* window_left_open = nullptr;
std::map<std::uintptr_t, std::unique_ptr<Fl_Double_Window>>* dialogs_left_open = nullptr;

class GuiBackend : public Backend {
 public:
  explicit GuiBackend(Display* display) {
    FltkLock lock;
    fl_open_display(display);
    Fl::scheme("base");
  }

  // At exit another thread may hold the FLTK lock, so a window still open is left to
  // vanish with the process (kept reachable for the leak checker).
  ~GuiBackend() override {
    window_left_open = dialog_.release();
    if (!text_dialogs_.empty())
      dialogs_left_open =
          new std::map<std::uintptr_t, std::unique_ptr<Fl_Double_Window>>(std::move(text_dialogs_));
  }

  const char* Name() const override { return "gui"; }

  int ShowMessageBox(const std::string& text, const std::string& caption,
                     std::uint32_t style) override {
    int result = 0;
    OnUiThread([&] { result = gui::RunMessageBox(text, caption, style, IdleHook()); });
    return result;
  }

  void ShowProgress(const ProgressState& state) override {
    FltkLock lock;
    ui_thread_ = std::this_thread::get_id();
    dialog_ = std::make_unique<ProgressDialog>(
        state, [this](Command command) { commands_.push_back(command); });
    progress_open_ = true;
    Fl::flush();
  }

  void UpdateProgress(const ProgressState& state) override {
    FltkLock lock;
    if (dialog_) dialog_->Update(state);
    Fl::flush();
  }

  void CloseProgress() override {
    FltkLock lock;
    progress_open_ = false;
    dialog_.reset();
    Fl::flush();
  }

  void Poll(const std::function<void(Command)>& post) override {
    std::vector<Command> commands;
    {
      FltkLock lock;
      ui_thread_ = std::this_thread::get_id();  // the thread that pumps
      wake_pending_ = false;
      Fl::check();
      RunQueuedJobs();
      commands.swap(commands_);
    }
    for (Command command : commands) post(command);
  }

  void WaitForEvents(int timeout_ms) override {
    FltkLock lock;
    wake_pending_ = false;
    if (!HasQueuedJobs()) Fl::wait(timeout_ms / 1000.0);
  }

  void Wake() override {
    if (!wake_pending_.exchange(true)) Fl::awake();
  }

  void ShowTextDialog(std::uintptr_t window, const TextDialogTemplate& dialog) override {
    OnUiThread([&] {
      std::unique_ptr<Fl_Double_Window>& shown = text_dialogs_[window];
      shown = gui::MakeTextDialog(dialog);
      shown->show();
      Fl::flush();
    });
  }

  void CloseTextDialog(std::uintptr_t window) override {
    OnUiThread([&] {
      text_dialogs_.erase(window);
      Fl::flush();
    });
  }

  void AttachMessageLoop(bool attached) override {
    if (attached) ui_thread_ = std::this_thread::get_id();
    loop_attached_ = attached;
  }

  std::optional<std::string> BrowseForFile(const FileDialogRequest& request) override {
    std::optional<std::string> result;
    OnUiThread([&] { result = gui::RunFileChooser(request, IdleHook()); });
    return result;
  }

  std::optional<std::string> BrowseForFolder(const std::string& prompt) override {
    std::optional<std::string> result;
    OnUiThread([&] { result = gui::RunFolderChooser(prompt, IdleHook()); });
    return result;
  }

  void Beep(std::int32_t type) override {
    FltkLock lock;
    fl_beep(gui::BeepTypeFor(static_cast<std::uint32_t>(type)));
  }

  int ScreenWidth() const override { return ScreenSize().first; }
  int ScreenHeight() const override { return ScreenSize().second; }

  bool HasSystemClipboard() const override { return true; }

  std::optional<std::string> ClipboardText() override {
    std::optional<std::string> result;
    OnUiThread([&] { result = ReadClipboard(); });
    return result;
  }

  bool SetClipboard(const std::optional<std::string>& text) override {
    OnUiThread([&] {
      std::string value = text.value_or("");
      Fl::copy(value.data(), static_cast<int>(value.size()), 1);
    });
    return true;
  }

 private:
  struct Job {
    std::function<void()> run;
    bool started = false;
    bool done = false;
  };

  static std::pair<int, int> ScreenSize() {
    FltkLock lock;
    int x, y, w, h;
    Fl::screen_xywh(x, y, w, h, 0);
    return {w, h};
  }

  // Between the events of a modal dialog the progress window stays up to date, when
  // the dialog runs on the UI thread.
  gui::IdleHook IdleHook() {
    return [this] {
      if (std::this_thread::get_id() != ui_thread_) return;
      wake_pending_ = false;
      DeliverProgressUpdates();
    };
  }

  // Runs `job` under the lock: here, or on the UI thread while the progress window is
  // open or a window message loop runs there, and this is another thread. A job nobody
  // has started when the window closes (or the loop ends) is taken back and run here.
  bool UiThreadPumps() const { return progress_open_ || loop_attached_; }

  void OnUiThread(const std::function<void()>& job) {
    if (!UiThreadPumps() || std::this_thread::get_id() == ui_thread_) {
      FltkLock lock;
      job();
      return;
    }
    auto queued = std::make_shared<Job>();
    queued->run = job;
    std::unique_lock<std::mutex> lock(jobs_mutex_);
    jobs_.push_back(queued);
    lock.unlock();
    Wake();
    lock.lock();
    while (!queued->done) {
      if (!queued->started && !UiThreadPumps()) {
        jobs_.erase(std::find(jobs_.begin(), jobs_.end(), queued));
        lock.unlock();
        FltkLock fltk;
        job();
        return;
      }
      jobs_done_.wait_for(lock, std::chrono::milliseconds(100));
    }
  }

  bool HasQueuedJobs() {
    std::lock_guard<std::mutex> lock(jobs_mutex_);
    return !jobs_.empty();
  }

  // UI thread, under the FLTK lock.
  void RunQueuedJobs() {
    for (;;) {
      std::shared_ptr<Job> job;
      {
        std::lock_guard<std::mutex> lock(jobs_mutex_);
        if (jobs_.empty()) return;
        job = jobs_.front();
        jobs_.pop_front();
        job->started = true;
      }
      job->run();
      std::lock_guard<std::mutex> lock(jobs_mutex_);
      job->done = true;
      jobs_done_.notify_all();
    }
  }

  // Under the FLTK lock. X delivers another program's clipboard through the event
  // loop, addressed to one of our windows; a hidden one stands in when none is shown.
  static std::optional<std::string> ReadClipboard() {
    if (!Fl::clipboard_contains(Fl::clipboard_plain_text)) return std::nullopt;
    std::unique_ptr<Fl_Window> stand_in;
    if (!Fl::first_window()) {
      stand_in = std::make_unique<Fl_Window>(-100, -100, 1, 1);
      stand_in->border(0);
      stand_in->end();
      stand_in->show();
    }
    PasteReceiver receiver;
    Fl::paste(receiver, 1, Fl::clipboard_plain_text);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!receiver.received && std::chrono::steady_clock::now() < deadline) Fl::wait(0.05);
    if (!receiver.received) return std::nullopt;
    return receiver.text;
  }

  std::unique_ptr<ProgressDialog> dialog_;
  std::vector<Command> commands_;  // UI thread, under the FLTK lock
  std::map<std::uintptr_t, std::unique_ptr<Fl_Double_Window>> text_dialogs_;  // FLTK lock
  std::atomic<bool> progress_open_{false};
  std::atomic<bool> loop_attached_{false};
  std::atomic<std::thread::id> ui_thread_{};
  std::atomic<bool> wake_pending_{false};
  std::mutex jobs_mutex_;
  std::condition_variable jobs_done_;
  std::deque<std::shared_ptr<Job>> jobs_;
};

}  // namespace

std::unique_ptr<Backend> CreateGuiBackend() {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return nullptr;
  return std::make_unique<GuiBackend>(display);
}

}  // namespace platform::ui::internal
