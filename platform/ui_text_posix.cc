// The terminal backend: the progress window as one redrawn line on standard error,
// message boxes as prompts answered with a key. While a progress window is open the
// terminal is put in raw mode so that Esc or Ctrl-C arrive as Cancel and Enter as the
// window's Enter; the mode is restored when the window closes and at exit.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/ui_backend.h"

namespace platform::ui::internal {
namespace {

constexpr char kEscape = 0x1B;
constexpr char kCtrlC = 0x03;

int TerminalWidth() {
  struct winsize size;
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 20) return size.ws_col;
  return 80;
}

void WriteAll(const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(STDERR_FILENO, text.data() + done, text.size() - done);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

// The saved terminal mode, restored at exit if the program ends with it still raw.
int saved_fd = -1;
struct termios saved_mode;
void RestoreTerminal() {
  if (saved_fd >= 0) tcsetattr(saved_fd, TCSANOW, &saved_mode);
  saved_fd = -1;
}

class TextBackend : public Backend {
 public:
  TextBackend() { tty_ = open("/dev/tty", O_RDWR | O_NONBLOCK | O_CLOEXEC); }
  ~TextBackend() override {
    RestoreTerminal();
    if (tty_ >= 0) close(tty_);
  }

  const char* Name() const override { return "text"; }

  int ShowMessageBox(const std::string& text, const std::string& caption,
                     std::uint32_t style) override {
    std::lock_guard<std::mutex> lock(input_mutex_);
    std::vector<Button> buttons = ButtonsOf(style);
    int fallback = DefaultResult(style);
    std::string prompt = "\r\033[K\n";
    if (!caption.empty()) prompt += "[" + caption + "]\n";
    prompt += text + "\n";
    for (const Button& button : buttons) prompt += "  " + Accelerated(button.label);
    prompt += "  (Enter: " + Plain(LabelOf(buttons, fallback)) + ")\n";
    WriteAll(prompt);
    int result = tty_ >= 0 ? ReadAnswer(buttons, fallback) : fallback;
    WriteAll("-> " + Plain(LabelOf(buttons, result)) + "\n");
    Redraw();
    return result;
  }

  void ShowProgress(const ProgressState& state) override {
    std::lock_guard<std::mutex> lock(draw_mutex_);
    state_ = state;
    shown_ = true;
    if (tty_ >= 0 && saved_fd < 0 && tcgetattr(tty_, &saved_mode) == 0) {
      struct termios raw = saved_mode;
      raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG);
      raw.c_cc[VMIN] = 0;
      raw.c_cc[VTIME] = 0;
      saved_fd = tty_;
      std::atexit(RestoreTerminal);
      tcsetattr(tty_, TCSANOW, &raw);
    }
    WriteAll(state.layout.caption + "\n");
    DrawLocked();
  }

  void UpdateProgress(const ProgressState& state) override {
    std::lock_guard<std::mutex> lock(draw_mutex_);
    state_ = state;
    DrawLocked();
  }

  void CloseProgress() override {
    std::lock_guard<std::mutex> lock(draw_mutex_);
    if (shown_) WriteAll("\n");
    shown_ = false;
    RestoreTerminal();
  }

  void Poll(const std::function<void(Command)>& post) override {
    std::unique_lock<std::mutex> lock(input_mutex_, std::try_to_lock);
    if (!lock || tty_ < 0 || !shown_) return;
    char c;
    while (read(tty_, &c, 1) == 1) {
      if (c == kCtrlC || (c == kEscape && !SkipEscapeSequence())) post(Command::kCancel);
      if (c == '\r' || c == '\n') post(Command::kEnter);
    }
  }

  std::optional<std::string> BrowseForFile(const FileDialogRequest& request) override {
    return AskLine(
        (request.title.empty() ? std::string(request.save ? "Save as" : "Open") : request.title) +
        " (file name, empty to cancel): ");
  }

  std::optional<std::string> BrowseForFolder(const std::string& prompt) override {
    return AskLine(prompt + " (directory, empty to cancel): ");
  }

  void Beep(std::int32_t) override { WriteAll("\a"); }

  // A modeless dialog is one line above the progress line, if any.
  void ShowTextDialog(std::uintptr_t, const TextDialogTemplate& dialog) override {
    std::lock_guard<std::mutex> lock(draw_mutex_);
    WriteAll("\r\033[K" + dialog.text + "\n");
    DrawLocked();
  }

 private:
  static std::string Plain(const std::string& label) {
    std::string out;
    for (char c : label)
      if (c != '&') out.push_back(c);
    return out;
  }
  // "&Yes" -> "[Y]es"
  static std::string Accelerated(const std::string& label) {
    std::size_t amp = label.find('&');
    if (amp == std::string::npos || amp + 1 >= label.size()) return label;
    return label.substr(0, amp) + "[" + label[amp + 1] + "]" + label.substr(amp + 2);
  }
  static std::string LabelOf(const std::vector<Button>& buttons, int result) {
    for (const Button& button : buttons)
      if (button.result == result) return button.label;
    return "?";
  }

  // After an Esc: true when more bytes follow at once (an arrow key or similar),
  // which are then consumed.
  bool SkipEscapeSequence() {
    struct pollfd pfd = {tty_, POLLIN, 0};
    if (poll(&pfd, 1, 30) <= 0) return false;
    char c;
    while (read(tty_, &c, 1) == 1) {
    }
    return true;
  }

  int ReadAnswer(const std::vector<Button>& buttons, int fallback) {
    struct termios mode, raw;
    bool restore = tcgetattr(tty_, &mode) == 0;
    raw = mode;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG);
    if (restore) tcsetattr(tty_, TCSANOW, &raw);
    int result = 0;
    while (result == 0) {
      struct pollfd pfd = {tty_, POLLIN, 0};
      if (poll(&pfd, 1, -1) < 0) break;
      char c;
      if (read(tty_, &c, 1) != 1) continue;
      if (c == '\r' || c == '\n') result = fallback;
      if (c == kCtrlC || (c == kEscape && !SkipEscapeSequence())) result = EscapeResult(buttons);
      for (const Button& button : buttons) {
        const char* amp = std::strchr(button.label, '&');
        if (amp && std::tolower(static_cast<unsigned char>(amp[1])) ==
                       std::tolower(static_cast<unsigned char>(c)))
          result = button.result;
      }
    }
    if (restore) tcsetattr(tty_, TCSANOW, &mode);
    return result ? result : fallback;
  }

  // Esc closes a box with Cancel where it has one, an OK-only box with OK, and
  // answers No to a question without Cancel.
  static int EscapeResult(const std::vector<Button>& buttons) {
    for (int wanted : {kIdCancel, kIdNo, kIdOk})
      for (const Button& button : buttons)
        if (button.result == wanted) return wanted;
    return buttons.back().result;
  }

  std::optional<std::string> AskLine(const std::string& prompt) {
    std::lock_guard<std::mutex> lock(input_mutex_);
    if (tty_ < 0) return std::nullopt;
    WriteAll("\r\033[K" + prompt);
    struct termios mode;
    bool restore = tcgetattr(tty_, &mode) == 0;
    struct termios cooked = mode;
    cooked.c_lflag |= ICANON | ECHO;
    if (restore) tcsetattr(tty_, TCSANOW, &cooked);
    std::string line;
    for (;;) {
      struct pollfd pfd = {tty_, POLLIN, 0};
      if (poll(&pfd, 1, -1) < 0) break;
      char c;
      if (read(tty_, &c, 1) != 1) continue;
      if (c == '\n') break;
      line.push_back(c);
    }
    if (restore) tcsetattr(tty_, TCSANOW, &mode);
    Redraw();
    if (line.empty()) return std::nullopt;
    return line;
  }

  void Redraw() {
    std::lock_guard<std::mutex> lock(draw_mutex_);
    DrawLocked();
  }

  void DrawLocked() {
    if (!shown_ || !state_.visible) return;
    int percent = state_.percent < 0 ? 0 : state_.percent > 100 ? 100 : state_.percent;
    constexpr int kBarWidth = 24;
    int filled = percent * kBarWidth / 100;
    std::string line = "\r\033[K[" + std::string(filled, '#') +
                       std::string(kBarWidth - filled, '.') + "] " +
                       (percent < 10    ? "  "
                        : percent < 100 ? " "
                                        : "") +
                       std::to_string(percent) + "%  " + state_.status;
    std::size_t limit = static_cast<std::size_t>(TerminalWidth()) + 4;  // the escape codes
    for (char& c : line)
      if (c == '\n' || c == '\t') c = ' ';
    if (line.size() > limit) line.resize(limit);
    WriteAll(line);
  }

  int tty_ = -1;
  std::mutex input_mutex_;
  std::mutex draw_mutex_;
  ProgressState state_;
  bool shown_ = false;
};

}  // namespace

bool TerminalAvailable() { return isatty(STDERR_FILENO) == 1; }

std::unique_ptr<Backend> CreateTextBackend() { return std::make_unique<TextBackend>(); }

}  // namespace platform::ui::internal
