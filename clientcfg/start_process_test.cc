#include "clientcfg/start_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "platform/paths.h"
#include "platform/testing/temp_prefix.h"

namespace clientcfg {
namespace {

// testchild.exe, by its Windows path, quoted.
std::string Child() { return "\"" + platform::ToWindowsPath(ZOMA_TEST_CHILD) + "\""; }

std::string ReadHostFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(StartProcess, OptionBits) {
  platform::testing::TempPrefix prefix;
  std::string marker = prefix.dir() + "/marker";

  // Wait: the child has run to its end when the call returns.
  ASSERT_TRUE(StartProcess(Child() + " append " + marker + " waited", kStartWait));
  EXPECT_EQ(ReadHostFile(marker), "waited\n");

  // Suspended with a record: nothing runs until resumed; the caller owns the handles.
  platform::ProcessInformation info;
  ASSERT_TRUE(StartProcess(Child() + " append " + marker + " resumed", kStartSuspended, &info));
  EXPECT_EQ(platform::WaitForSingleObject(info.process, 200), platform::kWaitTimeout);
  EXPECT_EQ(ReadHostFile(marker), "waited\n");
  platform::ResumeThread(info.thread);
  EXPECT_EQ(platform::WaitForSingleObject(info.process, 10000), platform::kWaitObject0);
  EXPECT_EQ(ReadHostFile(marker), "waited\nresumed\n");
  platform::CloseHandle(info.thread);
  platform::CloseHandle(info.process);

  // Suspended and wait together: the wait wins and the child runs.
  ASSERT_TRUE(StartProcess(Child() + " append " + marker + " both", kStartSuspended | kStartWait));
  EXPECT_EQ(ReadHostFile(marker), "waited\nresumed\nboth\n");

  EXPECT_FALSE(StartProcess("no-such-program.exe", 0));
}

}  // namespace
}  // namespace clientcfg
