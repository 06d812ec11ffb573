#include "platform/profile_document.h"

#include <gtest/gtest.h>

#include <cstring>

namespace platform {
namespace {

constexpr char kSentinel = static_cast<char>(0xBD);

TEST(ProfileDocument, ReadsLikeTheWin32ProfileCalls) {
  ProfileDocument ini(
      "; comment\r\n"
      "[Main]\n"
      "  Name = Zoma  \n"
      "Quoted=\"  spaced  \"\n"
      "Single='x'\n"
      "Half=\"open\n"
      "NoValue\n"
      "name=second wins never\n"
      "[ main ]\n"
      "Name=duplicate section\n"
      "[Rename]\r\n"
      "NUL=C:\\OLD.TXT\r\n");
  EXPECT_EQ(ini.Get("MAIN", "name"), "Zoma");
  EXPECT_EQ(ini.Get("Main", "Quoted"), "  spaced  ");
  EXPECT_EQ(ini.Get("Main", "Single"), "x");
  EXPECT_EQ(ini.Get("Main", "Half"), "\"open");
  EXPECT_EQ(ini.Get("Main", "NoValue"), "");
  EXPECT_EQ(ini.Get("Main", "Missing"), std::nullopt);
  EXPECT_EQ(ini.Get("Other", "Name"), std::nullopt);
  EXPECT_EQ(ini.Get("rename", "nul"), "C:\\OLD.TXT");
  EXPECT_EQ(ini.SectionNames(), (std::vector<std::string>{"Main", "main", "Rename"}));
  EXPECT_EQ(ini.KeyNames("main"),
            (std::vector<std::string>{"Name", "Quoted", "Single", "Half", "NoValue", "name"}));
}

TEST(ProfileDocument, EditsKeepTheRestOfTheText) {
  ProfileDocument ini("; keep me\r\n[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");
  ini.Set("a", "X", "10");   // replaced in place, old spelling kept
  ini.Set("A", "new", "n");  // added before the blank line that ends A
  ini.Set("C", "z", "3");    // a new section at the end
  ini.DeleteKey("b", "Y");
  EXPECT_EQ(ini.Text(), "; keep me\r\n[A]\r\nx=10\r\nnew=n\r\n\r\n[B]\r\n\r\n[C]\r\nz=3\r\n");
  ini.DeleteSection("A");
  EXPECT_EQ(ini.Text(), "; keep me\r\n[B]\r\n\r\n[C]\r\nz=3\r\n");
  ProfileDocument empty;
  empty.Set("S", "k", "v");
  EXPECT_EQ(empty.Text(), "[S]\r\nk=v\r\n");
}

// List sections keep every line: a second delete must not replace the first.
TEST(ProfileDocument, AppendKeepsDuplicateKeys) {
  ProfileDocument ini("[Rename]\r\nNUL=C:\\A.TXT\r\n\r\n[Other]\r\n");
  ini.Append("Rename", "NUL", "C:\\B.TXT");
  ini.Append("New", "NUL", "C:\\C.TXT");
  EXPECT_EQ(ini.Text(),
            "[Rename]\r\nNUL=C:\\A.TXT\r\nNUL=C:\\B.TXT\r\n\r\n[Other]\r\n\r\n"
            "[New]\r\nNUL=C:\\C.TXT\r\n");
  EXPECT_EQ(ini.Entries("rename").size(), 2u);
}

TEST(ProfileDocument, BufferRules) {
  std::vector<std::string> names = {"ab", "cde"};
  for (std::uint32_t size = 1; size <= 9; ++size) {
    char buffer[16];
    std::memset(buffer, kSentinel, sizeof buffer);
    std::uint32_t result = PackNameList(names, buffer, size);
    for (std::uint32_t i = size; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], kSentinel) << size;
    if (size >= 8) {
      EXPECT_EQ(result, 7u);
      EXPECT_EQ(std::memcmp(buffer, "ab\0cde\0\0", 8), 0);
    } else if (size >= 2) {
      EXPECT_EQ(result, size - 2) << size;
      EXPECT_EQ(buffer[size - 1], '\0');
      EXPECT_EQ(buffer[size - 2], '\0');
    }
  }
  char value[4];
  std::memset(value, kSentinel, sizeof value);
  EXPECT_EQ(CopyProfileValue("abcdef", value, 3), 2u);
  EXPECT_STREQ(value, "ab");
  EXPECT_EQ(value[3], kSentinel);
}

}  // namespace
}  // namespace platform
