#include "platform/profile.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>

#include "platform/testing/host_files.h"
#include "platform/testing/temp_prefix.h"
#include "platform/win_error.h"

namespace platform {
namespace {

constexpr char kSentinel = static_cast<char>(0xbd);

using testing::ReadHostFile;

class PrivateProfile : public ::testing::Test {
 protected:
  void SetUp() override {
    // A bare name lives in the Windows directory.
    host_ = prefix_.drive_c() + "/WINDOWS/test.ini";
    std::ofstream(host_) << "; settings\r\n[Main]\r\nName = \"Zoma Client\"  \r\nCount=42abc\r\n"
                            "Negative=-5\r\nEmpty=\r\nWord=x\r\n\r\n[Other]\r\nA=1\r\n";
  }
  // Fills a buffer with the sentinel and checks after a call that nothing past `used`
  // bytes was touched.
  std::string Call(std::uint32_t size, std::uint32_t* result,
                   const std::function<std::uint32_t(char*, std::uint32_t)>& call) {
    char buffer[64];
    std::memset(buffer, kSentinel, sizeof buffer);
    *result = call(buffer, size);
    for (std::size_t i = size; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], kSentinel) << i;
    std::size_t length = *result + 1 < size ? *result + 1 : size;
    return std::string(buffer, length);
  }
  testing::TempPrefix prefix_;
  std::string host_;
};

TEST_F(PrivateProfile, ValuesDefaultsAndTheBufferRules) {
  std::uint32_t result = 0;
  auto get = [](const char* section, const char* key, const char* fallback) {
    return [=](char* buffer, std::uint32_t size) {
      return GetPrivateProfileString(section, key, fallback, buffer, size, "test.ini");
    };
  };
  // Case-insensitive names; value trimmed and unquoted.
  EXPECT_EQ(Call(32, &result, get("MAIN", "name", "")), std::string("Zoma Client\0", 12));
  EXPECT_EQ(result, 11u);
  // Cut to size - 1 and terminated.
  EXPECT_EQ(Call(5, &result, get("Main", "Name", "")), std::string("Zoma\0", 5));
  EXPECT_EQ(result, 4u);
  // Default with trailing blanks removed; a null default is empty.
  EXPECT_EQ(Call(32, &result, get("Main", "Missing", "dflt  ")), std::string("dflt\0", 5));
  EXPECT_EQ(result, 4u);
  EXPECT_EQ(Call(32, &result, get("Nope", "Name", nullptr)), std::string("\0", 1));
  EXPECT_EQ(result, 0u);
  EXPECT_EQ(Call(32, &result, get("Main", "Empty", "d")), std::string("\0", 1));
  // Size 0 writes nothing.
  EXPECT_EQ(Call(0, &result, get("Main", "Name", "")), "");
  EXPECT_EQ(result, 0u);
  // A missing file gives the default.
  char buffer[8];
  EXPECT_EQ(GetPrivateProfileString("a", "b", "d", buffer, 8, "C:\\missing\\x.ini"), 1u);
  EXPECT_STREQ(buffer, "d");
}

TEST_F(PrivateProfile, EnumerationsAsNulSeparatedLists) {
  std::uint32_t result = 0;
  auto sections = [](char* buffer, std::uint32_t size) {
    return GetPrivateProfileSectionNames(buffer, size, "TEST.INI");
  };
  EXPECT_EQ(Call(32, &result, sections), std::string("Main\0Other\0\0", 12));
  EXPECT_EQ(result, 11u);
  // Cut: the last name is shortened and two NULs end the buffer; the result is size - 2.
  EXPECT_EQ(Call(8, &result, sections), std::string("Main\0O\0", 7));
  EXPECT_EQ(result, 6u);
  char cut[8];
  GetPrivateProfileSectionNames(cut, sizeof cut, "test.ini");
  EXPECT_EQ(cut[7], '\0');
  auto keys = [](char* buffer, std::uint32_t size) {
    return GetPrivateProfileString("main", nullptr, "ignored", buffer, size, "test.ini");
  };
  EXPECT_EQ(Call(64, &result, keys), std::string("Name\0Count\0Negative\0Empty\0Word\0\0", 32));
  auto section = [](char* buffer, std::uint32_t size) {
    return GetPrivateProfileSection("OTHER", buffer, size, "test.ini");
  };
  EXPECT_EQ(Call(64, &result, section), std::string("A=1\0\0", 5));
  EXPECT_EQ(result, 4u);
}

TEST_F(PrivateProfile, Integers) {
  EXPECT_EQ(GetPrivateProfileInt("Main", "Count", 7, "test.ini"), 42u);
  EXPECT_EQ(GetPrivateProfileInt("Main", "Negative", 7, "test.ini"), 0xFFFFFFFBu);
  EXPECT_EQ(GetPrivateProfileInt("Main", "Empty", 7, "test.ini"), 7u);
  EXPECT_EQ(GetPrivateProfileInt("Main", "Word", 7, "test.ini"), 0u);
  EXPECT_EQ(GetPrivateProfileInt("Main", "Missing", -1, "test.ini"), 0xFFFFFFFFu);
}

TEST_F(PrivateProfile, WritesKeepTheRestAndReplaceTheFileWhole) {
  ASSERT_TRUE(WritePrivateProfileString("main", "COUNT", "9", "test.ini"));
  ASSERT_TRUE(WritePrivateProfileString("New", "Key", "v", "test.ini"));
  ASSERT_TRUE(WritePrivateProfileString("Main", "Word", nullptr, "test.ini"));
  ASSERT_TRUE(WritePrivateProfileString("Other", nullptr, nullptr, "test.ini"));
  EXPECT_TRUE(WritePrivateProfileString(nullptr, nullptr, nullptr, "test.ini"));  // flush
  EXPECT_EQ(ReadHostFile(host_),
            "; settings\r\n[Main]\r\nName = \"Zoma Client\"  \r\nCount=9\r\nNegative=-5\r\n"
            "Empty=\r\n\r\n[New]\r\nKey=v\r\n");
  // No temporary file is left beside it.
  int entries = 0;
  DIR* dir = opendir((prefix_.drive_c() + "/WINDOWS").c_str());
  while (dirent* entry = readdir(dir))
    if (std::strncmp(entry->d_name, "test.ini", 8) == 0) ++entries;
  closedir(dir);
  EXPECT_EQ(entries, 1);

  // A new file in a directory given by path.
  ASSERT_TRUE(WritePrivateProfileString("S", "K", "V", "C:\\fresh.ini"));
  EXPECT_EQ(ReadHostFile(prefix_.drive_c() + "/fresh.ini"), "[S]\r\nK=V\r\n");
  EXPECT_FALSE(WritePrivateProfileString("S", "K", "V", "C:\\no\\such\\dir\\x.ini"));
  EXPECT_FALSE(WritePrivateProfileString(nullptr, "K", "V", "test.ini"));
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);

  chmod(host_.c_str(), 0444);
  EXPECT_FALSE(WritePrivateProfileString("Main", "Count", "1", "test.ini"));
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(GetPrivateProfileInt("Main", "Count", 0, "test.ini"), 9u);
}

}  // namespace
}  // namespace platform
