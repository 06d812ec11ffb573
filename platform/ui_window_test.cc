// Windows and message queues: posting and sending between threads, the quit message,
// timers, registered messages, and modeless dialogs that close on their own timer.
#include "platform/ui_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/testing/host_files.h"
#include "platform/testing/temp_prefix.h"

namespace platform::ui {
namespace {

using namespace std::chrono_literals;

// A window whose procedure records what it receives, in a class of its own.
class RecordingWindow {
 public:
  explicit RecordingWindow(const std::string& class_name, LResult answer = 0) {
    WindowClass window_class;
    window_class.name = class_name;
    window_class.procedure = [this, answer](WindowHandle w, std::uint32_t m, WParam wp,
                                            LParam lp) -> LResult {
      received.push_back({w, m, wp, lp});
      threads.push_back(std::this_thread::get_id());
      if (m == kWmDestroy) PostQuitMessage(static_cast<int>(quit_code));
      return m == kWmClose ? DefWindowProc(w, m, wp, lp) : answer;
    };
    EXPECT_TRUE(RegisterClass(window_class));
    handle = CreateWindow(class_name, "title", 0, 200, 200);
    EXPECT_NE(handle, 0u);
  }

  std::vector<std::uint32_t> Messages() const {
    std::vector<std::uint32_t> messages;
    for (const Message& m : received) messages.push_back(m.message);
    return messages;
  }

  WindowHandle handle = 0;
  WParam quit_code = 0;
  std::vector<Message> received;
  std::vector<std::thread::id> threads;
};

// Runs the loop until WM_QUIT; its code.
int RunLoop() {
  Message message;
  while (GetMessage(&message)) DispatchMessage(message);
  return static_cast<int>(message.wparam);
}

TEST(UiWindow, ClassesAndRegisteredMessages) {
  WindowClass window_class;
  window_class.name = "UiWindowClassTest";
  window_class.procedure = DefWindowProc;
  EXPECT_TRUE(RegisterClass(window_class));
  window_class.name = "uiwindowclasstest";
  EXPECT_FALSE(RegisterClass(window_class));  // names ignore case
  window_class.procedure = nullptr;
  window_class.name = "NoProcedure";
  EXPECT_FALSE(RegisterClass(window_class));
  EXPECT_EQ(CreateWindow("NoSuchClass", "t", 0, 1, 1), 0u);

  std::uint32_t autoplay = RegisterWindowMessage("QueryCancelAutoPlay");
  EXPECT_GE(autoplay, 0xC000u);
  EXPECT_LE(autoplay, 0xFFFFu);
  EXPECT_EQ(RegisterWindowMessage("querycancelautoplay"), autoplay);
  EXPECT_NE(RegisterWindowMessage("SomethingElse"), autoplay);
  EXPECT_EQ(RegisterWindowMessage(""), 0u);
}

TEST(UiWindow, PostedMessagesComeInOrderAndQuitLast) {
  RecordingWindow window("UiWindowOrder");
  window.quit_code = 4;
  PostMessage(window.handle, kWmUser + 1, 10, 20);
  PostMessage(window.handle, kWmUser + 2, 0, 0);
  PostMessage(window.handle, kWmClose, 0, 0);
  PostMessage(window.handle, kWmUser + 3, 0, 0);  // after the close: for a window gone
  EXPECT_EQ(RunLoop(), 4);
  EXPECT_EQ(window.Messages(),
            (std::vector<std::uint32_t>{kWmUser + 1, kWmUser + 2, kWmClose, kWmDestroy}));
  EXPECT_EQ(window.received[0].wparam, 10u);
  EXPECT_EQ(window.received[0].lparam, 20);
  EXPECT_FALSE(IsWindow(window.handle));
  EXPECT_FALSE(PostMessage(window.handle, kWmUser, 0, 0));
}

TEST(UiWindow, OtherThreadsPostAndSendToTheOwner) {
  RecordingWindow window("UiWindowThreads", 77);
  std::atomic<LResult> sent_answer{0};
  std::atomic<bool> destroy_refused{false};
  std::thread worker([&] {
    PostMessage(window.handle, kWmUser + 1, 0, 0);
    sent_answer = SendMessage(window.handle, kWmUser + 2, 0, 0);
    destroy_refused = !DestroyWindow(window.handle);  // not the owner
    PostMessage(window.handle, kWmClose, 0, 0);
  });
  EXPECT_EQ(RunLoop(), 0);
  worker.join();
  EXPECT_EQ(sent_answer.load(), 77);
  EXPECT_TRUE(destroy_refused.load());
  // A sent message may overtake a posted one: sent messages run first.
  std::vector<std::uint32_t> messages = window.Messages();
  ASSERT_EQ(messages.size(), 4u);
  std::sort(messages.begin(), messages.begin() + 2);
  EXPECT_EQ(messages, (std::vector<std::uint32_t>{kWmUser + 1, kWmUser + 2, kWmClose, kWmDestroy}));
  for (std::thread::id thread : window.threads) EXPECT_EQ(thread, std::this_thread::get_id());
}

TEST(UiWindow, TimersRepeatUntilKilled) {
  RecordingWindow window("UiWindowTimers");
  ASSERT_EQ(SetTimer(window.handle, 7, 20), 7u);
  auto start = std::chrono::steady_clock::now();
  int ticks = 0;
  Message message;
  while (ticks < 3 && GetMessage(&message)) {
    DispatchMessage(message);
    if (message.message == kWmTimer && message.wparam == 7) ++ticks;
  }
  EXPECT_GE(std::chrono::steady_clock::now() - start, 55ms);
  EXPECT_TRUE(KillTimer(window.handle, 7));
  EXPECT_FALSE(KillTimer(window.handle, 7));
  EXPECT_FALSE(PeekMessage(&message, true));
  EXPECT_FALSE(WaitForThreadMessage(60));  // the killed timer stays quiet
  SetTimer(window.handle, 8, 10);
  DestroyWindow(window.handle);  // its timers go with it
  ASSERT_TRUE(PeekMessage(&message, true));
  EXPECT_EQ(message.message, kWmQuit);  // what the window posted as it went
  EXPECT_FALSE(WaitForThreadMessage(40));
}

TEST(UiWindow, DialogClosesOnItsOwnTimerAndIsRecorded) {
  testing::TempPrefix prefix;
  std::string log = prefix.dir() + "/ui.log";
  setenv("ZOMA_UI_LOG", log.c_str(), 1);
  std::vector<std::uint32_t> seen;
  LParam init = 0;
  auto procedure = [&](WindowHandle dialog, std::uint32_t message, WParam,
                       LParam lparam) -> LResult {
    seen.push_back(message);
    if (message == kWmInitDialog) {
      init = lparam;
      SetTimer(dialog, 1, static_cast<std::uint32_t>(lparam));
      return 1;
    }
    if (message == kWmTimer) {
      DestroyWindow(dialog);
      return 1;
    }
    return 0;
  };
  WindowHandle dialog = CreateTextDialog({107, "Caption", "Starting\tnow"}, 0, procedure, 30);
  ASSERT_NE(dialog, 0u);
  EXPECT_EQ(init, 30);
  EXPECT_TRUE(IsWindow(dialog));
  Message message;
  while (IsWindow(dialog) && WaitForThreadMessage(1000) && PeekMessage(&message, true))
    DispatchMessage(message);
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_EQ(seen, (std::vector<std::uint32_t>{kWmInitDialog, kWmTimer, kWmDestroy}));
  unsetenv("ZOMA_UI_LOG");
  EXPECT_EQ(testing::ReadHostFile(log),
            "modeless\tshow\t107\tCaption\tStarting\\tnow\nmodeless\tclose\t107\n");
}

TEST(UiWindow, MediaArrivalAsksEveryWindow) {
  std::uint32_t query = RegisterWindowMessage("QueryCancelAutoPlay");
  RecordingWindow quiet("UiWindowAutoPlayQuiet", 0);
  EXPECT_FALSE(AnnounceMediaArrival('d'));
  RecordingWindow cancelling("UiWindowAutoPlayCancel", 1);
  // Asked from another thread, as the shell asks.
  std::atomic<bool> cancelled{false};
  std::thread shell([&] {
    cancelled = AnnounceMediaArrival('D');
    PostMessage(cancelling.handle, kWmClose, 0, 0);
  });
  EXPECT_EQ(RunLoop(), 0);
  shell.join();
  EXPECT_TRUE(cancelled.load());
  EXPECT_EQ(cancelling.received.front().message, query);
  DestroyWindow(quiet.handle);
}

}  // namespace
}  // namespace platform::ui
