// Windows path texts: full-path folding, name checks, short names, wildcard matching and
// %VARIABLE% expansion are string work that must end in a result for any text. The
// input is a path, then (after NUL bytes) names to match it against as a pattern and
// to list as a directory with it.
#include "fuzz/fuzz_input.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/short_names.h"
#include "platform/testing/temp_prefix.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Relative paths are taken from the current directory, which lives in a prefix.
  static platform::testing::TempPrefix prefix;  // removed at exit
  std::vector<std::string> parts = fuzz::SplitAtNul(fuzz::AsText(data, size));
  const std::string& path = parts[0];
  const std::string name = parts.size() > 1 ? parts[1] : std::string();

  platform::GetFullPathName(path);
  char buffer[300];
  char* file_part = nullptr;
  for (std::uint32_t buffer_size : {0u, 1u, 4u, 300u}) {
    std::uint32_t length = platform::GetFullPathName(path.c_str(), buffer_size, buffer, &file_part);
    if (length != 0 && length < buffer_size) {
      fuzz::Require(buffer[length] == '\0', "a full path is terminated where its length says");
      fuzz::Require(file_part == nullptr || (file_part >= buffer && file_part <= buffer + length),
                    "the file part lies inside the full path");
    }
  }
  platform::IsValidLongName(path);
  platform::MatchesWildcard(path, name);

  platform::IsShortName(path);
  std::vector<std::string> short_names = platform::GenerateShortNames(parts);
  fuzz::Require(short_names.size() == parts.size(), "every name gets its short-name slot");

  std::string expanded = platform::ExpandEnvironmentStrings(path);
  std::uint32_t needed = platform::ExpandEnvironmentStrings(path.c_str(), buffer, sizeof buffer);
  fuzz::Require(needed == expanded.size() + 1, "both forms of expansion agree on the size");
  if (needed <= sizeof buffer) fuzz::Require(expanded == buffer, "both forms expand alike");
  platform::WindowsPathListToHost(path);
  platform::HostPathListToWindows(path);
  return 0;
}
