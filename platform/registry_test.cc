// Registry behaviour as Windows NT shows it: each test names the behaviour it pins down.
// Output buffers are filled with 0xBD first so that overflows and stray terminators show.
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "platform/regfile.h"
#include "platform/testing/temp_prefix.h"

namespace platform::reg {
namespace {

constexpr unsigned char kSentinel = 0xBD;

class RegistryTest : public ::testing::Test {
 protected:
  // Creates HKLM\<path> with full access.
  Hkey Create(const char* path) {
    Hkey key = Hkey::kNull;
    EXPECT_EQ(CreateKey(kLocalMachine, path, kKeyAllAccess, &key), kErrorSuccess) << path;
    return key;
  }
  void SetString(Hkey key, const char* name, const char* text, std::uint32_t type = kRegSz) {
    ASSERT_EQ(SetValue(key, name, type, text, static_cast<std::uint32_t>(std::strlen(text) + 1)),
              kErrorSuccess);
  }
  std::vector<std::string> ValueNames(Hkey key) {
    std::vector<std::string> names;
    char name[64];
    for (std::uint32_t i = 0;; ++i) {
      std::uint32_t size = sizeof name;
      Status s = EnumValue(key, i, name, &size, nullptr, nullptr, nullptr);
      if (s != kErrorSuccess) {
        EXPECT_EQ(s, kErrorNoMoreItems);
        return names;
      }
      names.emplace_back(name, size);
    }
  }
  std::vector<std::string> SubkeyNames(Hkey key) {
    std::vector<std::string> names;
    char name[64];
    for (std::uint32_t i = 0;; ++i) {
      std::uint32_t size = sizeof name;
      Status s = EnumKey(key, i, name, &size);
      if (s != kErrorSuccess) {
        EXPECT_EQ(s, kErrorNoMoreItems);
        return names;
      }
      names.emplace_back(name, size);
    }
  }

  testing::TempPrefix prefix_;
};

TEST_F(RegistryTest, NamesCompareWithoutCaseAndKeepTheirSpelling) {
  bool created = false;
  ScopedKey zoma;
  ASSERT_EQ(
      CreateKey(kLocalMachine, "Software\\Norvance\\Zoma", kKeyAllAccess, zoma.out(), &created),
      kErrorSuccess);
  EXPECT_TRUE(created);
  ScopedKey again;
  ASSERT_EQ(
      CreateKey(kLocalMachine, "SOFTWARE\\norvance\\ZOMA", kKeyAllAccess, again.out(), &created),
      kErrorSuccess);
  EXPECT_FALSE(created);
  ScopedKey software(Create("software"));
  EXPECT_EQ(SubkeyNames(software.get()),
            std::vector<std::string>({"Classes", "Microsoft", "Norvance"}));

  SetString(zoma.get(), "Root Directory", "C:\\Zoma");
  SetString(again.get(), "ROOT DIRECTORY", "C:\\Other");
  EXPECT_EQ(ValueNames(zoma.get()), std::vector<std::string>({"Root Directory"}));
  EXPECT_EQ(ReadString("hklm\\SOFTWARE\\Norvance\\Zoma", "root directory"), "C:\\Other");
}

TEST_F(RegistryTest, ValuesInCreationOrderSubkeysInNameOrder) {
  ScopedKey key(Create("Software\\Order"));
  for (const char* name : {"zeta", "Alpha", "", "beta"}) SetString(key.get(), name, "x");
  SetString(key.get(), "ALPHA", "rewritten keeps the place");
  EXPECT_EQ(ValueNames(key.get()), std::vector<std::string>({"zeta", "Alpha", "", "beta"}));

  for (const char* name : {"zeta", "Alpha", "_under", "beta"}) {
    ScopedKey sub;
    ASSERT_EQ(CreateKey(key.get(), name, kKeyRead, sub.out()), kErrorSuccess);
  }
  // Windows orders by the upper-case form, which puts "_" after the letters.
  EXPECT_EQ(SubkeyNames(key.get()), std::vector<std::string>({"Alpha", "beta", "zeta", "_under"}));

  ASSERT_EQ(DeleteValue(key.get(), "ZETA"), kErrorSuccess);
  EXPECT_EQ(DeleteValue(key.get(), "zeta"), kErrorFileNotFound);
  EXPECT_EQ(ValueNames(key.get()), std::vector<std::string>({"Alpha", "", "beta"}));
}

TEST_F(RegistryTest, ExpandSzIsNotReadAsString) {
  ASSERT_EQ(WriteString("HKLM\\Software\\Paths", "Temp", "%TEMP%\\x", kRegExpandSz), kErrorSuccess);
  EXPECT_EQ(ReadString("HKLM\\Software\\Paths", "Temp"), std::nullopt);
  Value value;
  ASSERT_EQ(ReadValue("HKLM\\Software\\Paths", "Temp", &value), kErrorSuccess);
  EXPECT_EQ(value.type, kRegExpandSz);
  EXPECT_EQ(value.data, std::string("%TEMP%\\x", 9));
  // Types other than the five named ones are kept as bytes with their number.
  ASSERT_EQ(WriteValue("HKLM\\Software\\Paths", "Q", 11, std::string("\x01\0\0\0\0\0\0\x80", 8)),
            kErrorSuccess);
  ASSERT_EQ(ReadValue("HKLM\\Software\\Paths", "q", &value), kErrorSuccess);
  EXPECT_EQ(value.type, 11u);
  EXPECT_EQ(value.data.size(), 8u);
}

TEST_F(RegistryTest, AccessRightsOfTheHandleAreEnforced) {
  ScopedKey(Create("Software\\Locked\\Existing"));
  ScopedKey reader;
  ASSERT_EQ(OpenKey(kLocalMachine, "Software\\Locked", kKeyRead, reader.out()), kErrorSuccess);
  EXPECT_EQ(SetValue(reader.get(), "v", kRegDword, "\1\0\0\0", 4), kErrorAccessDenied);
  EXPECT_EQ(DeleteValue(reader.get(), "v"), kErrorAccessDenied);
  ScopedKey sub;
  EXPECT_EQ(CreateKey(reader.get(), "New", kKeyRead, sub.out()), kErrorAccessDenied);
  EXPECT_EQ(CreateKey(reader.get(), "existing", kKeyRead, sub.out()), kErrorSuccess);

  ScopedKey writer;
  ASSERT_EQ(OpenKey(kLocalMachine, "Software\\Locked", kKeySetValue, writer.out()), kErrorSuccess);
  EXPECT_EQ(SetValue(writer.get(), "v", kRegDword, "\1\0\0\0", 4), kErrorSuccess);
  std::uint32_t size = 0;
  EXPECT_EQ(QueryValue(writer.get(), "v", nullptr, nullptr, &size), kErrorAccessDenied);
  char name[8];
  size = sizeof name;
  EXPECT_EQ(EnumKey(writer.get(), 0, name, &size), kErrorAccessDenied);
  EXPECT_EQ(QueryValue(reader.get(), "v", nullptr, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(size, 4u);
}

TEST_F(RegistryTest, DeleteKeyFollowsTheNtRules) {
  ScopedKey child(Create("Software\\Tree\\Child"));
  EXPECT_EQ(DeleteKey(kLocalMachine, "Software\\Tree"), kErrorAccessDenied);
  EXPECT_EQ(DeleteKey(kLocalMachine, "Software\\Tree\\Missing"), kErrorFileNotFound);
  EXPECT_EQ(DeleteKey(kLocalMachine, nullptr), kErrorInvalidParameter);
  EXPECT_EQ(DeleteKey(kLocalMachine, ""), kErrorAccessDenied);
  SetString(child.get(), "v", "x");
  ASSERT_EQ(DeleteKey(kLocalMachine, "software\\tree\\child"), kErrorSuccess);

  // The open handle now names a deleted key; recreating the key does not revive it.
  ScopedKey(Create("Software\\Tree\\Child"));
  std::uint32_t size = 0;
  EXPECT_EQ(QueryValue(child.get(), "v", nullptr, nullptr, &size), kErrorKeyDeleted);
  EXPECT_EQ(SetValue(child.get(), "v", kRegSz, "", 1), kErrorKeyDeleted);
  ScopedKey grandchild;
  EXPECT_EQ(CreateKey(child.get(), "G", kKeyRead, grandchild.out()), kErrorKeyDeleted);
  EXPECT_EQ(FlushKey(child.get()), kErrorKeyDeleted);
  EXPECT_EQ(ReadString("HKLM\\Software\\Tree\\Child", "v"), std::nullopt);

  // "" deletes the key of the handle itself.
  ScopedKey tree(Create("Software\\Tree"));
  ASSERT_EQ(DeleteTree(kLocalMachine, "Software\\Tree"), kErrorSuccess);
  EXPECT_EQ(FlushKey(tree.get()), kErrorKeyDeleted);
  ScopedKey lone(Create("Software\\Lone"));
  EXPECT_EQ(DeleteKey(lone.get(), ""), kErrorSuccess);
  EXPECT_EQ(OpenKey(kLocalMachine, "Software\\Lone", kKeyRead, tree.out()), kErrorFileNotFound);
}

TEST_F(RegistryTest, QueryValueBufferRules) {
  ScopedKey key(Create("Software\\Buffers"));
  SetString(key.get(), "sz", "hello");
  ASSERT_EQ(SetValue(key.get(), "bare", kRegSz, "abc", 3), kErrorSuccess);
  ASSERT_EQ(SetValue(key.get(), "bin", kRegBinary, "abc", 3), kErrorSuccess);

  std::uint32_t type = 0, size = 0;
  ASSERT_EQ(QueryValue(key.get(), "sz", &type, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(size, 6u);

  unsigned char buffer[16];
  for (std::uint32_t small = 0; small < 6; ++small) {
    std::memset(buffer, kSentinel, sizeof buffer);
    size = small;
    type = 0;
    EXPECT_EQ(QueryValue(key.get(), "sz", &type, buffer, &size), kErrorMoreData);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(type, kRegSz);
    for (unsigned char byte : buffer) ASSERT_EQ(byte, kSentinel) << "buffer of " << small;
  }
  std::memset(buffer, kSentinel, sizeof buffer);
  size = 6;
  ASSERT_EQ(QueryValue(key.get(), "sz", nullptr, buffer, &size), kErrorSuccess);
  EXPECT_EQ(std::memcmp(buffer, "hello", 6), 0);
  EXPECT_EQ(buffer[6], kSentinel);

  // A string stored without its zero gets one when there is room, not counted in size.
  std::memset(buffer, kSentinel, sizeof buffer);
  size = sizeof buffer;
  ASSERT_EQ(QueryValue(key.get(), "bare", nullptr, buffer, &size), kErrorSuccess);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(std::memcmp(buffer, "abc", 4), 0);
  EXPECT_EQ(buffer[4], kSentinel);
  std::memset(buffer, kSentinel, sizeof buffer);
  size = 3;
  ASSERT_EQ(QueryValue(key.get(), "bare", nullptr, buffer, &size), kErrorSuccess);
  EXPECT_EQ(buffer[3], kSentinel);
  // Binary data is never terminated.
  std::memset(buffer, kSentinel, sizeof buffer);
  size = sizeof buffer;
  ASSERT_EQ(QueryValue(key.get(), "bin", nullptr, buffer, &size), kErrorSuccess);
  EXPECT_EQ(buffer[3], kSentinel);

  EXPECT_EQ(QueryValue(key.get(), "sz", nullptr, buffer, nullptr), kErrorInvalidParameter);
  EXPECT_EQ(QueryValue(key.get(), "missing", nullptr, nullptr, &size), kErrorFileNotFound);
  EXPECT_EQ(QueryValue(key.get(), nullptr, nullptr, nullptr, &size), kErrorFileNotFound);
  EXPECT_EQ(QueryValue(key.get(), "sz", nullptr, nullptr, nullptr), kErrorSuccess);
}

TEST_F(RegistryTest, EnumerationBufferRules) {
  ScopedKey key(Create("Software\\Enum"));
  SetString(key.get(), "Name", "data");
  char name[16];
  unsigned char data[16];
  std::uint32_t name_size = 4, data_size = sizeof data, type = 0;
  std::memset(name, kSentinel, sizeof name);
  EXPECT_EQ(EnumValue(key.get(), 0, name, &name_size, &type, data, &data_size), kErrorMoreData);
  EXPECT_EQ(static_cast<unsigned char>(name[0]), kSentinel);

  name_size = 5;  // exactly the name and its terminator
  data_size = 2;
  std::memset(data, kSentinel, sizeof data);
  EXPECT_EQ(EnumValue(key.get(), 0, name, &name_size, &type, data, &data_size), kErrorMoreData);
  EXPECT_EQ(data_size, 5u);
  EXPECT_EQ(data[0], kSentinel);

  name_size = 5;
  data_size = sizeof data;
  ASSERT_EQ(EnumValue(key.get(), 0, name, &name_size, &type, data, &data_size), kErrorSuccess);
  EXPECT_EQ(name_size, 4u);
  EXPECT_STREQ(name, "Name");
  EXPECT_EQ(static_cast<unsigned char>(name[5]), kSentinel);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(data_size, 5u);
  EXPECT_EQ(data[5], kSentinel);
  name_size = sizeof name;
  EXPECT_EQ(EnumValue(key.get(), 1, name, &name_size, nullptr, nullptr, nullptr),
            kErrorNoMoreItems);

  ScopedKey(Create("Software\\Enum\\Subkey"));
  name_size = 6;
  EXPECT_EQ(EnumKey(key.get(), 0, name, &name_size), kErrorMoreData);
  name_size = 7;
  ASSERT_EQ(EnumKey(key.get(), 0, name, &name_size), kErrorSuccess);
  EXPECT_EQ(name_size, 6u);

  KeyInfo info;
  ASSERT_EQ(QueryInfoKey(key.get(), &info), kErrorSuccess);
  EXPECT_EQ(info.subkeys, 1u);
  EXPECT_EQ(info.max_subkey_length, 6u);
  EXPECT_EQ(info.values, 1u);
  EXPECT_EQ(info.max_value_name_length, 4u);
  EXPECT_EQ(info.max_value_data_size, 5u);
}

TEST_F(RegistryTest, BadArgumentsAndHandles) {
  Hkey key = Hkey(0x1234);
  EXPECT_EQ(OpenKey(kLocalMachine, "\\Software", kKeyRead, &key), kErrorBadPathname);
  EXPECT_EQ(key, Hkey::kNull);
  EXPECT_EQ(OpenKey(kLocalMachine, "Software", kKeyRead, nullptr), kErrorInvalidParameter);
  EXPECT_EQ(OpenKey(Hkey(0x5678), "Software", kKeyRead, &key), kErrorInvalidHandle);
  EXPECT_EQ(OpenKey(kLocalMachine, std::string(256, 'k').c_str(), kKeyRead, &key),
            kErrorInvalidParameter);
  EXPECT_EQ(OpenKey(kLocalMachine, "Software\\\\Classes\\", kKeyRead, &key), kErrorSuccess);
  EXPECT_EQ(SetValue(key, std::string(kMaxValueNameLength + 1, 'v').c_str(), kRegSz, "", 1),
            kErrorInvalidParameter);
  EXPECT_EQ(SetValue(key, "v", kRegBinary, nullptr, 4), kErrorInvalidParameter);
  EXPECT_EQ(CloseKey(key), kErrorSuccess);
  EXPECT_EQ(CloseKey(key), kErrorInvalidHandle);
  std::uint32_t size = 0;
  EXPECT_EQ(QueryValue(key, "v", nullptr, nullptr, &size), kErrorInvalidHandle);
  EXPECT_EQ(CloseKey(kLocalMachine), kErrorSuccess);
  EXPECT_EQ(FlushKey(kLocalMachine), kErrorSuccess);
}

TEST_F(RegistryTest, ClassesRootIsMachineSoftwareClasses) {
  ScopedKey type;
  ASSERT_EQ(CreateKey(kClassesRoot, ".spi", kKeyAllAccess, type.out()), kErrorSuccess);
  SetString(type.get(), "", "ZomaLaunch");
  EXPECT_EQ(ReadString("HKEY_LOCAL_MACHINE\\Software\\Classes\\.spi", ""), "ZomaLaunch");
  EXPECT_EQ(ReadString("HKCR\\.SPI", ""), "ZomaLaunch");
}

TEST_F(RegistryTest, KeyPathsAndTypedHelpers) {
  KeyPath path;
  ASSERT_TRUE(ParseKeyPath("hkey_local_machine\\Software\\Norvance\\", &path));
  EXPECT_EQ(path.root, kLocalMachine);
  EXPECT_EQ(path.subkey, "Software\\Norvance");
  ASSERT_TRUE(ParseKeyPath("HKCU", &path));
  EXPECT_EQ(path.root, kCurrentUser);
  EXPECT_EQ(path.subkey, "");
  for (const char* bad : {"", "HKXX\\Software", "Software\\Norvance", "HKLM\\\\Software",
                          "HKLM\\a\\\\b", "HKEY_LOCAL_MACHINEX\\a"})
    EXPECT_FALSE(ParseKeyPath(bad, &path)) << bad;
  EXPECT_EQ(RootName(kDynData), "HKEY_DYN_DATA");

  const char* update = "HKEY_LOCAL_MACHINE\\Software\\Norvance\\Zoma\\Update";
  ASSERT_EQ(WriteDword(update, "Download Settings Count", 0x01020304), kErrorSuccess);
  ASSERT_EQ(WriteMultiString(update, "List", {"a", "bc"}), kErrorSuccess);
  EXPECT_EQ(ReadDword(update, "download settings count"), 0x01020304u);
  EXPECT_EQ(ReadString(update, "Download Settings Count"), std::nullopt);
  EXPECT_EQ(ReadMultiString(update, "List"), std::vector<std::string>({"a", "bc"}));
  EXPECT_EQ(ReadDword("HKLM\\Software\\Missing", "x"), std::nullopt);
  Value value;
  EXPECT_EQ(ReadValue("Bogus\\Path", "x", &value), kErrorBadPathname);
  EXPECT_EQ(WriteString("HKXX\\Software", "x", "y"), kErrorBadPathname);
  EXPECT_EQ(SplitMultiString(std::string("x\0y", 3)), std::vector<std::string>({"x", "y"}));
  EXPECT_EQ(JoinMultiString({}), std::string(1, '\0'));
}

TEST_F(RegistryTest, DeepTreesDeleteWithoutRecursion) {
  std::string deep = "Software\\Deep";
  for (int i = 0; i < 300; ++i) deep += "\\k";
  ScopedKey(Create(deep.c_str()));
  ASSERT_EQ(DeleteTree(kLocalMachine, "Software\\Deep"), kErrorSuccess);
  ScopedKey gone;
  EXPECT_EQ(OpenKey(kLocalMachine, "Software\\Deep", kKeyRead, gone.out()), kErrorFileNotFound);
}

TEST_F(RegistryTest, KeysNestAtMost512Deep) {
  std::string path = "Software";  // depth 1
  for (int depth = 2; depth <= 512; ++depth) path += "\\k";
  ScopedKey deepest(Create(path.c_str()));
  ScopedKey too_deep;
  EXPECT_EQ(CreateKey(deepest.get(), "one", kKeyAllAccess, too_deep.out()),
            kErrorFilenameExcedRange);
  EXPECT_EQ(CreateKey(kLocalMachine, (path + "\\one\\two").c_str(), kKeyAllAccess, too_deep.out()),
            kErrorFilenameExcedRange);
  // Nothing of the refused path was made, and what exists still opens.
  ScopedKey opened;
  EXPECT_EQ(OpenKey(kLocalMachine, (path + "\\one").c_str(), kKeyRead, opened.out()),
            kErrorFileNotFound);
  EXPECT_EQ(CreateKey(kLocalMachine, path.c_str(), kKeyAllAccess, opened.out()), kErrorSuccess);
}

TEST_F(RegistryTest, EnumerationFollowsChangesMadeBetweenCalls) {
  ScopedKey key(Create("Software\\Changing"));
  for (const char* name : {"a", "b", "c", "d"}) SetString(key.get(), name, "x");
  for (const char* name : {"K1", "K2", "K3"})
    ScopedKey(Create((std::string("Software\\Changing\\") + name).c_str()));
  char name[16];
  std::uint32_t size = sizeof name;
  ASSERT_EQ(EnumValue(key.get(), 0, name, &size, nullptr, nullptr, nullptr), kErrorSuccess);
  size = sizeof name;
  ASSERT_EQ(EnumValue(key.get(), 1, name, &size, nullptr, nullptr, nullptr), kErrorSuccess);
  EXPECT_STREQ(name, "b");
  // Removing an earlier value shifts the indexes, as a fresh query would see them.
  ASSERT_EQ(DeleteValue(key.get(), "a"), kErrorSuccess);
  size = sizeof name;
  ASSERT_EQ(EnumValue(key.get(), 2, name, &size, nullptr, nullptr, nullptr), kErrorSuccess);
  EXPECT_STREQ(name, "d");
  // Another handle to the same key enumerates from its own start.
  ScopedKey other;
  ASSERT_EQ(OpenKey(kLocalMachine, "Software\\Changing", kKeyRead, other.out()), kErrorSuccess);
  EXPECT_EQ(ValueNames(other.get()), std::vector<std::string>({"b", "c", "d"}));
  size = sizeof name;
  ASSERT_EQ(EnumKey(key.get(), 0, name, &size), kErrorSuccess);
  size = sizeof name;
  ASSERT_EQ(EnumKey(key.get(), 1, name, &size), kErrorSuccess);
  EXPECT_STREQ(name, "K2");
  ASSERT_EQ(DeleteKey(key.get(), "K1"), kErrorSuccess);
  size = sizeof name;
  EXPECT_EQ(EnumKey(key.get(), 2, name, &size), kErrorNoMoreItems);
  size = sizeof name;
  ASSERT_EQ(EnumKey(key.get(), 1, name, &size), kErrorSuccess);
  EXPECT_STREQ(name, "K3");
}

TEST_F(RegistryTest, TenThousandValuesEnumerateInOrder) {
  ScopedKey key(Create("Software\\Wide"));
  ASSERT_EQ(ImportRegText(
                [] {
                  std::string text = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Wide]\n";
                  for (int i = 0; i < 10000; ++i) text += "\"v" + std::to_string(i) + "\"=\"x\"\n";
                  return text;
                }(),
                nullptr),
            kErrorSuccess);
  std::vector<std::string> names = ValueNames(key.get());
  ASSERT_EQ(names.size(), 10000u);
  for (int i = 0; i < 10000; i += 997) EXPECT_EQ(names[i], "v" + std::to_string(i));
  ASSERT_EQ(DeleteTree(kLocalMachine, "Software\\Wide"), kErrorSuccess);
  EXPECT_EQ(FlushKey(key.get()), kErrorKeyDeleted);
}

TEST(RegistryStoreTest, CorruptDatabaseGivesAClearCode) {
  testing::TempPrefix prefix;
  {
    std::ofstream garbage(prefix.dir() + "/registry.db", std::ios::binary);
    for (int i = 0; i < 512; ++i) garbage << "this is not a database ";
  }
  ScopedKey key;
  EXPECT_EQ(OpenKey(kLocalMachine, "Software", kKeyRead, key.out()), kErrorRegistryCorrupt);
  EXPECT_EQ(WriteString("HKLM\\Software\\X", "v", "x"), kErrorRegistryCorrupt);
  EXPECT_EQ(ReadString("HKLM\\Software\\X", "v"), std::nullopt);
}

TEST(RegistryFreshTest, HasTheKeysEveryInstallationHas) {
  testing::TempPrefix prefix;
  for (const char* path : {"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                           "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                           "System\\CurrentControlSet\\Control\\Session Manager"}) {
    ScopedKey key;
    EXPECT_EQ(OpenKey(kLocalMachine, path, kKeyRead, key.out()), kErrorSuccess) << path;
  }
}

}  // namespace
}  // namespace platform::reg
