// Publishing versions of a channel: objects, patches where they pay, monotonic versions,
// signatures and pointer refresh.
#include "updatelib/channel/publisher.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "updatelib/channel/file_io.h"
#include "updatelib/channel/manifest.h"
#include "updatelib/channel/pointer.h"
#include "updatelib/channel/signed_text.h"

namespace zomapublish {
namespace {

class PublishTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zomapublish-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    options_.document_root = dir_ + "/www";
    options_.source = dir_ + "/src";
    options_.channel = "Zoma/Zoma";
    options_.level = 3;
    options_.patch_level = 3;
    options_.now = 1000;
    std::string error;
    ASSERT_TRUE(castanet::GenerateSigningKey(&key_, &error));
    options_.keys = {key_};
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void Write(const std::string& relative, const std::string& contents) {
    std::string path = options_.source + "/" + relative;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << contents;
  }

  // Reads and checks the current pointer and manifest as a client would.
  castanet::Manifest Current(castanet::Pointer* pointer) {
    castanet::TrustedKeys keys;
    keys.public_keys.insert(key_.public_key);
    std::string channel = options_.document_root + "/" + options_.channel;
    std::string text, error;
    std::string_view body;
    EXPECT_TRUE(castanet::ReadWholeFile(channel + "/pointer", &text, &error));
    EXPECT_TRUE(castanet::VerifySignedText(text, keys, &body, &error)) << error;
    EXPECT_TRUE(castanet::ParsePointer(body, pointer, &error)) << error;
    EXPECT_TRUE(castanet::ReadWholeFile(
        channel + "/" + castanet::ManifestPath(pointer->version, pointer->manifest_sha256), &text,
        &error));
    EXPECT_EQ(castanet::Sha256Hex(text), pointer->manifest_sha256);
    EXPECT_TRUE(castanet::VerifySignedText(text, keys, &body, &error)) << error;
    castanet::Manifest manifest;
    EXPECT_TRUE(castanet::ParseManifest(body, &manifest, &error)) << error;
    return manifest;
  }

  std::string dir_;
  castanet::SigningKey key_;
  PublishOptions options_;
};

TEST_F(PublishTest, VersionsObjectsAndPatches) {
  std::string big;
  for (int i = 0; i < 50000; i++) big += "record " + std::to_string(i * 2654435761u) + "\n";
  Write("data/big.dat", big);
  Write("readme.txt", "hello");
  Write("copy.txt", "hello");  // same contents: one object
  PublishReport report;
  std::string error;
  ASSERT_TRUE(Publish(options_, &report, &error)) << error;
  EXPECT_EQ(report.version, 1u);
  EXPECT_EQ(report.files, 3u);
  EXPECT_EQ(report.new_objects, 2u);

  big.replace(1000, 20, "a small change here.");
  Write("data/big.dat", big);
  std::filesystem::remove(options_.source + "/copy.txt");
  Write("readme.txt", "hello again");  // tiny: a patch would not be smaller
  options_.now = 2000;
  ASSERT_TRUE(Publish(options_, &report, &error)) << error;
  EXPECT_EQ(report.version, 2u);
  EXPECT_EQ(report.patches, 1u);

  castanet::Pointer pointer;
  castanet::Manifest manifest = Current(&pointer);
  EXPECT_EQ(pointer.version, 2u);
  EXPECT_EQ(pointer.expires, 2000 + options_.expires_seconds);
  ASSERT_EQ(manifest.files.size(), 2u);
  EXPECT_EQ(manifest.files[0].path, "data/big.dat");
  ASSERT_EQ(manifest.patches.size(), 1u);
  EXPECT_EQ(manifest.patches[0].to_sha256, manifest.files[0].sha256);
  EXPECT_LT(manifest.patches[0].size, manifest.files[0].stored_size);

  // Versions only go up.
  options_.version = 2;
  EXPECT_FALSE(Publish(options_, &report, &error));
  options_.version = 10;
  ASSERT_TRUE(Publish(options_, &report, &error)) << error;
  EXPECT_EQ(report.version, 10u);
  EXPECT_EQ(report.new_objects, 0u);

  options_.now = 5000;
  ASSERT_TRUE(RefreshPointer(options_, &error)) << error;
  Current(&pointer);
  EXPECT_EQ(pointer.version, 10u);
  EXPECT_EQ(pointer.expires, 5000 + options_.expires_seconds);
}

TEST_F(PublishTest, RefusesNamesAClientCouldNotInstall) {
  Write("ok.txt", "x");
  Write("bad\\name.txt", "x");
  PublishReport report;
  std::string error;
  EXPECT_FALSE(Publish(options_, &report, &error));
  EXPECT_NE(error.find("bad\\name.txt"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(options_.document_root + "/Zoma/Zoma/pointer"));
}

TEST_F(PublishTest, KeyFilesRoundTrip) {
  std::string error;
  ASSERT_TRUE(WriteKeyPair(dir_ + "/release", &error)) << error;
  EXPECT_FALSE(WriteKeyPair(dir_ + "/release", &error));  // never overwrites a key
  castanet::SigningKey key;
  ASSERT_TRUE(ReadPrivateKey(dir_ + "/release.key", &key, &error)) << error;
  std::string pub;
  ASSERT_TRUE(castanet::ReadWholeFile(dir_ + "/release.pub", &pub, &error));
  castanet::TrustedKeys keys;
  ASSERT_TRUE(castanet::ParseTrustedKeys(pub, &keys, &error));
  EXPECT_EQ(keys.public_keys.count(key.public_key), 1u);
  struct stat info;
  ASSERT_EQ(stat((dir_ + "/release.key").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 077, 0u);
}

}  // namespace
}  // namespace zomapublish
