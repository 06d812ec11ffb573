// The registry built-ins against the prefix's registry: types kept, defaults, bad paths.
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/testing/temp_prefix.h"
#include "script/tessel.h"

namespace script {
namespace {

namespace reg = platform::reg;

class RegistryBuiltinsTest : public ::testing::Test {
 protected:
  void SetUp() override { instance_ = CreateInstance(); }
  void TearDown() override { DestroyInstance(instance_); }
  std::string Run(std::string_view text) {
    TextBuffer out;
    Evaluate(out, text, instance_);
    return std::string(out.view());
  }
  platform::testing::TempPrefix prefix_;
  Instance* instance_ = nullptr;
};

TEST_F(RegistryBuiltinsTest, WritesReadsAndDeletesValues) {
  EXPECT_EQ(Run("$SetRegistryValue{HKLM\\Software\\T\\Download Settings;Needs=x}"), "0");
  EXPECT_EQ(reg::ReadString("HKLM\\Software\\T", "Download Settings"), "Needs=x");
  EXPECT_EQ(Run("$GetRegistryValue{HKEY_LOCAL_MACHINE\\Software\\T\\Download Settings}"),
            "Needs=x");
  EXPECT_EQ(Run("$SetRegistryValueDword{HKLM\\Software\\T\\Count;$Add{2;8}}"), "0");
  EXPECT_EQ(reg::ReadDword("HKLM\\Software\\T", "Count"), 10u);
  // An existing DWORD stays one without a type argument.
  EXPECT_EQ(Run("$SetRegistryValue{HKLM\\Software\\T\\Count;7}"), "0");
  EXPECT_EQ(reg::ReadDword("HKLM\\Software\\T", "Count"), 7u);
  EXPECT_EQ(Run("$DeleteRegistryValue{HKLM\\Software\\T\\Count}"), "1");
  EXPECT_EQ(Run("$DeleteRegistryValue{HKLM\\Software\\T\\Count}"), "0");
  EXPECT_EQ(Run("$GetRegistryValue{HKLM\\Software\\T\\Count;none}"), "none");
}

TEST_F(RegistryBuiltinsTest, BadPaths) {
  EXPECT_EQ(Run("$SetRegistryValue{HKLM\\OnlyKey;x}"), "2");
  EXPECT_EQ(Run("$SetRegistryValue{HKNOPE\\Key\\Name;x}"), "2");
  EXPECT_EQ(Run("$GetRegistryValue{nothing;fallback}"), "fallback");
  EXPECT_EQ(Run("$DeleteRegistryValue{HKLM}"), "");
}

}  // namespace
}  // namespace script
