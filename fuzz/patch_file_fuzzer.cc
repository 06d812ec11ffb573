// Patch files: parsing ends in a patch or a refusal, and a parsed patch written out
// again parses to the same entries.
#include "fuzz/fuzz_input.h"
#include "patchlib/patch_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  patchlib::Patch patch;
  std::string error;
  if (!patchlib::ParsePatch(fuzz::AsText(data, size), &patch, &error)) return 0;
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
  return 0;
}
