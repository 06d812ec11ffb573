// Debugger output reaches the transcript and the debug log; a break without a debugger
// lets the process go on.
#include "platform/debug_output.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>

#include "platform/testing/temp_prefix.h"

namespace platform {
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(DebugOutputTest, TextGoesToTranscriptAndLogAndBreakGoesOn) {
  testing::TempPrefix prefix;
  const std::string log = prefix.dir() + "/debug.log", ui = prefix.dir() + "/ui.log";
  setenv("ZOMA_DEBUG_LOG", log.c_str(), 1);
  setenv("ZOMA_UI_LOG", ui.c_str(), 1);
  OutputDebugString("first\r\n");
  OutputDebugString("second\tline\r\n");
  if (!IsDebuggerPresent()) DebugBreak();
  unsetenv("ZOMA_DEBUG_LOG");
  unsetenv("ZOMA_UI_LOG");
  EXPECT_EQ(Slurp(log), "first\r\nsecond\tline\r\n");
  EXPECT_EQ(Slurp(ui), "debug\tfirst\\r\\n\ndebug\tsecond\\tline\\r\\n\n");
}

}  // namespace
}  // namespace platform
