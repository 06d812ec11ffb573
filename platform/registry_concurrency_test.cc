// Several processes share one registry database: writes from two processes at the same
// moment all land, and a database another process keeps locked gives a clear code.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <thread>

#include "platform/registry.h"
#include "platform/testing/temp_prefix.h"

namespace platform::reg {
namespace {

constexpr int kWritesPerWriter = 150;
constexpr const char* kShared = "HKLM\\Software\\Shared";

// Runs in a child: writes its own values and a shared one; the exit code counts failures.
int WriteMany(const std::string& tag) {
  int failures = 0;
  for (int i = 0; i < kWritesPerWriter; ++i) {
    if (WriteString(kShared, tag + std::to_string(i), tag) != kErrorSuccess) ++failures;
    if (WriteDword(kShared, "Last", static_cast<std::uint32_t>(i)) != kErrorSuccess) ++failures;
    if (!ReadString(kShared, tag + std::to_string(i))) ++failures;
  }
  return failures > 125 ? 125 : failures;
}

TEST(RegistryConcurrencyTest, TwoProcessesWritingAtOnceLoseNothing) {
  testing::TempPrefix prefix;
  // The parent has used the registry before forking; each child must open its own.
  ASSERT_EQ(WriteString(kShared, "Parent", "p"), kErrorSuccess);
  pid_t children[2];
  for (int n = 0; n < 2; ++n) {
    children[n] = fork();
    ASSERT_GE(children[n], 0);
    if (children[n] == 0) _exit(WriteMany(n == 0 ? "first" : "second"));
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "failed writes in child " << child;
  }
  ScopedKey key;
  ASSERT_EQ(OpenKey(kLocalMachine, "Software\\Shared", kKeyRead, key.out()), kErrorSuccess);
  KeyInfo info;
  ASSERT_EQ(QueryInfoKey(key.get(), &info), kErrorSuccess);
  EXPECT_EQ(info.values, 2u + 2 * kWritesPerWriter);
  EXPECT_EQ(ReadString(kShared, "Parent"), "p");
  EXPECT_EQ(ReadDword(kShared, "Last"), kWritesPerWriter - 1u);
}

TEST(RegistryConcurrencyTest, ProcessesOpeningAFreshRegistryAtOnceAllSucceed) {
  for (int trial = 0; trial < 5; ++trial) {
    testing::TempPrefix prefix;  // nothing has opened this registry yet
    pid_t children[4];
    for (int n = 0; n < 4; ++n) {
      children[n] = fork();
      ASSERT_GE(children[n], 0);
      if (children[n] == 0)
        _exit(WriteString(kShared, "Writer " + std::to_string(n), "w") == kErrorSuccess ? 0 : 1);
    }
    for (pid_t child : children) {
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, 0), child);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "trial " << trial;
    }
    for (int n = 0; n < 4; ++n) EXPECT_EQ(ReadString(kShared, "Writer " + std::to_string(n)), "w");
  }
}

TEST(RegistryConcurrencyTest, AWriterKilledMidwayLosesNoCommittedWrite) {
  testing::TempPrefix prefix;
  int pipe_ends[2];
  ASSERT_EQ(pipe(pipe_ends), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(pipe_ends[0]);
    for (std::uint32_t i = 0;; ++i) {
      if (WriteDword(kShared, "Value " + std::to_string(i), i) != kErrorSuccess) _exit(1);
      if (write(pipe_ends[1], &i, sizeof i) != sizeof i) _exit(1);  // i is committed
    }
  }
  close(pipe_ends[1]);
  std::uint32_t committed = 0, last = 0;
  while (committed < 40 && read(pipe_ends[0], &last, sizeof last) == sizeof last) ++committed;
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  while (read(pipe_ends[0], &last, sizeof last) == sizeof last) ++committed;
  close(pipe_ends[0]);
  ASSERT_GE(committed, 40u);
  for (std::uint32_t i = 0; i < committed; ++i)
    ASSERT_EQ(ReadDword(kShared, "Value " + std::to_string(i)), i);
  EXPECT_EQ(WriteString(kShared, "After", "a"), kErrorSuccess);
}

TEST(RegistryConcurrencyTest, ThreadsShareTheStore) {
  testing::TempPrefix prefix;
  std::thread other([] { EXPECT_EQ(WriteMany("thread"), 0); });
  EXPECT_EQ(WriteMany("main"), 0);
  other.join();
  ScopedKey key;
  ASSERT_EQ(OpenKey(kLocalMachine, "Software\\Shared", kKeyRead, key.out()), kErrorSuccess);
  KeyInfo info;
  ASSERT_EQ(QueryInfoKey(key.get(), &info), kErrorSuccess);
  EXPECT_EQ(info.values, 1u + 2 * kWritesPerWriter);
}

TEST(RegistryConcurrencyTest, WriterLockedOutGetsAClearCodeAndReadersGoOn) {
  testing::TempPrefix prefix;
  ASSERT_EQ(WriteString(kShared, "Before", "b"), kErrorSuccess);
  // Another connection holds the write lock for longer than the busy timeout.
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open((prefix.dir() + "/registry.db").c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  EXPECT_EQ(WriteString(kShared, "During", "d"), kErrorRegistryIoFailed);
  EXPECT_EQ(ReadString(kShared, "Before"), "b");
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_EQ(WriteString(kShared, "After", "a"), kErrorSuccess);
}

}  // namespace
}  // namespace platform::reg
