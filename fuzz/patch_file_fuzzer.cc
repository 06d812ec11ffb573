// Patch files: parsing ends in a patch or a refusal, and a parsed patch written out
// again parses to the same entries. Each input is tried as it is and with its trailing
// digest made right, so that mutations reach the entries behind the digest check.
#include "fuzz/fuzz_input.h"
#include "patchlib/patch_file.h"

namespace {

void Check(std::string_view bytes) {
  patchlib::Patch patch;
  std::string error;
  if (!patchlib::ParsePatch(bytes, &patch, &error)) return;
  const std::string again = patchlib::SerializePatch(patch);
  patchlib::Patch reparsed;
  fuzz::Require(patchlib::ParsePatch(again, &reparsed, &error), "a written patch parses");
  fuzz::Require(reparsed.entries.size() == patch.entries.size(), "same entry count");
  for (std::size_t i = 0; i < patch.entries.size(); ++i) {
    fuzz::Require(reparsed.entries[i].name == patch.entries[i].name, "same name");
    fuzz::Require(reparsed.entries[i].data == patch.entries[i].data, "same data");
    fuzz::Require(reparsed.entries[i].result_sha256 == patch.entries[i].result_sha256,
                  "same digest");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input = fuzz::AsText(data, size);
  Check(input);
  if (size >= 32) {
    std::string fixed(input.substr(0, size - 32));
    const patchlib::Digest digest = patchlib::Sha256(fixed);
    fixed.append(reinterpret_cast<const char*>(digest.data()), digest.size());
    Check(fixed);
  }
  return 0;
}
