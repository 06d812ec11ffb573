// The patch file reader against well-formed and hostile input.
#include "patchlib/patch_file.h"

#include <gtest/gtest.h>

namespace patchlib {
namespace {

Patch SamplePatch(std::string* storage) {
  *storage = "delta bytes";
  Patch patch;
  Entry delta;
  delta.action = Action::kDelta;
  delta.has_source = true;
  delta.name = "Programs\\game.exe";
  delta.source_size = 10;
  delta.source_sha256 = Sha256("old");
  delta.result_size = 12;
  delta.result_sha256 = Sha256("new");
  delta.data = *storage;
  Entry removal;
  removal.action = Action::kDelete;
  removal.has_source = true;
  removal.name = "old.txt";
  patch.entries = {delta, removal};
  return patch;
}

TEST(PatchFile, RoundTrip) {
  std::string storage, error;
  std::string bytes = SerializePatch(SamplePatch(&storage));
  Patch parsed;
  ASSERT_TRUE(ParsePatch(bytes, &parsed, &error)) << error;
  ASSERT_EQ(parsed.entries.size(), 2u);
  EXPECT_EQ(parsed.entries[0].name, "Programs\\game.exe");
  EXPECT_EQ(parsed.entries[0].action, Action::kDelta);
  EXPECT_EQ(parsed.entries[0].data, "delta bytes");
  EXPECT_EQ(parsed.entries[0].result_sha256, Sha256("new"));
  EXPECT_EQ(parsed.entries[1].action, Action::kDelete);
}

TEST(PatchFile, RejectsDamagedAndTruncatedFiles) {
  std::string storage, error;
  const std::string bytes = SerializePatch(SamplePatch(&storage));
  Patch parsed;
  for (std::size_t n = 0; n < bytes.size(); ++n)
    EXPECT_FALSE(ParsePatch(bytes.substr(0, n), &parsed, &error)) << n;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::string damaged = bytes;
    damaged[i] ^= 0x20;
    EXPECT_FALSE(ParsePatch(damaged, &parsed, &error)) << i;
  }
}

// The digest only proves the file is whole; what it says must still be sane.
TEST(PatchFile, RejectsUnsafeOrInconsistentEntriesEvenWithAGoodDigest) {
  std::string storage, error;
  Patch parsed;
  for (const char* name : {"..\\evil.dll", "\\abs.txt", "C:\\x", "a\\\\b", "a/b", "dir\\...",
                           "a\\.\\b", "trail.", "", "con:"}) {
    Patch patch = SamplePatch(&storage);
    patch.entries[0].name = name;
    EXPECT_FALSE(ParsePatch(SerializePatch(patch), &parsed, &error)) << name;
  }
  Patch twice = SamplePatch(&storage);
  twice.entries[1].name = "PROGRAMS\\GAME.EXE";
  EXPECT_FALSE(ParsePatch(SerializePatch(twice), &parsed, &error));

  Patch sourceless = SamplePatch(&storage);
  sourceless.entries[0].has_source = false;  // a delta needs its source version
  EXPECT_FALSE(ParsePatch(SerializePatch(sourceless), &parsed, &error));

  Patch huge = SamplePatch(&storage);
  huge.entries[0].result_size = kMaxFileSize + 1;
  EXPECT_FALSE(ParsePatch(SerializePatch(huge), &parsed, &error));

  // A count far beyond the bytes present is refused before anything is reserved.
  std::string bytes = SerializePatch(Patch{});
  bytes[12] = '\xff';
  bytes[13] = '\xff';
  bytes[14] = '\xff';
  bytes[15] = '\x7f';
  bytes.resize(bytes.size() - 32);
  Digest digest = Sha256(bytes);
  bytes.append(reinterpret_cast<const char*>(digest.data()), 32);
  EXPECT_FALSE(ParsePatch(bytes, &parsed, &error));
  EXPECT_EQ(error, "entry count out of range");
}

}  // namespace
}  // namespace patchlib
