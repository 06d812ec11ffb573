#include "clientcfg/settings_store.h"

#include <gtest/gtest.h>

#include <cstring>

#include "clientcfg/path_list.h"
#include "platform/testing/temp_prefix.h"

namespace clientcfg {
namespace {

namespace reg = platform::reg;
constexpr char kSentinel = static_cast<char>(0xBD);
const std::string kMain = std::string("HKLM\\") + kMainKey;

class SettingsStoreTest : public ::testing::Test {
 protected:
  platform::testing::TempPrefix prefix_;
};

TEST_F(SettingsStoreTest, GettersTakeOnlyTheirOwnTypeAndDefaults) {
  ASSERT_EQ(reg::WriteString(kMain, "Root Directory", "C:\\Zoma"), 0u);
  ASSERT_EQ(reg::WriteString(kMain, "Expand", "%TEMP%", reg::kRegExpandSz), 0u);
  ASSERT_EQ(reg::WriteDword(kMain, "Number", 42), 0u);
  ASSERT_EQ(reg::WriteValue(kMain, "Blob", reg::kRegBinary, std::string("a\0b", 3)), 0u);
  EXPECT_EQ(GetSettingString(kMainKey, "Root Directory"), "C:\\Zoma");
  EXPECT_EQ(GetSettingString(kMainKey, "Expand"), std::nullopt);  // REG_EXPAND_SZ is absent
  EXPECT_EQ(GetSettingString(kMainKey, "Number", "dflt"), "dflt");
  EXPECT_EQ(GetSettingDword(kMainKey, "Number", 7), 42u);
  EXPECT_EQ(GetSettingDword(kMainKey, "Root Directory", 7), 7u);
  EXPECT_EQ(GetSettingBinary(kMainKey, "Blob"), std::string("a\0b", 3));
  EXPECT_EQ(GetSettingString("Software\\Missing", "x", "d"), "d");
  // An empty value stays distinct from a missing one.
  ASSERT_EQ(reg::WriteString(kMain, "Empty", ""), 0u);
  EXPECT_EQ(GetSettingString(kMainKey, "Empty"), "");

  EXPECT_EQ(GameKeyName(42), "Software\\Norvance\\Zoma\\Manifest\\GAME42");
  EXPECT_EQ(GameKeyName(-1), "Software\\Norvance\\Zoma\\Manifest\\GAME-1");
  ASSERT_EQ(reg::WriteString("HKLM\\Software\\Norvance\\Zoma\\Manifest\\GAME42", "Name", "x"), 0u);
  EXPECT_EQ(GetGameString(42, "Name"), "x");
  EXPECT_EQ(GetGameString(420, "Name"), std::nullopt);
}

TEST_F(SettingsStoreTest, SettersNeverCreateKeys) {
  EXPECT_NE(PutSettingString(kUpdateKey, "Password", "pw"), 0u);
  EXPECT_EQ(GetSettingString(kUpdateKey, "Password"), std::nullopt);
  ASSERT_EQ(reg::WriteString(std::string("HKLM\\") + kUpdateKey, "Other", "1"), 0u);
  EXPECT_EQ(PutSettingString(kUpdateKey, "Password", "pw"), 0u);
  EXPECT_EQ(PutSettingDword(kUpdateKey, "Count", 3), 0u);
  EXPECT_EQ(GetSettingString(kUpdateKey, "Password"), "pw");
  EXPECT_EQ(GetSettingDword(kUpdateKey, "Count", 0), 3u);
  reg::Value value;
  ASSERT_EQ(reg::ReadValue(std::string("HKLM\\") + kUpdateKey, "Password", &value), 0u);
  EXPECT_EQ(value.data, std::string("pw\0", 3));  // the terminator is stored
}

TEST_F(SettingsStoreTest, ClientDirectoriesAndFiles) {
  char out[64];
  EXPECT_EQ(GetClientDirectory(nullptr, "Root Directory", "Programs", out, sizeof out, Hkey::kNull),
            2);
  ASSERT_EQ(reg::WriteString(kMain, "Other", "x"), 0u);
  EXPECT_EQ(GetClientDirectory(nullptr, "Root Directory", "Programs", out, sizeof out, Hkey::kNull),
            3);
  // An override wins even without a root.
  ASSERT_EQ(reg::WriteString(kMain, "Programs Directory", "D:\\Progs\\\\"), 0u);
  EXPECT_EQ(GetClientDirectory("Programs Directory", "Root Directory", "Programs", out, sizeof out,
                               Hkey::kNull),
            0);
  EXPECT_STREQ(out, "D:\\Progs");
  // Without a root, a file path is failure 1, not 3.
  EXPECT_EQ(GetClientFilePath(nullptr, nullptr, "Root Directory", "System", "ZOMA.EXE", out,
                              sizeof out, Hkey::kNull),
            1);

  ASSERT_EQ(reg::WriteString(kMain, "Root Directory", "C:\\Zoma\\\\"), 0u);
  EXPECT_EQ(
      GetClientDirectory(nullptr, "Root Directory", "\\Programs", out, sizeof out, Hkey::kNull), 0);
  EXPECT_STREQ(out, "C:\\Zoma\\Programs");
  ASSERT_EQ(reg::WriteString(kMain, "Root Directory", "C:/Zoma/"), 0u);
  EXPECT_EQ(
      GetClientDirectory(nullptr, "Root Directory", "\\Programs", out, sizeof out, Hkey::kNull), 0);
  EXPECT_STREQ(out, "C:/Zoma\\Programs");
  EXPECT_EQ(GetClientFilePath(nullptr, "System Directory", "Root Directory", "\\System",
                              "\\ZOMA.EXE", out, sizeof out, Hkey::kNull),
            0);
  EXPECT_STREQ(out, "C:/Zoma\\System\\ZOMA.EXE");
  ASSERT_EQ(reg::WriteString(kMain, "Client File", "  as it stands\\ "), 0u);
  EXPECT_EQ(GetClientFilePath("Client File", nullptr, "Root Directory", "System", "x", out,
                              sizeof out, Hkey::kNull),
            0);
  EXPECT_STREQ(out, "  as it stands\\ ");

  // A result that does not fit gives 1 and never writes past the buffer.
  for (std::size_t size = 1; size < 20; ++size) {
    char small[32];
    std::memset(small, kSentinel, sizeof small);
    int result = GetClientFilePath(nullptr, nullptr, "Root Directory", "System", "ZOMA.EXE", small,
                                   size, Hkey::kNull);
    EXPECT_EQ(result, 1) << size;
    for (std::size_t i = size; i < sizeof small; ++i) ASSERT_EQ(small[i], kSentinel) << size;
  }
}

TEST_F(SettingsStoreTest, SearchPathLists) {
  OwnedText list;
  list = PathListAppend(std::move(list), "Programs");
  list = PathListAppend(std::move(list), "..\\x");
  EXPECT_EQ(list, std::nullopt);
  list = PathListAppend(std::move(list), "C:\\A\\;");
  list = PathListAppend(std::move(list), nullptr);
  list = PathListAppend(std::move(list), "  C:\\B\\ ");
  list = PathListAppend(std::move(list), "\\\\server\\share");
  list = PathListAppend(std::move(list), "D:\\games");
  EXPECT_EQ(list, "C:\\A\\;;C:\\B;\\\\server\\share;D:\\games");

  const std::string paths = std::string("HKLM\\") + kSearchPathsKey;
  ASSERT_EQ(reg::WriteString(paths, "First", "E:\\one"), 0u);
  ASSERT_EQ(reg::WriteString(paths, "F:\\by-name", ""), 0u);
  ASSERT_EQ(reg::WriteDword(paths, "G:\\dword-name", 1), 0u);
  ASSERT_EQ(reg::WriteString(paths, "relative", "not\\absolute"), 0u);
  OwnedText from_registry = std::string("C:\\Zoma\\Programs");
  EXPECT_EQ(PathListAppendRegistry(reg::kLocalMachine, kSearchPathsKey, from_registry), 4);
  EXPECT_EQ(from_registry, "C:\\Zoma\\Programs;E:\\one;F:\\by-name;G:\\dword-name");
  OwnedText none;
  EXPECT_EQ(PathListAppendRegistry(reg::kLocalMachine, "Software\\Nothing", none), 0);
}

}  // namespace
}  // namespace clientcfg
