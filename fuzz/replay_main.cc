// Entry point of a fuzz target built without libFuzzer: feeds every file named on the
// command line (directories: every file in them, in name order) to the target once, so
// that the kept corpus is replayed by the ordinary test run. Each input has a time
// limit; a hang ends the run with the input's name.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"

extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

constexpr unsigned kSecondsPerInput = 10;
const char* current_input = "";

void OnAlarm(int) {
  const char prefix[] = "fuzz replay: time limit exceeded on ";
  (void)!write(2, prefix, sizeof prefix - 1);
  (void)!write(2, current_input, std::char_traits<char>::length(current_input));
  (void)!write(2, "\n", 1);
  _exit(70);
}

std::vector<std::string> InputFiles(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    if (argv[i][0] == '-') continue;  // libFuzzer-style flags mean nothing here
    if (fs::is_directory(argv[i])) {
      std::vector<std::string> inside;
      for (const auto& entry : fs::directory_iterator(argv[i])) {
        if (entry.is_regular_file()) inside.push_back(entry.path().string());
      }
      std::sort(inside.begin(), inside.end());
      files.insert(files.end(), inside.begin(), inside.end());
    } else {
      files.push_back(argv[i]);
    }
  }
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
  std::vector<std::string> files = InputFiles(argc, argv);
  if (files.empty()) {
    std::fprintf(stderr, "usage: %s FILE_OR_DIRECTORY...\n", argv[0]);
    return 2;
  }
  signal(SIGALRM, OnAlarm);
  for (const std::string& file : files) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "fuzz replay: cannot read %s\n", file.c_str());
      return 1;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    current_input = file.c_str();
    alarm(kSecondsPerInput);
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    alarm(0);
  }
  std::printf("replayed %zu inputs\n", files.size());
  return 0;
}
