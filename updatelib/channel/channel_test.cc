// Round trips and refusals of the channel documents, signatures and codecs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "updatelib/channel/crypto.h"
#include "updatelib/channel/file_io.h"
#include "updatelib/channel/key_set.h"
#include "updatelib/channel/manifest.h"
#include "updatelib/channel/pointer.h"
#include "updatelib/channel/signed_text.h"
#include "updatelib/channel/zstd_codec.h"

namespace castanet {
namespace {

Manifest SampleManifest() {
  Manifest m;
  m.channel = "Zoma/Programs";
  m.version = 7;
  m.created = 1700000000;
  m.files.push_back({"Programs/ZomaUp.exe", 10, std::string(64, 'a'), 8, 0});
  m.files.push_back({"a dir/with space.txt", 0, std::string(64, 'b'), 9, kFileExecutable});
  m.patches.push_back({std::string(64, 'c'), std::string(64, 'a'), 3});
  return m;
}

TEST(Manifest, RoundTripAndRefusals) {
  Manifest parsed;
  std::string error;
  ASSERT_TRUE(ParseManifest(SerializeManifest(SampleManifest()), &parsed, &error)) << error;
  EXPECT_EQ(parsed.channel, "Zoma/Programs");
  EXPECT_EQ(parsed.version, 7u);
  ASSERT_EQ(parsed.files.size(), 2u);
  EXPECT_EQ(parsed.files[0].path, "Programs/ZomaUp.exe");  // sorted by path
  EXPECT_EQ(parsed.files[1].path, "a dir/with space.txt");
  EXPECT_EQ(parsed.files[1].flags, kFileExecutable);
  EXPECT_NE(parsed.FindPatch(std::string(64, 'c'), std::string(64, 'a')), nullptr);

  std::string base = SerializeManifest(SampleManifest());
  const char* bad_lines[] = {
      "file 1 "
      "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa 1 0 ../up\n",
      "file 1 "
      "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa 1 0 /abs\n",
      "file 1 "
      "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa 1 0 .CASTANET/x\n",
      "file 1 "
      "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa 1 0 c:\\x\n",
      "file 1 "
      "AAAA 1 0 x\n",
      "file -1 "
      "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa 1 0 x\n",
      "file 99999999999999999999999 "
      "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa 1 0 x\n",
      // Same name in another case: one file on Windows.
      "file 1 "
      "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa 1 0 PROGRAMS/zomaup.EXE\n",
      // A file used as a directory.
      "file 1 "
      "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa 1 0 programs\n",
      "version x\n",
  };
  for (const char* line : bad_lines) {
    EXPECT_FALSE(ParseManifest(base + line, &parsed, &error)) << line;
  }
  EXPECT_FALSE(ParseManifest("", &parsed, &error));
  EXPECT_FALSE(ParseManifest("castanet-manifest 1\nchannel x\n", &parsed, &error));
}

TEST(Pointer, RoundTripAndLayout) {
  Pointer p{"Zoma/Zoma", 3, std::string(64, 'd'), 1234, 99};
  Pointer q;
  std::string error;
  ASSERT_TRUE(ParsePointer(SerializePointer(p), &q, &error)) << error;
  EXPECT_EQ(q.channel, p.channel);
  EXPECT_EQ(q.version, 3u);
  EXPECT_EQ(q.manifest_size, 1234u);
  EXPECT_EQ(q.expires, 99u);
  EXPECT_FALSE(ParsePointer("castanet-pointer 1\nchannel x\n", &q, &error));
  EXPECT_EQ(BlobPath(std::string(64, 'e')), "blobs/ee/" + std::string(64, 'e'));
}

TEST(SignedText, ThresholdTamperAndForeignKeys) {
  SigningKey a, b, c;
  std::string error;
  ASSERT_TRUE(GenerateSigningKey(&a, &error) && GenerateSigningKey(&b, &error) &&
              GenerateSigningKey(&c, &error));
  std::string text;
  ASSERT_TRUE(SignText("hello\nworld\n", {a, b}, &text, &error));
  TrustedKeys keys;
  ASSERT_TRUE(ParseTrustedKeys("# ours\r\n" + PublicKeyLine(a, "release") + PublicKeyLine(b, ""),
                               &keys, &error))
      << error;
  std::string_view body;
  EXPECT_TRUE(VerifySignedText(text, keys, &body, &error)) << error;
  EXPECT_EQ(body, "hello\nworld\n");
  keys.threshold = 2;
  EXPECT_TRUE(VerifySignedText(text, keys, &body, &error));
  keys.threshold = 3;
  EXPECT_FALSE(VerifySignedText(text, keys, &body, &error));

  std::string tampered = text;
  tampered[1] = 'E';
  keys.threshold = 1;
  EXPECT_FALSE(VerifySignedText(tampered, keys, &body, &error));

  std::string foreign;
  ASSERT_TRUE(SignText("hello\nworld\n", {c}, &foreign, &error));
  EXPECT_FALSE(VerifySignedText(foreign, keys, &body, &error));
  EXPECT_FALSE(VerifySignedText("hello\n", keys, &body, &error));  // unsigned
  EXPECT_FALSE(VerifySignedText(text + "more\n", keys, &body, &error));
  EXPECT_FALSE(VerifySignedText(text, TrustedKeys(), &body, &error));  // no keys: refused
  EXPECT_FALSE(VerifySignedText("hello\n", TrustedKeys(), &body, &error));
  EXPECT_FALSE(ParseTrustedKeys("threshold 0\n", &keys, &error));
  EXPECT_FALSE(ParseTrustedKeys("abc\n", &keys, &error));
}

TEST(KeySets, ARotationCountsOnlyWhenTheOldAndTheNewKeysSignIt) {
  SigningKey old_key, new_key, stranger;
  std::string error;
  ASSERT_TRUE(GenerateSigningKey(&old_key, &error) && GenerateSigningKey(&new_key, &error) &&
              GenerateSigningKey(&stranger, &error));
  TrustedKeys current;
  current.public_keys = {old_key.public_key};
  KeySet next;
  next.channel = "Zoma/Programs";
  next.version = 1;
  next.keys.public_keys = {new_key.public_key};
  std::string body = SerializeKeySet(next), text;
  KeySet accepted;

  ASSERT_TRUE(SignText(body, {old_key, new_key}, &text, &error));
  ASSERT_TRUE(AcceptKeySet(text, current, "Zoma/Programs", 1, &accepted, &error)) << error;
  EXPECT_EQ(accepted.keys.public_keys, next.keys.public_keys);
  // Named for another channel, another version, or a channel whose name ends the same.
  EXPECT_FALSE(AcceptKeySet(text, current, "Zoma/Programs", 2, &accepted, &error));
  EXPECT_FALSE(AcceptKeySet(text, current, "Test/Zoma/Programs", 1, &accepted, &error));
  // Signed by a key the client does not trust, or without the new keys' own signature.
  ASSERT_TRUE(SignText(body, {stranger, new_key}, &text, &error));
  EXPECT_FALSE(AcceptKeySet(text, current, "Zoma/Programs", 1, &accepted, &error));
  ASSERT_TRUE(SignText(body, {old_key}, &text, &error));
  EXPECT_FALSE(AcceptKeySet(text, current, "Zoma/Programs", 1, &accepted, &error));
  // A set that could never sign anything.
  next.keys.threshold = 2;
  ASSERT_TRUE(SignText(SerializeKeySet(next), {old_key, new_key}, &text, &error));
  EXPECT_FALSE(AcceptKeySet(text, current, "Zoma/Programs", 1, &accepted, &error));
  // The pointer names the set that signs it; pointers without one still read.
  Pointer pointer;
  pointer.channel = "c";
  pointer.manifest_sha256 = std::string(64, 'a');
  pointer.keyset = 7;
  Pointer read;
  ASSERT_TRUE(ParsePointer(SerializePointer(pointer), &read, &error)) << error;
  EXPECT_EQ(read.keyset, 7u);
  pointer.keyset = 0;
  ASSERT_TRUE(ParsePointer(SerializePointer(pointer), &read, &error));
  EXPECT_EQ(read.keyset, 0u);
}

// Damaged documents end in an orderly refusal, never a crash (run under the sanitizers).
TEST(Documents, DamagedInputIsRefusedCleanly) {
  SigningKey key;
  std::string error, manifest_text, pointer_text;
  ASSERT_TRUE(GenerateSigningKey(&key, &error));
  ASSERT_TRUE(SignText(SerializeManifest(SampleManifest()), {key}, &manifest_text, &error));
  ASSERT_TRUE(SignText(SerializePointer({"Zoma/Zoma", 3, std::string(64, 'd'), 12, 99}), {key},
                       &pointer_text, &error));
  TrustedKeys keys;
  keys.public_keys.insert(key.public_key);
  unsigned seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
  for (int round = 0; round < 3000; round++) {
    std::string text = round % 2 ? manifest_text : pointer_text;
    // Edits stay in the signed body: a signature line written in upper-case hex or with
    // a tab is still the same signature.
    for (int edits = 1 + next() % 4; edits > 0; edits--) {
      size_t body_size = std::min(text.find("signature "), text.size());
      if (body_size == 0) break;
      size_t at = next() % body_size;
      switch (next() % 3) {
        case 0:
          text[at] = static_cast<char>(next());
          break;
        case 1:
          text.erase(at, std::min<size_t>(next() % 8, body_size - at));
          break;
        default:
          text.insert(at, std::string(next() % 3, static_cast<char>(next())));
      }
    }
    std::string_view body;
    Manifest manifest;
    Pointer pointer;
    // A changed body must never pass the signature check.
    if (text != manifest_text && text != pointer_text) {
      EXPECT_FALSE(VerifySignedText(text, keys, &body, &error));
    }
    ParseManifest(text, &manifest, &error);
    ParsePointer(text, &pointer, &error);
    ParseTrustedKeys(text, &keys, &error);
    keys.public_keys.insert(key.public_key);
    keys.threshold = 1;
  }
}

class CodecTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/castanet-codec-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Write(const std::string& name, const std::string& contents) {
    std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << contents;
    return path;
  }
  std::string dir_;
};

TEST_F(CodecTest, ObjectsAndPatchesAreChecked) {
  std::string old_text, new_text;
  for (int i = 0; i < 20000; i++) old_text += "line " + std::to_string(i * 7919 % 10007) + "\n";
  new_text = old_text;
  new_text.replace(5000, 10, "CHANGED!!!");
  std::string old_path = Write("old", old_text), new_path = Write("new", new_text);
  std::string sha = Sha256Hex(new_text);

  uint64_t stored = 0;
  ASSERT_TRUE(CompressFile(new_path, dir_ + "/obj", 3, &stored).ok());
  EXPECT_LT(stored, new_text.size());
  EXPECT_TRUE(DecompressObject(dir_ + "/obj", dir_ + "/out", new_text.size(), sha).ok());
  std::string out, error;
  ASSERT_TRUE(ReadWholeFile(dir_ + "/out", &out, &error));
  EXPECT_EQ(out, new_text);
  EXPECT_EQ(DecompressObject(dir_ + "/obj", dir_ + "/out", new_text.size() - 1, sha).result,
            CodecResult::kBadContent);
  EXPECT_EQ(DecompressObject(dir_ + "/obj", dir_ + "/out", new_text.size(), Sha256Hex("x")).result,
            CodecResult::kBadContent);
  std::string compressed;
  ASSERT_TRUE(ReadWholeFile(dir_ + "/obj", &compressed, &error));
  Write("truncated", compressed.substr(0, compressed.size() / 2));
  EXPECT_EQ(DecompressObject(dir_ + "/truncated", dir_ + "/out", new_text.size(), sha).result,
            CodecResult::kBadContent);
  Write("garbage", "not zstd at all");
  EXPECT_EQ(DecompressObject(dir_ + "/garbage", dir_ + "/out", new_text.size(), sha).result,
            CodecResult::kBadContent);

  std::string patch;
  ASSERT_TRUE(MakePatch(old_path, new_path, 3, &patch).ok());
  EXPECT_LT(patch.size(), stored / 10);
  std::string patch_path = Write("patch", patch);
  EXPECT_TRUE(
      ApplyPatch(old_path, Sha256Hex(old_text), patch_path, dir_ + "/patched", new_text.size(), sha)
          .ok());
  ASSERT_TRUE(ReadWholeFile(dir_ + "/patched", &out, &error));
  EXPECT_EQ(out, new_text);
  // The wrong base is refused before decoding.
  EXPECT_EQ(
      ApplyPatch(new_path, Sha256Hex(old_text), patch_path, dir_ + "/patched", new_text.size(), sha)
          .result,
      CodecResult::kBadContent);
}

}  // namespace
}  // namespace castanet
