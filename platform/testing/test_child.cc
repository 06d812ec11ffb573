// A small program that process tests start: it reports what it received and acts on
// request (exit codes, sleeping, starting a grandchild, holding a named mutex).
//
//   testchild args             argv, GetCommandLine and the show state, one per line
//   testchild exit N           exits with code N
//   testchild sleep MS         sleeps, then exits 0
//   testchild grandchild MS    starts "testchild sleep MS", prints its pid, exits
//   testchild mutex NAME MS    takes the named mutex, prints "held", keeps it MS
//   testchild cwd              prints the host current directory
//   testchild cat              copies standard input to standard output
//   testchild stderr TEXT      writes TEXT to standard error
//   testchild nice             prints its nice value
//   testchild append FILE TEXT appends TEXT and a line end to a host file
//   testchild env NAME         prints the variable's value (or "<unset>")
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>

#include "platform/process.h"
#include "platform/program_search.h"
#include "platform/sync.h"

namespace {

void SleepMs(const char* text) {
  std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(text)));
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "args") {
    for (int i = 0; i < argc; ++i) std::cout << "argv[" << i << "]=" << argv[i] << "\n";
    std::cout << "cmdline=" << platform::GetCommandLine() << "\n";
    platform::StartupInfo startup = platform::GetStartupInfo();
    if (startup.flags & platform::kStartfUseShowWindow)
      std::cout << "show=" << startup.show_window << "\n";
    return 0;
  }
  if (mode == "exit" && argc > 2) return std::atoi(argv[2]);
  if (mode == "sleep" && argc > 2) {
    SleepMs(argv[2]);
    return 0;
  }
  if (mode == "grandchild" && argc > 2) {
    std::string self = platform::RunningProgramHostPath();
    platform::ProcessInformation info;
    if (!platform::CreateProcess("\"" + self + "\" sleep " + argv[2], {}, &info)) return 2;
    std::cout << info.process_id << std::endl;
    return 0;
  }
  if (mode == "mutex" && argc > 3) {
    platform::MutexHandle mutex = platform::CreateMutex(argv[2]);
    if (platform::WaitForMutex(mutex, platform::kInfinite) != platform::kWaitObject0) return 3;
    std::cout << "held" << std::endl;
    SleepMs(argv[3]);
    return 0;
  }
  if (mode == "cwd") {
    char buffer[4096];
    std::cout << (getcwd(buffer, sizeof buffer) ? buffer : "?") << "\n";
    return 0;
  }
  if (mode == "cat") {
    std::cout << std::cin.rdbuf();
    return 0;
  }
  if (mode == "stderr" && argc > 2) {
    std::cerr << argv[2];
    return 0;
  }
  if (mode == "nice") {
    std::cout << getpriority(PRIO_PROCESS, 0) << "\n";
    return 0;
  }
  if (mode == "append" && argc > 3) {
    FILE* file = std::fopen(argv[2], "a");
    if (!file) return 4;
    std::fprintf(file, "%s\n", argv[3]);
    std::fclose(file);
    return 0;
  }
  if (mode == "env" && argc > 2) {
    const char* value = std::getenv(argv[2]);
    std::cout << (value ? value : "<unset>") << "\n";
    return 0;
  }
  return 1;
}
