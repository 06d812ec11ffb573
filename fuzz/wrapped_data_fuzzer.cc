// The wrapped data container: unwrapping any bytes ends in data or a refusal, and
// wrapping then unwrapping gives the input back.
#include "clientcfg/wrapped_data.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes = fuzz::AsText(data, size);
  for (std::string_view magic : {clientcfg::kLaunchFileMagic, clientcfg::kCookedScriptMagic}) {
    clientcfg::UnwrapData(bytes, magic);
    if (std::optional<std::string> wrapped = clientcfg::WrapData(bytes, magic)) {
      std::optional<std::string> unwrapped = clientcfg::UnwrapData(*wrapped, magic);
      fuzz::Require(unwrapped && *unwrapped == bytes, "unwrapping a wrapped block gives it back");
    }
  }
  return 0;
}
