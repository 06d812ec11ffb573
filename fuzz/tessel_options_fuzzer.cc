// tessel's command line: any argv (the input's NUL-separated parts after the program
// name) ends in options or a reason.
#include "fuzz/fuzz_input.h"
#include "tools/tessel/options.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> parts = fuzz::SplitAtNul(fuzz::AsText(data, size));
  std::vector<const char*> argv = {"tessel"};
  for (const std::string& part : parts) argv.push_back(part.c_str());
  argv.push_back(nullptr);
  tessel::Options options;
  std::string error;
  if (!tessel::ParseOptions(static_cast<int>(argv.size() - 1), argv.data(), &options, &error)) {
    fuzz::Require(!error.empty(), "a refused command line gets a reason");
  }
  return 0;
}
