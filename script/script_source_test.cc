// The script-text source: plain and cooked data read alike; unusable containers and
// missing files give a failed, empty stream.
#include "script/script_source.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "clientcfg/wrapped_data.h"
#include "platform/testing/temp_prefix.h"
#include "script/tessel.h"

namespace script {
namespace {

std::string ReadAll(Stream& stream) {
  std::string text;
  for (int c; (c = stream.Get()) >= 0;) text += static_cast<char>(c);
  return text;
}

class ScriptSourceTest : public ::testing::Test {
 protected:
  void SetUp() override { instance_ = CreateInstance(); }
  void TearDown() override { DestroyInstance(instance_); }
  Instance* instance_ = nullptr;
};

TEST_F(ScriptSourceTest, PlainAndCookedDataReadAlike) {
  const std::string script = "$Set{a;1}text with \0 a NUL";
  std::optional<std::string> cooked = clientcfg::WrapData(script, clientcfg::kCookedScriptMagic);
  ASSERT_TRUE(cooked);
  for (const std::string& data : {script, *cooked}) {
    Stream stream(instance_, nullptr);
    ScriptText text;
    EXPECT_TRUE(text.FromData(stream, data, false, "test"));
    EXPECT_EQ(ReadAll(stream), script);
  }
}

TEST_F(ScriptSourceTest, ANulEndsTheText) {
  const std::string script("ab\0cd", 5);
  std::optional<std::string> cooked = clientcfg::WrapData(script, clientcfg::kCookedScriptMagic);
  ASSERT_TRUE(cooked);
  for (const std::string& data : {script, *cooked}) {
    Stream stream(instance_, nullptr);
    ScriptText text;
    EXPECT_TRUE(text.FromData(stream, data, false, "test"));
    EXPECT_EQ(ReadAll(stream), "ab");
  }
}

TEST_F(ScriptSourceTest, UnusableContainersFail) {
  std::string cooked = *clientcfg::WrapData("$x", clientcfg::kCookedScriptMagic);
  std::string bad_version = cooked;
  bad_version[4] = 2;
  const std::string cases[] = {bad_version, cooked.substr(0, cooked.size() - 1), "LCH!",
                               cooked.substr(0, 10)};
  for (const std::string& data : cases) {
    Stream stream(instance_, nullptr);
    ScriptText text;
    EXPECT_FALSE(text.FromData(stream, data, false, "test"));
    EXPECT_TRUE(text.failed());
    EXPECT_TRUE(stream.ended);
    EXPECT_EQ(ReadAll(stream), "");
  }
}

TEST_F(ScriptSourceTest, CookedOnlyRefusesPlainData) {
  Stream plain(instance_, nullptr);
  ScriptText text;
  EXPECT_FALSE(text.FromData(plain, "$x", true, "test"));
  Stream cooked(instance_, nullptr);
  EXPECT_TRUE(text.FromData(cooked, *clientcfg::WrapData("$x", clientcfg::kCookedScriptMagic), true,
                            "test"));
  EXPECT_EQ(ReadAll(cooked), "$x");
}

TEST_F(ScriptSourceTest, EmptyPlainDataIsAnEmptyScript) {
  Stream stream(instance_, nullptr);
  ScriptText text;
  EXPECT_TRUE(text.FromData(stream, "", false, "test"));
  EXPECT_EQ(ReadAll(stream), "");
}

TEST_F(ScriptSourceTest, FilesByWindowsPath) {
  platform::testing::TempPrefix prefix;
  std::FILE* file = std::fopen((prefix.drive_c() + "/Cooked.upd").c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::string cooked = *clientcfg::WrapData("cooked text", clientcfg::kCookedScriptMagic);
  std::fwrite(cooked.data(), 1, cooked.size(), file);
  std::fclose(file);
  {
    Stream stream(instance_, nullptr);
    ScriptText text;
    EXPECT_TRUE(text.FromFile(stream, "c:/COOKED.UPD"));
    EXPECT_EQ(ReadAll(stream), "cooked text");
  }
  Stream missing(instance_, nullptr);
  ScriptText text;
  EXPECT_FALSE(text.FromFile(missing, "C:\\missing.upd"));
  EXPECT_EQ(ReadAll(missing), "");
}

}  // namespace
}  // namespace script
