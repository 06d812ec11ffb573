// .reg files: both header forms read into the registry and written back unchanged, the
// value encodings, deletions, and malformed lines reported by number with nothing
// applied.
#include "platform/regfile.h"

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "platform/testing/temp_prefix.h"

namespace platform::reg {
namespace {

// Test texts are written with LF; the writer produces CRLF as regedit does.
std::string Crlf(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

constexpr std::string_view kVersion5 = R"(Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\Software\Norvance]

[HKEY_LOCAL_MACHINE\Software\Norvance\Zoma]
@="default"
"Root Directory"="C:\\Program Files\\Zoma"
"Quote \"q\""="say \"hi\""
"Count"=dword:0000002a
"Blob"=hex:00,01,fe,ff
"Empty"=hex:
"Expand"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,\
  00,25,00,5c,00,53,00,79,00,73,00,74,00,65,00,6d,00,33,00,32,00,00,00
"Multi"=hex(7):6f,00,6e,00,65,00,00,00,74,00,77,00,6f,00,00,00,00,00
"Qword"=hex(b):01,00,00,00,00,00,00,80
"Lines"=hex(1):61,00,0a,00,62,00,00,00

[HKEY_LOCAL_MACHINE\Software\Norvance\Zoma\Main]
"Latin"="caf)"
                                       "\xE9"
                                       R"("

)";

constexpr std::string_view kRegedit4 = R"(REGEDIT4

[HKEY_LOCAL_MACHINE\Software\Norvance]

[HKEY_LOCAL_MACHINE\Software\Norvance\Zoma]
@="default"
"Root Directory"="C:\\Program Files\\Zoma"
"Quote \"q\""="say \"hi\""
"Count"=dword:0000002a
"Blob"=hex:00,01,fe,ff
"Empty"=hex:
"Expand"=hex(2):25,53,79,73,74,65,6d,52,6f,6f,74,25,5c,53,79,73,74,65,6d,33,32,\
  00
"Multi"=hex(7):6f,6e,65,00,74,77,6f,00,00
"Qword"=hex(b):01,00,00,00,00,00,00,80
"Lines"=hex(1):61,0a,62,00

[HKEY_LOCAL_MACHINE\Software\Norvance\Zoma\Main]
"Latin"="caf)"
                                       "\xE9"
                                       R"("

)";

class RegFileTest : public ::testing::Test {
 protected:
  void ExpectStoredValues() {
    const char* zoma = "HKLM\\Software\\Norvance\\Zoma";
    EXPECT_EQ(ReadString(zoma, ""), "default");
    EXPECT_EQ(ReadString(zoma, "root directory"), "C:\\Program Files\\Zoma");
    EXPECT_EQ(ReadString(zoma, "Quote \"q\""), "say \"hi\"");
    EXPECT_EQ(ReadDword(zoma, "Count"), 42u);
    Value value;
    ASSERT_EQ(ReadValue(zoma, "Blob", &value), kErrorSuccess);
    EXPECT_EQ(value.type, kRegBinary);
    EXPECT_EQ(value.data, std::string("\x00\x01\xfe\xff", 4));
    ASSERT_EQ(ReadValue(zoma, "Empty", &value), kErrorSuccess);
    EXPECT_EQ(value.data, "");
    ASSERT_EQ(ReadValue(zoma, "Expand", &value), kErrorSuccess);
    EXPECT_EQ(value.type, kRegExpandSz);
    EXPECT_EQ(value.data, std::string("%SystemRoot%\\System32", 22));
    EXPECT_EQ(ReadMultiString(zoma, "Multi"), std::vector<std::string>({"one", "two"}));
    ASSERT_EQ(ReadValue(zoma, "Qword", &value), kErrorSuccess);
    EXPECT_EQ(value.type, 11u);
    EXPECT_EQ(value.data, std::string("\x01\0\0\0\0\0\0\x80", 8));
    EXPECT_EQ(ReadString(zoma, "Lines"), "a\nb");
    EXPECT_EQ(ReadString("HKLM\\Software\\Norvance\\Zoma\\Main", "Latin"), "caf\xE9");
  }

  testing::TempPrefix prefix_;
};

TEST_F(RegFileTest, Version5RoundTrip) {
  RegFileError error;
  ASSERT_EQ(ImportRegText(kVersion5, &error), kErrorSuccess) << error.line << error.message;
  ExpectStoredValues();
  std::string text;
  ASSERT_EQ(
      ExportRegText("HKEY_LOCAL_MACHINE\\Software\\Norvance", RegFileFormat::kVersion5, &text),
      kErrorSuccess);
  EXPECT_EQ(text, Crlf(kVersion5));
}

TEST_F(RegFileTest, Regedit4RoundTrip) {
  RegFileError error;
  ASSERT_EQ(ImportRegText(Crlf(kRegedit4), &error), kErrorSuccess) << error.message;
  ExpectStoredValues();
  std::string text;
  ASSERT_EQ(
      ExportRegText("HKEY_LOCAL_MACHINE\\Software\\Norvance", RegFileFormat::kRegedit4, &text),
      kErrorSuccess);
  EXPECT_EQ(text, Crlf(kRegedit4));
}

TEST_F(RegFileTest, Utf16FileWithByteOrderMark) {
  std::string utf16 = "\xFF\xFE";
  for (char c : Crlf(kVersion5)) {
    utf16 += c;
    utf16 += '\0';
  }
  RegFileError error;
  ASSERT_EQ(ImportRegText(utf16, &error), kErrorSuccess) << error.message;
  ExpectStoredValues();
}

TEST_F(RegFileTest, DeletionsAndLooseSpacing) {
  ASSERT_EQ(ImportRegText(kVersion5, nullptr), kErrorSuccess);
  RegFileError error;
  ASSERT_EQ(ImportRegText("REGEDIT4\n"
                          "; a comment\n"
                          "[HKLM\\Software\\Norvance\\Zoma]\n"
                          "\"Count\" = -\n"
                          "\"Missing\"=-\n"
                          "\"Blob\"=hex:01,\\\n"
                          "    02 ,03\n"
                          "[-HKEY_LOCAL_MACHINE\\Software\\Norvance\\Zoma\\Main]\n"
                          "[-HKLM\\Software\\Never\\There]\n",
                          &error),
            kErrorSuccess)
      << error.line << ": " << error.message;
  EXPECT_EQ(ReadDword("HKLM\\Software\\Norvance\\Zoma", "Count"), std::nullopt);
  Value value;
  ASSERT_EQ(ReadValue("HKLM\\Software\\Norvance\\Zoma", "Blob", &value), kErrorSuccess);
  EXPECT_EQ(value.data, "\x01\x02\x03");
  EXPECT_EQ(ReadValue("HKLM\\Software\\Norvance\\Zoma\\Main", "Latin", &value), kErrorFileNotFound);
  EXPECT_EQ(ReadString("HKLM\\Software\\Norvance\\Zoma", "Root Directory"),
            "C:\\Program Files\\Zoma");
}

TEST_F(RegFileTest, DeletingARootIsRefusedAndDeletesNothing) {
  ASSERT_EQ(ImportRegText(kVersion5, nullptr), kErrorSuccess);
  ASSERT_EQ(WriteString("HKCU\\Software\\Kept", "v", "x"), kErrorSuccess);
  ASSERT_EQ(WriteString("HKCR\\.spi", "", "ZomaLaunch"), kErrorSuccess);
  for (const char* root :
       {"HKEY_LOCAL_MACHINE", "HKEY_LOCAL_MACHINE\\", "hkey_local_machine", "HKLM", "hklm\\",
        "HKEY_CURRENT_USER", "HKCU\\", "HKEY_CLASSES_ROOT", "HKCR", "HKEY_USERS", "HKU",
        "HKEY_CURRENT_CONFIG", "HKCC", "HKEY_DYN_DATA", "HKEY_PERFORMANCE_DATA"}) {
    RegFileError error;
    EXPECT_EQ(ImportRegText(std::string("REGEDIT4\n[-") + root + "]\n", &error), kErrorAccessDenied)
        << root;
    EXPECT_EQ(ReadString("HKLM\\Software\\Norvance\\Zoma", "Root Directory"),
              "C:\\Program Files\\Zoma")
        << root;
    ScopedKey run_once;
    EXPECT_EQ(OpenKey(kLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                      kKeyRead, run_once.out()),
              kErrorSuccess)
        << root;
    EXPECT_EQ(ReadString("HKCU\\Software\\Kept", "v"), "x") << root;
    EXPECT_EQ(ReadString("HKCR\\.spi", ""), "ZomaLaunch") << root;
  }
  // A key below a root still goes, with everything under it.
  ASSERT_EQ(ImportRegText("REGEDIT4\n[-HKEY_LOCAL_MACHINE\\Software\\Norvance]\n", nullptr),
            kErrorSuccess);
  EXPECT_EQ(ReadString("HKLM\\Software\\Norvance\\Zoma", "Root Directory"), std::nullopt);
}

TEST_F(RegFileTest, BadLinesAreReportedByNumberAndNothingIsApplied) {
  struct Case {
    const char* text;
    int line;
  } cases[] = {
      {"", 1},
      {"REGEDIT5\n[HKLM\\Software\\A]\n", 1},
      {"REGEDIT4\n\n\"v\"=\"value before any key\"\n", 3},
      {"REGEDIT4\n[HKLM\\Software\\A]\n\"d\"=dword:123456789\n", 3},
      {"REGEDIT4\n[HKLM\\Software\\A]\n\"d\"=dword:xyz\n", 3},
      {"REGEDIT4\n[HKLM\\Software\\A]\n\"b\"=hex:01,0g\n", 3},
      {"REGEDIT4\n[HKLM\\Software\\A]\n\"b\"=hex:01,\\\n  123\n", 3},
      {"REGEDIT4\n[HKLM\\Software\\A]\n\"s\"=\"unterminated\n", 3},
      {"REGEDIT4\n[HKLM\\Software\\A]\n\"s\"=\"x\" trailing\n", 3},
      {"REGEDIT4\n[HKLM\\Software\\A]\nno quotes=1\n", 3},
      {"REGEDIT4\n[HKLM\\Software\\A]\n\"s\"\n", 3},
      {"REGEDIT4\n[HKLM\\Software\\A]\n\"s\"=hex(zz):00\n", 3},
      {"REGEDIT4\n[HKLM\\Software\\A]\n[HKEY_NOWHERE\\X]\n", 3},
      {"REGEDIT4\n[HKLM\\Software\\A]\n[HKLM\\Software\\A\n", 3},
      {"REGEDIT4\n[-HKLM\\Software\\A]\n\"v\"=\"under a deleted key\"\n", 3},
  };
  for (const Case& c : cases) {
    RegFileError error;
    EXPECT_NE(ImportRegText(c.text, &error), kErrorSuccess) << c.text;
    EXPECT_EQ(error.line, c.line) << c.text;
    EXPECT_FALSE(error.message.empty());
    ScopedKey key;
    EXPECT_EQ(OpenKey(kLocalMachine, "Software\\A", kKeyRead, key.out()), kErrorFileNotFound)
        << c.text;
  }
}

// Every prefix of a file and every single-byte change either parses or names a line;
// the sanitizer build shows any read past the text.
TEST(RegFileParseTest, MangledTextNeverBreaksTheReader) {
  std::string text = Crlf(kVersion5);
  auto check = [](const std::string& candidate) {
    RegFile file;
    RegFileError error;
    if (!ParseRegFile(candidate, &file, &error)) {
      EXPECT_GE(error.line, 1);
      EXPECT_FALSE(error.message.empty());
    }
  };
  for (size_t size = 0; size <= text.size(); ++size) check(text.substr(0, size));
  for (size_t i = 0; i < text.size(); ++i) {
    for (char replacement : {'\\', '"', '[', ']', '=', ',', '\n', '\0', '\xFF'}) {
      std::string changed = text;
      changed[i] = replacement;
      check(changed);
    }
  }
  check("\xFF\xFE");
  check("\xFF\xFE\x52");
}

// Names reach the store as C strings: a NUL inside would cut them to another name (for
// a key path, the root itself, so that "[-HKLM\<NUL>x]" reached the whole hive).
TEST_F(RegFileTest, NulInsideAKeyPathOrValueNameIsRefused) {
  ScopedKey keep;
  ASSERT_EQ(CreateKey(kLocalMachine, "Software\\Keep", kKeyAllAccess, keep.out()), kErrorSuccess);
  using namespace std::string_literals;
  for (const std::string& text :
       {"REGEDIT4\n\n[-HKEY_LOCAL_MACHINE\\\0x]\n"s, "REGEDIT4\n\n[HKLM\\Software\\A\0b]\n"s,
        "REGEDIT4\n[HKLM\\Software\\A]\n\"a\0b\"=\"v\"\n"s}) {
    RegFileError error;
    EXPECT_EQ(ImportRegText(text, &error), kErrorInvalidParameter);
    EXPECT_EQ(error.line, 3);
  }
  ScopedKey key;
  EXPECT_EQ(OpenKey(kLocalMachine, "Software\\Keep", kKeyRead, key.out()), kErrorSuccess);
  EXPECT_EQ(OpenKey(kLocalMachine, "Software\\A", kKeyRead, key.out()), kErrorFileNotFound);
  std::string exported;
  EXPECT_EQ(ExportRegText("HKLM\\Software\0x"s, RegFileFormat::kVersion5, &exported),
            kErrorBadPathname);
  KeyPath path;
  EXPECT_FALSE(ParseKeyPath("HKLM\\a\0b"s, &path));
}

TEST_F(RegFileTest, ExportOfAMissingKeyOrBadPathFails) {
  std::string text;
  EXPECT_EQ(ExportRegText("HKLM\\Software\\Nothing", RegFileFormat::kVersion5, &text),
            kErrorFileNotFound);
  EXPECT_EQ(ExportRegText("HKXX\\Software", RegFileFormat::kVersion5, &text), kErrorBadPathname);
}

}  // namespace
}  // namespace platform::reg
