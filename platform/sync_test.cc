#include "platform/sync.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/paths.h"
#include "platform/process.h"
#include "platform/testing/temp_prefix.h"

namespace platform {
namespace {

const std::string kChild = ToWindowsPath(ZOMA_TEST_CHILD);
const std::string kName = "ZomaUp There Can Be Only One";

TEST(Sync, LockFileNamesAreSafe) {
  EXPECT_EQ(MutexFileName(kName), "ZomaUp%20There%20Can%20Be%20Only%20One");
  EXPECT_EQ(MutexFileName("a/b\\..:c"), "a%2Fb%5C..%3Ac");
  EXPECT_EQ(MutexFileName(".."), "%2E.");
  std::string long_a(400, 'a'), long_b = long_a + "b";
  EXPECT_LE(MutexFileName(long_a).size(), 200u);
  EXPECT_NE(MutexFileName(long_a), MutexFileName(long_b));
}

// The single-instance check: a try-take with zero time-out fails while another process
// holds the mutex, and succeeds once that process has ended.
TEST(Sync, NamedMutexHeldBySecondProcess) {
  testing::TempPrefix prefix;
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  CreateProcessOptions options;
  options.startup.flags = kStartfUseStdHandles;
  options.startup.std_output = out[1];
  ProcessInformation info;
  ASSERT_TRUE(CreateProcess("\"" + kChild + "\" mutex \"" + kName + "\" 60000", options, &info));
  close(out[1]);
  char held[5] = {};
  ASSERT_EQ(read(out[0], held, 4), 4);
  close(out[0]);
  EXPECT_STREQ(held, "held");

  MutexHandle mutex = CreateMutex(kName);
  ASSERT_TRUE(mutex.valid());
  EXPECT_EQ(WaitForMutex(mutex, 0), kWaitTimeout);
  EXPECT_EQ(WaitForMutex(mutex, 100), kWaitTimeout);
  // Killed while holding it: the kernel releases the lock.
  EXPECT_TRUE(TerminateProcess(info.process, 1));
  EXPECT_EQ(WaitForMutex(mutex, 10000), kWaitObject0);
  EXPECT_TRUE(ReleaseMutex(mutex));

  // And the other way round: held here, a second process cannot take it at once.
  ASSERT_EQ(WaitForMutex(mutex, 0), kWaitObject0);
  ASSERT_TRUE(CreateProcess("\"" + kChild + "\" mutex \"" + kName + "\" 0", {}, &info));
  EXPECT_EQ(WaitForSingleObject(info.process, 300), kWaitTimeout);
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_EQ(WaitForSingleObject(info.process, 10000), kWaitObject0);
  std::uint32_t code = 1;
  EXPECT_TRUE(GetExitCodeProcess(info.process, &code));
  EXPECT_EQ(code, 0u);
}

// Windows mutexes belong to a thread and may be taken again by it.
TEST(Sync, OwnershipIsPerThreadAndRecursive) {
  testing::TempPrefix prefix;
  for (const std::string& name : {std::string("recursive test"), std::string()}) {
    SCOPED_TRACE(name);
    MutexHandle mutex = CreateMutex(name, true);
    EXPECT_EQ(GetLastError(), kErrorSuccess);
    EXPECT_EQ(WaitForMutex(mutex, 0), kWaitObject0);  // count 2
    std::atomic<std::uint32_t> other{1234};
    std::atomic<bool> not_owner_refused{false};
    std::thread thread([&] {
      not_owner_refused = !ReleaseMutex(mutex) && GetLastError() == kErrorNotOwner;
      other = WaitForMutex(mutex, kInfinite);
      ReleaseMutex(mutex);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(other.load(), 1234u);
    EXPECT_TRUE(ReleaseMutex(mutex));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(other.load(), 1234u);  // still held once
    EXPECT_TRUE(ReleaseMutex(mutex));
    thread.join();
    EXPECT_EQ(other.load(), kWaitObject0);
    EXPECT_TRUE(not_owner_refused.load());
    EXPECT_FALSE(ReleaseMutex(mutex));
  }
}

TEST(Sync, SameNameInOneProcessIsOneMutex) {
  testing::TempPrefix prefix;
  MutexHandle first = CreateMutex("shared");
  MutexHandle second = CreateMutex("shared");
  EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
  ASSERT_EQ(WaitForMutex(first, 0), kWaitObject0);
  EXPECT_EQ(WaitForMutex(second, 0), kWaitObject0);  // same object, same thread
  EXPECT_TRUE(ReleaseMutex(second));
  EXPECT_TRUE(ReleaseMutex(first));
  EXPECT_TRUE(CloseHandle(first));
  EXPECT_FALSE(first.valid());
  EXPECT_FALSE(CloseHandle(first));
  EXPECT_EQ(WaitForMutex(first, 0), kWaitFailed);
}

}  // namespace
}  // namespace platform
