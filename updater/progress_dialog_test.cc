#include "updater/progress_dialog.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/testing/temp_prefix.h"
#include "updater/string_table.h"
#include "updater/testing/fakes.h"

namespace zoma {
namespace {

namespace ui = platform::ui;

class ProgressDialogTest : public ::testing::Test {
 protected:
  ProgressDialogTest() {
    setenv("ZOMA_UI", "none", 1);
    transcript_ = prefix_.dir() + "/ui.log";
    setenv("ZOMA_UI_LOG", transcript_.c_str(), 1);
    dialog_.Create();
  }
  ~ProgressDialogTest() override {
    unsetenv("ZOMA_UI_LOG");
    unsetenv("ZOMA_UI_ANSWERS");
  }

  void Answer(const char* answers) { setenv("ZOMA_UI_ANSWERS", answers, 1); }

  std::string Transcript() {
    std::ifstream in(transcript_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  platform::testing::TempPrefix prefix_;
  std::string transcript_;
  testing::FakeSystemServices system_;
  UpdateLog log_{system_, [] { return std::optional<std::string>("C:\\ZOMA"); }};
  UpdateEngine engine_{system_, log_};
  ProgressDialog dialog_{system_, engine_};
};

TEST_F(ProgressDialogTest, CancelAsksAndNoGoesOn) {
  Answer("IDNO");
  dialog_.OnCommand(ui::Command::kCancel);
  EXPECT_FALSE(engine_.Stopped());
  EXPECT_TRUE(dialog_.Exists());
  dialog_.Status("Checking for update...");
  EXPECT_NE(Transcript().find("status\tChecking for update...\n"), std::string::npos);
  EXPECT_NE(Transcript().find("Do you still wish to stop the update?\tIDNO\n"), std::string::npos);
}

TEST_F(ProgressDialogTest, CancelWithYesStopsClosesAndTells) {
  Answer("IDYES");
  dialog_.OnCommand(ui::Command::kCancel);
  EXPECT_TRUE(engine_.Stopped());
  EXPECT_FALSE(dialog_.Exists());
  std::string transcript = Transcript();
  EXPECT_NE(transcript.find("window\tclose\n"), std::string::npos);
  EXPECT_NE(transcript.find(std::string("\t") + LoadResourceString(kStrUpdateCancelledNotice) +
                            "\tIDOK\n"),
            std::string::npos);
  // Nothing reaches a closed window.
  dialog_.Status("late");
  dialog_.Error("late error");
  EXPECT_EQ(Transcript(), transcript);
}

TEST_F(ProgressDialogTest, EnterFinishesThePassAtOnce) {
  engine_.StartSession("x");  // no table: the session ends at once
  engine_.JoinThread();
  dialog_.OnCommand(ui::Command::kEnter);
  EXPECT_FALSE(engine_.Busy());
  EXPECT_TRUE(engine_.Succeeded());
  EXPECT_FALSE(dialog_.Exists());
}

TEST_F(ProgressDialogTest, DiskSpaceQuestionOnlyWhenShort) {
  system_.free_space = 1000;
  EXPECT_TRUE(dialog_.DiskSpaceCheck(1000));
  EXPECT_EQ(Transcript().find("messagebox"), std::string::npos);
  Answer("IDCANCEL,IDOK");
  EXPECT_FALSE(dialog_.DiskSpaceCheck(1001));
  EXPECT_TRUE(dialog_.DiskSpaceCheck(3000000000u));
  std::string transcript = Transcript();
  EXPECT_NE(transcript.find("Please free 1001 bytes and click OK"), std::string::npos);
  EXPECT_NE(transcript.find("Please free 3000000000 bytes"), std::string::npos);
  EXPECT_NE(transcript.find("\t00000031\t"), std::string::npos);  // OK/Cancel, exclamation
  system_.free_space = std::nullopt;
  EXPECT_FALSE(dialog_.DiskSpaceCheck(0));
}

TEST_F(ProgressDialogTest, NoDiskSpaceQuestionOnceTheWindowIsGone) {
  system_.free_space = 10;
  for (ui::Command command : {ui::Command::kEnter, ui::Command::kCancel}) {
    dialog_.Create();
    Answer("IDYES,IDOK");
    dialog_.OnCommand(command);
    ASSERT_FALSE(dialog_.Exists());
    std::string transcript = Transcript();
    Answer("IDCANCEL");
    EXPECT_TRUE(dialog_.DiskSpaceCheck(1000));
    EXPECT_EQ(Transcript(), transcript);
  }
}

TEST_F(ProgressDialogTest, TimeRemainingCountsFromTheFirstRequest) {
  EXPECT_EQ(dialog_.TimeRemainingText(0), "Calculating time remaining...");
  system_.now += 120;
  EXPECT_EQ(dialog_.TimeRemainingText(50), "2 minutes remaining.");
  system_.now += 120;
  EXPECT_EQ(dialog_.TimeRemainingText(80), "1 minute remaining.");
}

}  // namespace
}  // namespace zoma
