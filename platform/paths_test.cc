// Windows path behaviour: drive mapping both ways, case-insensitive lookup, short names,
// full-path folding and the codes bad paths give.
#include "platform/paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/files.h"
#include "platform/prefix.h"
#include "platform/short_names.h"
#include "platform/testing/windows_view.h"

namespace platform {
namespace {

constexpr unsigned char kSentinel = 0xBD;

class PathsTest : public testing::WindowsViewTest {};

TEST_F(PathsTest, DrivesMapThroughThePrefixAndBack) {
  EXPECT_EQ(ToHostPath("C:\\WINDOWS"), drive_c() + "/WINDOWS");
  EXPECT_EQ(ToHostPath("c:/windows/system32"), drive_c() + "/WINDOWS/SYSTEM32");
  EXPECT_EQ(ToHostPath("Z:\\"), "/");
  EXPECT_EQ(DriveRoot('c'), drive_c());
  EXPECT_EQ(DriveRoot('Q'), "");
  EXPECT_EQ(MappedDriveLetters(), "CZ");
  Status status = kErrorSuccess;
  EXPECT_EQ(ToHostPath("Q:\\x", &status), "");
  EXPECT_EQ(status, kErrorPathNotFound);
  EXPECT_EQ(GetLastError(), kErrorPathNotFound);

  EXPECT_EQ(ToWindowsPath(drive_c() + "/WINDOWS"), "C:\\WINDOWS");
  EXPECT_EQ(ToWindowsPath(drive_c()), "C:\\");
  EXPECT_EQ(ToWindowsPath(drive_c() + "/WINDOWS/not-yet.txt"), "C:\\WINDOWS\\not-yet.txt");
  EXPECT_EQ(ToWindowsPath("/"), "Z:\\");
  EXPECT_EQ(ToWindowsPath("/usr/bin"), "Z:\\usr\\bin");
  // Through the drive link itself the longer C: root still wins over Z:.
  EXPECT_EQ(ToWindowsPath(prefix_.dir() + "/drives/c/WINDOWS"), "C:\\WINDOWS");

  // A user-added letter; the longest matching root decides.
  ASSERT_EQ(symlink((drive_c() + "/WINDOWS").c_str(), (prefix_.dir() + "/drives/d").c_str()), 0);
  ASSERT_EQ(
      symlink((prefix_.dir() + "/no-such-target").c_str(), (prefix_.dir() + "/drives/q").c_str()),
      0);
  EXPECT_EQ(MappedDriveLetters(), "CDZ") << "a dangling link is no drive";
  EXPECT_EQ(ToHostPath("d:\\system32"), drive_c() + "/WINDOWS/SYSTEM32");
  EXPECT_EQ(ToWindowsPath(drive_c() + "/WINDOWS/SYSTEM32"), "D:\\SYSTEM32");
  EXPECT_EQ(ToWindowsPath(drive_c() + "/other"), "C:\\other");
}

TEST_F(PathsTest, CurrentDirectoryIsTheHostsInWindowsForm) {
  ASSERT_TRUE(SetCurrentDirectory("c:\\windows\\system32"));
  EXPECT_EQ(GetCurrentDirectory(), "C:\\WINDOWS\\SYSTEM32");
  ASSERT_TRUE(SetCurrentDirectory(".."));
  EXPECT_EQ(GetCurrentDirectory(), "C:\\WINDOWS");
  ASSERT_TRUE(SetCurrentDirectory("\\"));
  EXPECT_EQ(GetCurrentDirectory(), "C:\\");

  // Buffer form: exact fit, one byte short, and the terminator.
  char buffer[16];
  std::memset(buffer, kSentinel, sizeof buffer);
  EXPECT_EQ(GetCurrentDirectory(3, buffer), 4u);
  EXPECT_EQ(static_cast<unsigned char>(buffer[0]), kSentinel);
  EXPECT_EQ(GetCurrentDirectory(4, buffer), 3u);
  EXPECT_STREQ(buffer, "C:\\");
  EXPECT_EQ(static_cast<unsigned char>(buffer[4]), kSentinel);

  EXPECT_FALSE(SetCurrentDirectory("C:\\missing"));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  WriteHostFile(drive_c() + "/file.txt", "x");
  EXPECT_FALSE(SetCurrentDirectory("C:\\file.txt"));
  EXPECT_EQ(GetLastError(), kErrorDirectory);
  EXPECT_EQ(GetCurrentDirectory(), "C:\\");
}

TEST_F(PathsTest, LookupIgnoresCaseAndCreationKeepsSpelling) {
  ASSERT_TRUE(CreateDirectory("C:\\Data"));
  File file;
  ASSERT_TRUE(file.Open("c:\\DATA\\MixedCase.Txt", kGenericWrite, Disposition::kCreateNew));
  file.Close();
  struct stat st;
  EXPECT_EQ(stat((drive_c() + "/Data/MixedCase.Txt").c_str(), &st), 0);
  EXPECT_EQ(ToHostPath("C:\\data\\MIXEDCASE.TXT"), drive_c() + "/Data/MixedCase.Txt");
  // A missing last component keeps the spelling given; a missing directory is an error.
  EXPECT_EQ(ToHostPath("C:\\DATA\\New.txt"), drive_c() + "/Data/New.txt");
  Status status = kErrorSuccess;
  EXPECT_EQ(ToHostPath("C:\\Missing\\New.txt", &status), "");
  EXPECT_EQ(status, kErrorPathNotFound);
  EXPECT_EQ(MapToHostPath("C:\\data\\Missing\\Deeper"), drive_c() + "/Data/Missing/Deeper");
  // A file in the middle of a path is no directory.
  EXPECT_EQ(ToHostPath("C:\\Data\\MixedCase.Txt\\x", &status), "");
  EXPECT_EQ(status, kErrorPathNotFound);
  // The exact spelling wins when the host holds several.
  WriteHostFile(drive_c() + "/Data/mixedcase.txt", "other");
  EXPECT_EQ(ToHostPath("C:\\Data\\mixedcase.txt"), drive_c() + "/Data/mixedcase.txt");
}

TEST(ShortNames, GeneratedInDirectoryOrderAvoidingRealNames) {
  std::vector<std::string> names = {"Program Files", "PROGRA~1",   "Programme Data",
                                    "README.TXT",    "readme.txt", "LongFileName.html",
                                    "a+b.c",         ".bashrc",    "x.tar.gz"};
  std::vector<std::string> expected = {
      "PROGRA~2",     "",        "PROGRA~3", "",         "README~1.TXT",
      "LONGFI~1.HTM", "A_B~1.C", "BASHRC~1", "XTAR~1.GZ"};
  EXPECT_EQ(GenerateShortNames(names), expected);
  EXPECT_EQ(GenerateShortNames(names), expected) << "same listing, same names";

  std::vector<std::string> many;
  for (int i = 1; i <= 11; ++i) many.push_back("longname" + std::to_string(i) + ".txt");
  std::vector<std::string> short_names = GenerateShortNames(many);
  EXPECT_EQ(short_names[0], "LONGNA~1.TXT");
  EXPECT_EQ(short_names[8], "LONGNA~9.TXT");
  EXPECT_EQ(short_names[9], "LONGN~10.TXT");
  EXPECT_EQ(short_names[10], "LONGN~11.TXT");

  for (const char* name : {"A", "A.B", "README.TXT", "12345678.123", "$X~1_{}.!#"})
    EXPECT_TRUE(IsShortName(name)) << name;
  for (const char* name :
       {"", "a.b", "README.txt", "123456789", "A.BCDE", "A B", "A..B", "A.", ".A", "A+B", "A.B.C"})
    EXPECT_FALSE(IsShortName(name)) << name;
}

TEST_F(PathsTest, ShortNamesFindFilesAndConvertBothWays) {
  ASSERT_TRUE(CreateDirectory("C:\\Data"));
  WriteHostFile(drive_c() + "/Data/Long File Name.txt", "long");
  EXPECT_EQ(ToHostPath("C:\\DATA~1\\longfi~1.txt"), drive_c() + "/Data/Long File Name.txt");
  EXPECT_EQ(GetShortPathName("C:\\Data\\Long File Name.txt"), "C:\\DATA~1\\LONGFI~1.TXT");
  EXPECT_EQ(GetShortPathName("c:\\windows\\system32\\"), "C:\\WINDOWS\\SYSTEM32\\");
  EXPECT_EQ(GetLongPathName("c:\\data~1\\LONGFI~1.TXT"), "C:\\Data\\Long File Name.txt");
  Status status = kErrorSuccess;
  EXPECT_EQ(GetLongPathName("C:\\Data\\nothing.txt", &status), "");
  EXPECT_EQ(status, kErrorFileNotFound);
}

TEST_F(PathsTest, FullPathFoldsDotsAndFindsTheFilePart) {
  ASSERT_TRUE(SetCurrentDirectory("C:\\WINDOWS"));
  EXPECT_EQ(GetFullPathName("a\\..\\b\\.\\c.txt"), "C:\\WINDOWS\\b\\c.txt");
  EXPECT_EQ(GetFullPathName("C:\\a\\..\\..\\..\\x"), "C:\\x");
  EXPECT_EQ(GetFullPathName("\\foo"), "C:\\foo");
  EXPECT_EQ(GetFullPathName("/foo//bar/"), "C:\\foo\\bar\\");
  EXPECT_EQ(GetFullPathName("C:x"), "C:\\WINDOWS\\x");
  EXPECT_EQ(GetFullPathName("d:x"), "D:\\x");
  EXPECT_EQ(GetFullPathName("C:\\dir\\file. ."), "C:\\dir\\file");
  EXPECT_EQ(GetFullPathName("C:\\dir.\\file"), "C:\\dir\\file");
  EXPECT_EQ(GetFullPathName("C:\\dir\\..."), "C:\\dir");
  EXPECT_EQ(GetFullPathName(".."), "C:\\");
  EXPECT_EQ(GetFullPathName("\\\\srv\\share\\a\\..\\..\\b"), "\\\\srv\\share\\b");
  Status status = kErrorSuccess;
  EXPECT_EQ(GetFullPathName("", &status), "");
  EXPECT_EQ(status, kErrorInvalidName);

  char buffer[32];
  char* file_part = nullptr;
  std::memset(buffer, kSentinel, sizeof buffer);
  const char* path = "sub\\..\\name.txt";  // C:\WINDOWS\name.txt: 19 characters
  EXPECT_EQ(GetFullPathName(path, 19, buffer, &file_part), 20u);
  for (unsigned char c : buffer) EXPECT_EQ(c, kSentinel);
  EXPECT_EQ(GetFullPathName(path, 20, buffer, &file_part), 19u);
  EXPECT_STREQ(buffer, "C:\\WINDOWS\\name.txt");
  EXPECT_EQ(file_part, buffer + 11);
  EXPECT_EQ(static_cast<unsigned char>(buffer[20]), kSentinel);
  EXPECT_EQ(GetFullPathName("C:\\dir\\", sizeof buffer, buffer, &file_part), 7u);
  EXPECT_EQ(file_part, nullptr);

  char small[8];
  std::memset(small, kSentinel, sizeof small);
  EXPECT_EQ(FullPath(small, "name.txt", sizeof small), nullptr);
  EXPECT_EQ(static_cast<unsigned char>(small[0]), kSentinel);
  char full[256];
  EXPECT_STREQ(FullPath(full, "", sizeof full), "C:\\WINDOWS");
  EXPECT_STREQ(FullPath(full, "x/y", sizeof full), "C:\\WINDOWS\\x\\y");
}

TEST_F(PathsTest, BadPathsGiveClearCodes) {
  Status status = kErrorSuccess;
  EXPECT_EQ(ToHostPath("\\\\server\\share\\file.txt", &status), "");
  EXPECT_EQ(status, kErrorBadNetpath);
  EXPECT_EQ(GetFileAttributes("//server/share/file.txt"), kInvalidFileAttributes);
  EXPECT_EQ(GetLastError(), kErrorBadNetpath);

  // 259 characters fit a MAX_PATH buffer; 260 do not.
  std::string fits = "C:\\" + std::string(256, 'a');
  std::string too_long = fits + "b";
  EXPECT_NE(ToHostPath(fits, &status), "");
  EXPECT_EQ(ToHostPath(too_long, &status), "");
  EXPECT_EQ(status, kErrorFilenameExcedRange);
  File file;
  EXPECT_FALSE(file.Open(too_long, kGenericWrite, Disposition::kCreateAlways));
  EXPECT_EQ(GetLastError(), kErrorFilenameExcedRange);

  for (const char* bad : {"<", ">", ":", "\"", "|", "?", "*", "\x01", "\x1f"}) {
    std::string path = std::string("C:\\WINDOWS\\a") + bad + "b";
    EXPECT_EQ(ToHostPath(path, &status), "") << path;
    EXPECT_EQ(status, kErrorInvalidName) << path;
    EXPECT_FALSE(CreateDirectory(path));
    EXPECT_EQ(GetLastError(), kErrorInvalidName);
  }
  EXPECT_EQ(ToHostPath("C:\\a:b\\c", &status), "");
  EXPECT_EQ(status, kErrorInvalidName);
}

}  // namespace
}  // namespace platform
