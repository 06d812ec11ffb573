#include "platform/ui.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace platform::ui {
namespace {

// Runs with the silent backend and a transcript in a fresh file.
class UiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("ZOMA_UI", "none", 1);
    log_ = ::testing::TempDir() + "ui-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log";
    unlink(log_.c_str());
    setenv("ZOMA_UI_LOG", log_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("ZOMA_UI_LOG");
    unsetenv("ZOMA_UI_ANSWERS");
    unsetenv("ZOMA_UI_PRESS");
    unlink(log_.c_str());
  }
  std::string Transcript() const {
    std::ifstream in(log_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::string log_;
};

TEST_F(UiTest, MessageBoxesTakeScriptedAnswersThenTheirDefault) {
  EXPECT_EQ(BackendName(), "none");
  setenv("ZOMA_UI_ANSWERS", "IDNO,cancel,6,IDRETRY", 1);
  EXPECT_EQ(MessageBox(nullptr, "Stop?", "Q", kMbYesNo), kIdNo);
  EXPECT_EQ(MessageBox(nullptr, "Free space\nplease", "D", kMbOkCancel | kMbIconExclamation),
            kIdCancel);
  EXPECT_EQ(MessageBox(nullptr, "again", "", kMbYesNoCancel | kMbDefButton2), kIdYes);
  // IDRETRY is no button of an OK box: the default is taken.
  EXPECT_EQ(MessageBox(nullptr, "x", "", kMbOk), kIdOk);
  // The list is used up: default buttons from here on.
  EXPECT_EQ(MessageBox(nullptr, "y", "", kMbYesNoCancel | kMbDefButton3), kIdCancel);
  EXPECT_EQ(MessageBox(nullptr, "z", "", kMbAbortRetryIgnore | kMbDefButton2), kIdRetry);
  EXPECT_EQ(Transcript(),
            "messagebox\tQ\t00000004\tStop?\tIDNO\n"
            "messagebox\tD\t00000031\tFree space\\nplease\tIDCANCEL\n"
            "messagebox\t\t00000103\tagain\tIDYES\n"
            "messagebox\t\t00000000\tx\tIDOK\n"
            "messagebox\t\t00000203\ty\tIDCANCEL\n"
            "messagebox\t\t00000102\tz\tIDRETRY\n");
}

TEST_F(UiTest, ProgressWindowUpdatesFromAnotherThreadAndScriptedPresses) {
  setenv("ZOMA_UI_PRESS", "Cancel@Retrying channel|Enter@never shown", 1);
  std::vector<Command> received;
  auto window = CreateProgressWindow({"Zoma Software Updater", "Initializing..."},
                                     [&](Command c) { received.push_back(c); });
  std::thread worker([&] {
    window->SetProgress(10);
    window->SetProgress(10);  // no change, no line
    window->SetStatus("Retrying channel: Zoma/Programs...");
    window->SetStatus("Retrying channel: Zoma/Programs...");  // fires only once
  });
  worker.join();
  EXPECT_TRUE(received.empty());  // commands arrive only through the pump
  PumpMessages();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0], Command::kCancel);
  window->Close();
  EXPECT_FALSE(window->Exists());
  window->SetStatus("after close");  // ignored
  PumpMessages();
  EXPECT_EQ(Transcript(),
            "window\tshow\tZoma Software Updater\n"
            "status\tInitializing...\n"
            "progress\t10\n"
            "status\tRetrying channel: Zoma/Programs...\n"
            "status\tRetrying channel: Zoma/Programs...\n"
            "command\tCancel\n"
            "window\tclose\n");
}

TEST_F(UiTest, WaitingForMessagesEndsWhenAnotherThreadChangesTheWindow) {
  std::vector<Command> received;
  setenv("ZOMA_UI_PRESS", "Enter@Done", 1);
  auto window = CreateProgressWindow({"Zoma Software Updater", "Initializing..."},
                                     [&](Command c) { received.push_back(c); });
  std::thread worker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    window->SetStatus("Done");
  });
  // Without the wake-up this would sleep the full minute; the command shows it ended
  // early and delivered what was pending.
  auto start = std::chrono::steady_clock::now();
  while (received.empty() && std::chrono::steady_clock::now() - start < std::chrono::seconds(30))
    WaitForMessages(60000);
  worker.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0], Command::kEnter);
  window->Close();
  PumpMessages();
}

TEST(UiNames, ResultsAndDefaults) {
  EXPECT_EQ(ResultFromName("IDYES"), kIdYes);
  EXPECT_EQ(ResultFromName("no"), kIdNo);
  EXPECT_EQ(ResultFromName(" 2 "), kIdCancel);
  EXPECT_EQ(ResultFromName("maybe"), 0);
  EXPECT_EQ(ResultName(kIdIgnore), "IDIGNORE");
  EXPECT_EQ(DefaultResult(kMbYesNo | kMbDefButton2), kIdNo);
  EXPECT_EQ(DefaultResult(kMbOk | kMbDefButton3), kIdOk);  // no third button
  EXPECT_EQ(GetSystemMetrics(0), 1024);
  EXPECT_EQ(GetSystemMetrics(76), 76);  // CMETRICS
  EXPECT_EQ(GetSystemMetrics(7), GetSystemMetrics(7));
  EXPECT_EQ(GetSystemMetrics(-1), 0);
}

}  // namespace
}  // namespace platform::ui
