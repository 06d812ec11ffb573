#include "platform/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/command_line.h"
#include "platform/paths.h"
#include "platform/testing/host_files.h"
#include "platform/testing/temp_prefix.h"

namespace platform {
namespace {

const std::string kChildHost = ZOMA_TEST_CHILD;
const std::string kChild = ToWindowsPath(kChildHost);

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

using testing::HostFileExists;
using testing::ReadHostFile;

// Runs a command line to its end with standard output captured.
struct Captured {
  bool started = false;
  std::uint32_t exit_code = 0;
  std::string output;
};
Captured RunCaptured(const std::string& command_line, CreateProcessOptions options = {}) {
  char path[] = "/tmp/zoma-capture-XXXXXX";
  int fd = mkstemp(path);
  options.startup.flags |= kStartfUseStdHandles;
  options.startup.std_output = fd;
  ProcessInformation info;
  Captured result;
  result.started = CreateProcess(command_line, options, &info);
  if (result.started) {
    EXPECT_EQ(WaitForSingleObject(info.process, 10000), kWaitObject0);
    EXPECT_TRUE(GetExitCodeProcess(info.process, &result.exit_code));
  }
  close(fd);
  result.output = ReadHostFile(path);
  unlink(path);
  return result;
}

// Windows behaviour: the child's C runtime splits the line it was given, and
// GetCommandLine in the child returns that line byte for byte.
TEST(Process, CommandLineReachesChildExactly) {
  const std::string lines[] = {
      Quoted(kChild) + " args plain \"with space\" tail",
      Quoted(kChild) + " args \"quote\\\"inside\" back\\\\slash \"trail\\\\\" \"\"",
      Quoted(kChild) + " args a\\\\\\\"b  \"c\"\"d\"   x=\"y z\"\t/FIX 00001a2b",
      Quoted(kChild) + "  args \\\\server\\share\\ C:\\Program Files\\x \"\\\\\"",
  };
  for (const std::string& line : lines) {
    SCOPED_TRACE(line);
    Captured run = RunCaptured(line);
    ASSERT_TRUE(run.started);
    std::string expected;
    std::vector<std::string> argv = SplitCommandLine(line);
    for (std::size_t i = 0; i < argv.size(); ++i)
      expected += "argv[" + std::to_string(i) + "]=" + argv[i] + "\n";
    expected += "cmdline=" + line + "\n";
    EXPECT_EQ(run.output, expected);
  }
}

TEST(Process, ExitCodesStillActiveAndKeptAfterReaping) {
  ProcessInformation info;
  ASSERT_TRUE(CreateProcess(Quoted(kChild) + " sleep 300", {}, &info));
  std::uint32_t code = 0;
  EXPECT_TRUE(GetExitCodeProcess(info.process, &code));
  EXPECT_EQ(code, kStillActive);
  EXPECT_EQ(WaitForSingleObject(info.process, kInfinite), kWaitObject0);
  EXPECT_TRUE(GetExitCodeProcess(info.process, &code));
  EXPECT_EQ(code, 0u);

  ASSERT_TRUE(CreateProcess(Quoted(kChild) + " exit 42", {}, &info));
  std::uint32_t pid = info.process_id;
  EXPECT_EQ(WaitForSingleObject(info.thread, kInfinite), kWaitObject0);
  CloseHandle(info.process);
  CloseHandle(info.thread);
  EXPECT_FALSE(info.process.valid());
  // Reaped (no zombie left), yet a later query still answers.
  EXPECT_FALSE(HostFileExists("/proc/" + std::to_string(pid)));
  Handle again = OpenProcess(kProcessAllAccess, false, pid);
  ASSERT_TRUE(again.valid());
  EXPECT_TRUE(GetExitCodeProcess(again, &code));
  EXPECT_EQ(code, 42u);
}

TEST(Process, ChildrenNobodyWaitsForAreReapedToo) {
  ProcessInformation info;
  ASSERT_TRUE(CreateProcess(Quoted(kChild) + " exit 3", {}, &info));
  std::string proc = "/proc/" + std::to_string(info.process_id);
  CloseHandle(info.process);
  CloseHandle(info.thread);
  for (int i = 0; i < 500 && HostFileExists(proc); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(HostFileExists(proc));
}

TEST(Process, TimedWaitTimesOutAndTerminateSetsTheCode) {
  ProcessInformation info;
  ASSERT_TRUE(CreateProcess(Quoted(kChild) + " sleep 20000", {}, &info));
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitForSingleObject(info.process, 100), kWaitTimeout);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(90));
  EXPECT_EQ(WaitForSingleObject(info.process, 0), kWaitTimeout);
  EXPECT_TRUE(TerminateProcess(info.process, 7));
  EXPECT_EQ(WaitForSingleObject(info.process, 5000), kWaitObject0);
  std::uint32_t code = 0;
  EXPECT_TRUE(GetExitCodeProcess(info.process, &code));
  EXPECT_EQ(code, 7u);
  EXPECT_FALSE(TerminateProcess(info.process, 8));  // already ended
}

// The fix copy of the updater waits for its parent, which is not its child.
TEST(Process, WaitsForAProcessThatIsNotOurChild) {
  Captured run = RunCaptured(Quoted(kChild) + " grandchild 1500");
  ASSERT_TRUE(run.started);
  std::uint32_t pid = static_cast<std::uint32_t>(std::atoi(run.output.c_str()));
  ASSERT_GT(pid, 0u);
  Handle grandchild = OpenProcess(kSynchronize, false, pid);
  ASSERT_TRUE(grandchild.valid());
  std::uint32_t code = 0;
  EXPECT_TRUE(GetExitCodeProcess(grandchild, &code));
  EXPECT_EQ(code, kStillActive);
  EXPECT_EQ(WaitForSingleObject(grandchild, 10), kWaitTimeout);
  EXPECT_EQ(WaitForSingleObject(grandchild, 10000), kWaitObject0);
  EXPECT_FALSE(GetExitCodeProcess(grandchild, &code));
  EXPECT_EQ(GetLastError(), kErrorNotSupported);
}

TEST(Process, OpenProcessOfNoProcessFails) {
  EXPECT_FALSE(OpenProcess(kProcessAllAccess, false, 0).valid());
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  EXPECT_FALSE(OpenProcess(kProcessAllAccess, false, 0x7ffffff0).valid());
  Handle self = OpenProcess(kSynchronize, false, GetCurrentProcessId());
  EXPECT_EQ(WaitForSingleObject(self, 0), kWaitTimeout);
}

TEST(Process, SuspendedChildRunsOnlyAfterResume) {
  testing::TempPrefix prefix;
  std::string marker = prefix.dir() + "/ran";
  CreateProcessOptions options;
  options.creation_flags = kCreateSuspended;
  ProcessInformation info;
  ASSERT_TRUE(CreateProcess(Quoted(kChild) + " append " + marker + " yes", options, &info));
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_FALSE(HostFileExists(marker));
  EXPECT_EQ(WaitForSingleObject(info.process, 0), kWaitTimeout);
  EXPECT_EQ(ResumeThread(info.thread), 1u);
  EXPECT_EQ(ResumeThread(info.thread), 0u);
  EXPECT_EQ(WaitForSingleObject(info.process, 10000), kWaitObject0);
  EXPECT_EQ(ReadHostFile(marker), "yes\n");
}

TEST(Process, FindsProgramsLikeCreateProcess) {
  std::string dir = kChildHost.substr(0, kChildHost.rfind('/'));
  const char* old_path = std::getenv("PATH");
  std::string saved = old_path ? old_path : "";
  setenv("PATH", ("/nonexistent:" + dir).c_str(), 1);
  // A bare name without extension: found on PATH with ".exe" appended.
  Captured run = RunCaptured("testchild args one");
  setenv("PATH", saved.c_str(), 1);
  ASSERT_TRUE(run.started);
  EXPECT_NE(run.output.find("argv[0]=testchild\nargv[1]=args\nargv[2]=one\n"), std::string::npos);

  ProcessInformation info;
  EXPECT_FALSE(CreateProcess("no-such-program-here arg", {}, &info));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_FALSE(info.process.valid());
  testing::TempPrefix prefix;
  std::string text = prefix.drive_c() + "/text.exe";
  std::ofstream(text) << "not a program\n";
  chmod(text.c_str(), 0755);
  EXPECT_FALSE(CreateProcess("C:\\TEXT", {}, &info));
  EXPECT_EQ(GetLastError(), kErrorBadExeFormat);
  CreateProcessOptions exact;
  exact.application_name = kChild.substr(0, kChild.size() - 4);  // exactly: no ".exe" added
  EXPECT_FALSE(CreateProcess("testchild args", exact, &info));
  exact.application_name = kChild;
  EXPECT_TRUE(CreateProcess("whatever args", exact, &info));
  EXPECT_EQ(WaitForSingleObject(info.process, 10000), kWaitObject0);
}

TEST(Process, DirectoryEnvironmentShowStateAndPriority) {
  testing::TempPrefix prefix;
  CreateProcessOptions options;
  options.current_directory = "C:\\";
  Captured run = RunCaptured(Quoted(kChild) + " cwd", options);
  char real[4096];
  ASSERT_NE(realpath(prefix.drive_c().c_str(), real), nullptr);
  EXPECT_EQ(run.output, std::string(real) + "\n");

  options.current_directory = "C:\\missing";
  EXPECT_FALSE(RunCaptured(Quoted(kChild) + " cwd", options).started);
  EXPECT_EQ(GetLastError(), kErrorDirectory);

  CreateProcessOptions env;
  env.environment = std::vector<std::string>{"ZOMA_TEST_VALUE=a b=c", "ZOMA_CMDLINE=stale"};
  EXPECT_EQ(RunCaptured(Quoted(kChild) + " env ZOMA_TEST_VALUE", env).output, "a b=c\n");
  EXPECT_EQ(RunCaptured(Quoted(kChild) + " env HOME", env).output, "<unset>\n");
  // A block's PATH is in Windows form; the child, a host program, gets the host form.
  env.environment = std::vector<std::string>{"Path=Z:\\usr\\bin;Z:\\bin"};
  EXPECT_EQ(RunCaptured(Quoted(kChild) + " env PATH", env).output, "/usr/bin:/bin\n");

  CreateProcessOptions show;
  show.startup.flags = kStartfUseShowWindow;
  show.startup.show_window = kSwShowMinimized;
  EXPECT_NE(RunCaptured(Quoted(kChild) + " args", show).output.find("show=2\n"), std::string::npos);
  EXPECT_EQ(RunCaptured(Quoted(kChild) + " args").output.find("show="), std::string::npos);

  CreateProcessOptions idle;
  idle.creation_flags = kIdlePriorityClass;
  EXPECT_EQ(RunCaptured(Quoted(kChild) + " nice", idle).output, "19\n");
}

TEST(Process, DetachedChildHasNoConsoleHandles) {
  CreateProcessOptions options;
  options.creation_flags = kDetachedProcess;
  Captured run = RunCaptured(Quoted(kChild) + " cat", options);  // stdin is /dev/null: ends at once
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(run.output, "");
}

// The updater starts processes from its UI thread and its update thread at once.
TEST(Process, StartsAndWaitsFromSeveralThreads) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 8; ++i) {
        int expected = t * 10 + i;
        ProcessInformation info;
        if (!CreateProcess(Quoted(kChild) + " exit " + std::to_string(expected), {}, &info)) {
          ++failures[t];
          continue;
        }
        std::uint32_t code = 0;
        if (WaitForSingleObject(info.process, 10000) != kWaitObject0 ||
            !GetExitCodeProcess(info.process, &code) ||
            code != static_cast<std::uint32_t>(expected))
          ++failures[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}

TEST(Process, OwnCommandLineIsRebuiltWhenNotGiven) {
  // This test program was not started through CreateProcess with a matching line.
  EXPECT_FALSE(GetCommandLine().empty());
  EXPECT_EQ(SplitCommandLine(GetCommandLine()).size() >= 1, true);
  EXPECT_EQ(GetCurrentProcessId(), static_cast<std::uint32_t>(getpid()));
}

}  // namespace
}  // namespace platform
