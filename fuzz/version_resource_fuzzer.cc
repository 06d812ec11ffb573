// Version resources: the input as a PE or ELF image and as a bare version block, queried
// by the paths the script built-ins use. Only crashes and hangs count.
#include "fuzz/fuzz_input.h"
#include "platform/version_resource.h"

namespace {

void QueryAll(std::string_view block) {
  static const char* const kPaths[] = {"\\",
                                       "\\VarFileInfo\\Translation",
                                       "\\StringFileInfo\\040904E4\\FileVersion",
                                       "\\StringFileInfo\\040904E4\\OLESelfRegister",
                                       "\\StringFileInfo",
                                       "\\\\x\\\\"};
  for (const char* path : kPaths) {
    if (auto value = platform::QueryVersionValue(block, path)) {
      platform::FixedFileInfo fixed;
      platform::ParseFixedFileInfo(*value, &fixed);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input = fuzz::AsText(data, size);
  if (auto block = platform::FindVersionBlock(input)) {
    fuzz::Require(platform::IsVersionBlock(*block), "a found block is a block");
    QueryAll(*block);
  }
  platform::FindPeVersionBlock(input);
  platform::FindElfVersionBlock(input);
  QueryAll(input);
  return 0;
}
