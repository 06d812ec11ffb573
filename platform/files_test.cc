// File operations as Windows behaves: dispositions, read-only files, attributes that
// follow a copy, moves, directories and searches.
#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/paths.h"
#include "platform/testing/windows_view.h"

namespace platform {
namespace {

class FilesTest : public testing::WindowsViewTest {
 protected:
  void SetUp() override {
    WindowsViewTest::SetUp();
    ASSERT_TRUE(CreateDirectory("C:\\Data"));
  }

  // Whether this file system keeps extended attributes (else only READONLY survives).
  bool HasXattrs() {
    std::string probe = drive_c() + "/xattr-probe";
    WriteHostFile(probe, "");
    bool supported = setxattr(probe.c_str(), "user.probe", "1", 1, 0) == 0;
    unlink(probe.c_str());
    return supported;
  }
};

TEST_F(FilesTest, HandlesFollowTheCreationDispositions) {
  File file;
  ASSERT_TRUE(file.Open("C:\\Data\\f.bin", kGenericRead | kGenericWrite, Disposition::kCreateNew));
  std::uint32_t done = 0;
  ASSERT_TRUE(file.Write("hello world", 11, &done));
  EXPECT_EQ(done, 11u);
  std::int64_t position = -1;
  ASSERT_TRUE(file.Seek(5, SeekOrigin::kBegin, &position));
  EXPECT_EQ(position, 5);
  ASSERT_TRUE(file.SetEnd());
  std::uint32_t high = 0xBDBDBDBD;
  EXPECT_EQ(GetFileSize(file, &high), 5u);
  EXPECT_EQ(high, 0u);
  ASSERT_TRUE(file.Seek(0, SeekOrigin::kBegin));
  char buffer[16];
  ASSERT_TRUE(file.Read(buffer, sizeof buffer, &done));
  EXPECT_EQ(std::string(buffer, done), "hello");
  ASSERT_TRUE(file.Read(buffer, sizeof buffer, &done));
  EXPECT_EQ(done, 0u) << "end of file reads nothing, successfully";
  file.Close();

  EXPECT_FALSE(file.Open("C:\\DATA\\F.BIN", kGenericWrite, Disposition::kCreateNew));
  EXPECT_EQ(GetLastError(), kErrorFileExists);
  EXPECT_FALSE(file.Open("C:\\Data\\none", kGenericRead, Disposition::kOpenExisting));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_FALSE(file.Open("C:\\Data\\none", kGenericRead, Disposition::kTruncateExisting));
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  ASSERT_TRUE(file.Open("C:\\Data\\f.bin", kGenericWrite, Disposition::kOpenAlways));
  EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
  EXPECT_FALSE(file.Read(buffer, sizeof buffer, &done)) << "opened for writing only";
  file.Close();
  ASSERT_TRUE(file.Open("C:\\Data\\f.bin", kGenericWrite, Disposition::kTruncateExisting));
  std::uint64_t size = 99;
  ASSERT_TRUE(file.GetSize(&size));
  EXPECT_EQ(size, 0u);
  file.Close();
  EXPECT_FALSE(file.Open("C:\\Data", kGenericRead, Disposition::kOpenExisting));
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);

  // Read-only files refuse writers, even when the host would let this user write.
  ASSERT_TRUE(SetFileAttributes("C:\\Data\\f.bin", kFileAttributeReadonly));
  EXPECT_FALSE(file.Open("C:\\Data\\f.bin", kGenericWrite, Disposition::kOpenExisting));
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);
  EXPECT_FALSE(file.Open("C:\\Data\\f.bin", kGenericWrite, Disposition::kCreateAlways));
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(OpenStdioFile("C:\\Data\\f.bin", "wb"), nullptr);
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);
  std::FILE* stream = OpenStdioFile("c:\\data\\F.BIN", "rt");
  ASSERT_NE(stream, nullptr);
  std::fclose(stream);
}

TEST_F(FilesTest, FileTimesRoundTrip) {
  File file;
  ASSERT_TRUE(file.Open("C:\\Data\\t.txt", kGenericWrite, Disposition::kCreateAlways));
  FileTime written = FileTimeFromUnixTime(1'000'000'000);  // 2001-09-09
  ASSERT_TRUE(file.SetTime(nullptr, nullptr, &written));
  FileTime creation, access, write;
  ASSERT_TRUE(file.GetTime(&creation, &access, &write));
  EXPECT_EQ(FileTimeToUint64(write), FileTimeToUint64(written));
  EXPECT_NE(FileTimeToUint64(creation), 0u);
}

TEST_F(FilesTest, AttributesLiveInModeBitsAndDosAttrib) {
  EXPECT_EQ(GetFileAttributes("C:\\Data"), kFileAttributeDirectory);
  WriteHostFile(drive_c() + "/Data/a.txt", "a");
  EXPECT_EQ(GetFileAttributes("C:\\Data\\A.TXT"), kFileAttributeNormal);
  EXPECT_EQ(GetFileAttributes("C:\\Data\\missing"), kInvalidFileAttributes);
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);

  std::uint32_t all =
      kFileAttributeReadonly | kFileAttributeHidden | kFileAttributeSystem | kFileAttributeArchive;
  ASSERT_TRUE(SetFileAttributes("C:\\Data\\a.txt", all));
  struct stat st;
  ASSERT_EQ(stat((drive_c() + "/Data/a.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & S_IWUSR, 0u);
  if (HasXattrs()) {
    EXPECT_EQ(GetFileAttributes("C:\\Data\\a.txt"), all);
    char text[16] = {};
    EXPECT_EQ(getxattr((drive_c() + "/Data/a.txt").c_str(), "user.DOSATTRIB", text, sizeof text),
              4);
    EXPECT_STREQ(text, "0x26");  // HIDDEN|SYSTEM|ARCHIVE, as Samba and Wine write it
  } else {
    EXPECT_EQ(GetFileAttributes("C:\\Data\\a.txt"), kFileAttributeReadonly);
  }

  // The copy carries attributes and modification time; the original stays.
  ASSERT_TRUE(CopyFile("C:\\Data\\a.txt", "C:\\Data\\b.txt", true));
  EXPECT_EQ(GetFileAttributes("C:\\Data\\b.txt"), GetFileAttributes("C:\\Data\\a.txt"));
  struct stat copy_st;
  ASSERT_EQ(stat((drive_c() + "/Data/b.txt").c_str(), &copy_st), 0);
  EXPECT_EQ(copy_st.st_mtim.tv_sec, st.st_mtim.tv_sec);
  EXPECT_EQ(copy_st.st_mtim.tv_nsec, st.st_mtim.tv_nsec);
  EXPECT_EQ(ReadHostFile(drive_c() + "/Data/b.txt"), "a");

  // Read-only files are not deleted or overwritten until the attribute goes.
  EXPECT_FALSE(DeleteFile("C:\\Data\\b.txt"));
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);
  EXPECT_FALSE(CopyFile("C:\\Data\\a.txt", "C:\\Data\\b.txt", false));
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);
  ASSERT_TRUE(SetFileAttributes("C:\\Data\\b.txt", kFileAttributeNormal));
  EXPECT_EQ(GetFileAttributes("C:\\Data\\b.txt"), kFileAttributeNormal);
  EXPECT_TRUE(DeleteFile("C:\\Data\\b.txt"));
  EXPECT_FALSE(DeleteFile("C:\\Data\\b.txt"));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_FALSE(DeleteFile("C:\\Data"));
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);
}

TEST_F(FilesTest, CopyAndMoveRefuseWhatWindowsRefuses) {
  WriteHostFile(drive_c() + "/Data/src.txt", "source");
  WriteHostFile(drive_c() + "/Data/dst.txt", "old");
  EXPECT_FALSE(CopyFile("C:\\Data\\src.txt", "C:\\Data\\DST.TXT", true));
  EXPECT_EQ(GetLastError(), kErrorFileExists);
  EXPECT_EQ(ReadHostFile(drive_c() + "/Data/dst.txt"), "old");
  EXPECT_FALSE(CopyFile("C:\\Data\\src.txt", "C:\\Data\\SRC.TXT", false));
  EXPECT_EQ(GetLastError(), kErrorSharingViolation);
  EXPECT_EQ(ReadHostFile(drive_c() + "/Data/src.txt"), "source") << "self-copy must not truncate";
  EXPECT_FALSE(CopyFile("C:\\Data\\none.txt", "C:\\Data\\x.txt", false));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  ASSERT_TRUE(CopyFile("C:\\Data\\src.txt", "C:\\Data\\dst.txt", false));
  EXPECT_EQ(ReadHostFile(drive_c() + "/Data/dst.txt"), "source");

  EXPECT_FALSE(MoveFile("C:\\Data\\src.txt", "C:\\Data\\dst.txt"));
  EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
  ASSERT_TRUE(MoveFile("C:\\Data\\src.txt", "C:\\Data\\Moved.txt"));
  EXPECT_EQ(ReadHostFile(drive_c() + "/Data/Moved.txt"), "source");
  // A change of case only is a rename of the same file.
  ASSERT_TRUE(MoveFile("C:\\Data\\moved.txt", "C:\\Data\\MOVED.TXT"));
  EXPECT_EQ(ReadHostFile(drive_c() + "/Data/MOVED.TXT"), "source");
  EXPECT_EQ(access((drive_c() + "/Data/Moved.txt").c_str(), F_OK), -1);
  ASSERT_TRUE(MoveFile("C:\\Data", "C:\\Renamed"));
  EXPECT_EQ(GetFileAttributes("C:\\Renamed\\MOVED.TXT"), kFileAttributeNormal);
}

TEST_F(FilesTest, MoveCrossesFileSystems) {
  // /dev/shm is usually another file system; without one there is nothing to show.
  struct stat shm, prefix;
  if (stat("/dev/shm", &shm) != 0 || stat(drive_c().c_str(), &prefix) != 0 ||
      shm.st_dev == prefix.st_dev || access("/dev/shm", W_OK) != 0)
    GTEST_SKIP() << "no second file system";
  char dir[] = "/dev/shm/zoma-move-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  ASSERT_EQ(symlink(dir, (prefix_.dir() + "/drives/r").c_str()), 0);
  WriteHostFile(drive_c() + "/Data/f.txt", "across");
  ASSERT_TRUE(SetFileAttributes("C:\\Data\\f.txt", kFileAttributeReadonly));
  EXPECT_TRUE(MoveFile("C:\\Data\\f.txt", "R:\\f.txt"));
  EXPECT_EQ(ReadHostFile(std::string(dir) + "/f.txt"), "across");
  EXPECT_EQ(GetFileAttributes("R:\\f.txt") & kFileAttributeReadonly, kFileAttributeReadonly);
  EXPECT_EQ(GetFileAttributes("C:\\Data\\f.txt"), kInvalidFileAttributes);
  ASSERT_TRUE(CreateDirectory("C:\\Data\\sub"));
  EXPECT_FALSE(MoveFile("C:\\Data\\sub", "R:\\sub"));
  EXPECT_EQ(GetLastError(), kErrorNotSameDevice);
  testing::RemoveTree(dir);
}

TEST_F(FilesTest, DirectoriesAreCreatedAndRemovedOnlyWhenEmpty) {
  EXPECT_FALSE(CreateDirectory("C:\\data"));
  EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
  EXPECT_FALSE(CreateDirectory("C:\\Nowhere\\Sub"));
  EXPECT_EQ(GetLastError(), kErrorPathNotFound);
  ASSERT_TRUE(CreateDirectory("C:\\Data\\Sub"));
  WriteHostFile(drive_c() + "/Data/Sub/f", "");
  EXPECT_FALSE(RemoveDirectory("C:\\Data\\Sub"));
  EXPECT_EQ(GetLastError(), kErrorDirNotEmpty);
  EXPECT_FALSE(RemoveDirectory("C:\\Data\\Sub\\f"));
  EXPECT_EQ(GetLastError(), kErrorDirectory);
  ASSERT_TRUE(DeleteFile("C:\\Data\\Sub\\F"));
  ASSERT_TRUE(SetCurrentDirectory("C:\\Data\\Sub"));
  EXPECT_FALSE(RemoveDirectory("C:\\Data\\Sub")) << "the current directory is in use";
  EXPECT_EQ(GetLastError(), kErrorSharingViolation);
  ASSERT_TRUE(SetCurrentDirectory("C:\\"));
  EXPECT_TRUE(RemoveDirectory("c:\\DATA\\sub"));
  EXPECT_FALSE(RemoveDirectory("C:\\Data\\Sub"));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
}

std::vector<std::string> FindAll(const std::string& pattern, Status* status = nullptr) {
  std::vector<std::string> names;
  FindData data;
  FindHandle handle = FindFirstFile(pattern, &data);
  if (!handle.valid()) {
    if (status) *status = GetLastError();
    return names;
  }
  do names.push_back(data.name);
  while (FindNextFile(handle, &data));
  EXPECT_EQ(GetLastError(), kErrorNoMoreFiles);
  EXPECT_TRUE(FindClose(handle));
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(FilesTest, FindMatchesLongAndShortNamesWithoutCase) {
  for (const char* name : {"Alpha.TXT", "beta.txt", "gamma.dat", "Long File Name.txt", "README"})
    WriteHostFile(drive_c() + "/Data/" + name, "12345");
  ASSERT_TRUE(CreateDirectory("C:\\Data\\Sub"));

  using Names = std::vector<std::string>;
  EXPECT_EQ(FindAll("C:\\Data\\*.txt"), (Names{"Alpha.TXT", "Long File Name.txt", "beta.txt"}));
  EXPECT_EQ(FindAll("c:/data/?ETA.*"), (Names{"beta.txt"}));
  EXPECT_EQ(FindAll("C:\\Data\\LONGFI~1.*"), (Names{"Long File Name.txt"}));
  EXPECT_EQ(FindAll("C:\\Data\\readme.*"), (Names{"README"}));
  EXPECT_EQ(FindAll("C:\\Data\\*."), (Names{".", "..", "README", "Sub"}));
  EXPECT_EQ(FindAll("C:\\Data\\*.*").size(), 8u);
  ASSERT_TRUE(SetCurrentDirectory("C:\\Data"));
  EXPECT_EQ(FindAll("*.TXT"), FindAll("C:\\Data\\*.txt"));
  EXPECT_EQ(FindAll("c:*.txt"), FindAll("C:\\Data\\*.txt"));
  Names root = FindAll("C:\\*");
  EXPECT_EQ(std::count(root.begin(), root.end(), "."), 0) << "a drive root lists no dot entries";

  FindData data;
  FindHandle handle = FindFirstFile("C:\\Data\\long file name.TXT", &data);
  ASSERT_TRUE(handle.valid());
  EXPECT_EQ(data.name, "Long File Name.txt");
  EXPECT_EQ(data.short_name, "LONGFI~1.TXT");
  EXPECT_EQ(data.size, 5u);
  EXPECT_EQ(data.attributes, kFileAttributeNormal);
  EXPECT_NE(FileTimeToUint64(data.last_write_time), 0u);
  EXPECT_FALSE(FindNextFile(handle, &data));
  EXPECT_EQ(GetLastError(), kErrorNoMoreFiles);
  EXPECT_TRUE(FindClose(handle));
  EXPECT_FALSE(FindClose(handle));
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
  handle = FindFirstFile("C:\\Data\\sub", &data);
  ASSERT_TRUE(handle.valid());
  EXPECT_EQ(data.attributes, kFileAttributeDirectory);
  EXPECT_EQ(data.short_name, "SUB~1");

  Status status = kErrorSuccess;
  EXPECT_TRUE(FindAll("C:\\Data\\*.zip", &status).empty());
  EXPECT_EQ(status, kErrorFileNotFound);
  EXPECT_TRUE(FindAll("C:\\Nowhere\\*", &status).empty());
  EXPECT_EQ(status, kErrorPathNotFound);
  EXPECT_TRUE(FindAll("C:\\Data\\", &status).empty());
  EXPECT_EQ(status, kErrorFileNotFound);
  EXPECT_TRUE(FindAll("\\\\server\\share\\*", &status).empty());
  EXPECT_EQ(status, kErrorBadNetpath);
  EXPECT_TRUE(FindAll("C:\\Data\\a|b*", &status).empty());
  EXPECT_EQ(status, kErrorInvalidName);
}

TEST(Wildcards, MatchLikeWindows) {
  EXPECT_TRUE(MatchesWildcard("*.*", "noext"));
  EXPECT_TRUE(MatchesWildcard("*.TXT", "readme.txt"));
  EXPECT_FALSE(MatchesWildcard("*.TXT", "readme.txt.bak"));
  EXPECT_TRUE(MatchesWildcard("a*b*c", "aXXbYYc"));
  EXPECT_FALSE(MatchesWildcard("a*b*c", "aXXbYY"));
  EXPECT_TRUE(MatchesWildcard("???", "abc"));
  EXPECT_FALSE(MatchesWildcard("???", "ab"));
  EXPECT_TRUE(MatchesWildcard("*.", "makefile"));
  EXPECT_FALSE(MatchesWildcard("*.", "make.file"));
  // A pattern of many stars against a long name ends quickly.
  EXPECT_FALSE(MatchesWildcard(std::string(200, '*') + "x", std::string(5000, 'a')));
}

TEST_F(FilesTest, TemporaryPathAndNames) {
  const char* saved_tmp = std::getenv("TMP");
  const char* saved_temp = std::getenv("TEMP");
  std::string tmp = saved_tmp ? saved_tmp : "", temp = saved_temp ? saved_temp : "";
  unsetenv("TMP");
  setenv("TEMP", "/tmp", 1);  // host form: not a Windows directory, so not used
  EXPECT_EQ(GetTempPath(), "C:\\WINDOWS\\TEMP\\");
  setenv("TMP", "c:\\data", 1);
  EXPECT_EQ(GetTempPath(), "C:\\data\\");

  char buffer[32];
  std::memset(buffer, 0xBD, sizeof buffer);
  EXPECT_EQ(GetTempPath(8, buffer), 9u);
  EXPECT_EQ(static_cast<unsigned char>(buffer[0]), 0xBD);
  EXPECT_EQ(GetTempPath(9, buffer), 8u);
  EXPECT_STREQ(buffer, "C:\\data\\");
  EXPECT_EQ(static_cast<unsigned char>(buffer[9]), 0xBD);
  saved_tmp ? setenv("TMP", tmp.c_str(), 1) : unsetenv("TMP");
  saved_temp ? setenv("TEMP", temp.c_str(), 1) : unsetenv("TEMP");

  std::string first, second;
  std::uint32_t unique = GetTempFileName("C:\\WINDOWS\\TEMP", "TSLX", 0, &first);
  ASSERT_NE(unique, 0u);
  char expected[64];
  std::snprintf(expected, sizeof expected, "C:\\WINDOWS\\TEMP\\TSL%X.tmp", unique);
  EXPECT_EQ(first, expected);
  EXPECT_EQ(GetFileAttributes(first), kFileAttributeNormal) << "created, empty";
  ASSERT_NE(GetTempFileName("C:\\WINDOWS\\TEMP\\", "TSL", 0, &second), 0u);
  EXPECT_NE(first, second);

  char name[kMaxPath];
  std::memset(name, 0xBD, sizeof name);
  EXPECT_EQ(GetTempFileName("C:\\Data", "xx", 0x1234ab, name), 0x1234abu);
  EXPECT_STREQ(name, "C:\\Data\\xx34AB.tmp");
  EXPECT_EQ(GetFileAttributes(name), kInvalidFileAttributes) << "a given number creates nothing";
  EXPECT_EQ(GetTempFileName("C:\\Nowhere", "xx", 0, name), 0u);
  EXPECT_EQ(GetLastError(), kErrorDirectory);
}

TEST_F(FilesTest, FreeSpaceIsCappedBelowTwoGigabytes) {
  std::uint32_t sectors = 0, bytes = 0, free_clusters = 0, total_clusters = 0;
  ASSERT_TRUE(GetDiskFreeSpace("C:\\", &sectors, &bytes, &free_clusters, &total_clusters));
  EXPECT_EQ(sectors * bytes, 4096u);
  std::uint64_t free_bytes = 0, total_bytes = 0, total_free = 0;
  ASSERT_TRUE(GetDiskFreeSpaceEx("C:\\", &free_bytes, &total_bytes, &total_free));
  const std::uint64_t cap = 2147483648ull / 4096 - 1;
  EXPECT_EQ(free_clusters, std::min(free_bytes / 4096, cap));
  EXPECT_EQ(total_clusters, std::min(total_bytes / 4096, cap));
  // The 32-bit product callers compute stays positive.
  std::int32_t product = static_cast<std::int32_t>(sectors * bytes * total_clusters);
  EXPECT_GT(product, 0);
  EXPECT_TRUE(GetDiskFreeSpace(nullptr, nullptr, nullptr, &free_clusters, nullptr));
  EXPECT_FALSE(GetDiskFreeSpace("Q:\\", &sectors, &bytes, &free_clusters, &total_clusters));
  EXPECT_FALSE(
      GetDiskFreeSpace("\\\\server\\share\\", &sectors, &bytes, &free_clusters, &total_clusters));
  EXPECT_EQ(GetLastError(), kErrorBadNetpath);
}

}  // namespace
}  // namespace platform
