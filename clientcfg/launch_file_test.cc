// Loading launch files, the installation-wide fallbacks, the checks after a text load
// and changes in memory.
#include "clientcfg/launch_file.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "clientcfg/testing/launch_fixture.h"
#include "clientcfg/wrapped_data.h"

namespace clientcfg {
namespace {

using testing::LaunchTest;

std::string Get(LaunchFile* file, const char* section, const char* key) {
  const char* value = GetLaunchValue(file, section, key, nullptr);
  return value ? value : "<none>";
}

TEST_F(LaunchTest, LoadStatusesAndForms) {
  EXPECT_EQ(LoadLaunchFile(nullptr, "C:\\x.spi", 0), kLaunchNoObject);
  EXPECT_EQ(LoadLaunchFile(&file_, nullptr, 0), kLaunchNoPath);
  EXPECT_EQ(LoadLaunchFile(&file_, "", 0), kLaunchNoPath);
  EXPECT_EQ(LoadLaunchFile(&file_, "C:\\missing.spi", 0), kLaunchUnreadable);
  EXPECT_EQ(file_.status(), kLaunchUnreadable);
  EXPECT_EQ(LoadLaunchFile(&file_, "C:\\ZOMA", 0), kLaunchUnreadable);  // a directory

  // A wrapped text reads like the plain one; a broken container is status 7.
  std::optional<std::string> wrapped = WrapData("[Main]\nGameID=7\n", kLaunchFileMagic);
  ASSERT_TRUE(wrapped);
  ASSERT_EQ(LoadLaunchFile(&file_, Write("w.spi", *wrapped).c_str(), 0), kLaunchOk);
  EXPECT_EQ(Get(&file_, "Main", "GameID"), "7");
  EXPECT_EQ(file_.name(), "C:\\w.spi");
  std::string broken = *wrapped;
  broken[4] = 2;  // version 2
  EXPECT_EQ(LoadLaunchFile(&file_, Write("w.spi", broken).c_str(), 0), kLaunchUnwrapFailed);
  EXPECT_FALSE(file_.loaded());
  EXPECT_EQ(Get(&file_, "Main", "GameID"), "<none>");
  EXPECT_EQ(file_.name(), "");

  // A container that would unwrap past 2,000,000 bytes of text is refused unopened.
  std::string big = "[Main]\n" + std::string(kLaunchTextMaxSize, 'x');
  wrapped = WrapData(big, kLaunchFileMagic);
  ASSERT_TRUE(wrapped);
  ASSERT_LE(wrapped->size(), kLaunchFileMaxSize);
  EXPECT_EQ(LoadLaunchFile(&file_, Write("w.spi", *wrapped).c_str(), 0), kLaunchUnwrapFailed);
  wrapped = WrapData(big.substr(0, kLaunchTextMaxSize), kLaunchFileMagic);
  EXPECT_EQ(LoadLaunchFile(&file_, Write("w.spi", *wrapped).c_str(), 0), kLaunchOk);

  // Any failure leaves the object empty, with or without flag 2.
  for (unsigned flags : {0u, 2u}) {
    ASSERT_EQ(Load("[Main]\nA=1\n"), kLaunchOk);
    EXPECT_EQ(Load("[Main]\nExpires=2001/03/14\n", flags), kLaunchExpired);
    EXPECT_TRUE(file_.records().empty());
    EXPECT_EQ(Get(&file_, "Main", "A"), "<none>");
  }
  // Loading again replaces what was there.
  ASSERT_EQ(Load("[Main]\nA=1\n"), kLaunchOk);
  ASSERT_EQ(Load("[Main]\nB=2\n"), kLaunchOk);
  EXPECT_EQ(Get(&file_, "Main", "A"), "<none>");
}

TEST_F(LaunchTest, ExpiryIsCheckedAgainstTheLocalDate) {
  const std::string file = "[Main]\nExpires = 2001/03/15\n";
  EXPECT_EQ(Load(file), kLaunchOk);  // valid on its expiry day
  testing::g_day = 16;
  EXPECT_EQ(Load(file), kLaunchExpired);
  EXPECT_EQ(Load(file, kLaunchNoExpiryCheck), kLaunchOk);
  testing::g_year = 2000, testing::g_month = 12, testing::g_day = 31;
  EXPECT_EQ(Load(file), kLaunchOk);
  testing::g_year = 2001, testing::g_month = 1, testing::g_day = 1;
  EXPECT_EQ(Load("[Main]\nExpires=2001\n"), kLaunchExpired);  // month and day read as 0
  EXPECT_EQ(Load("[Main]\nExpires=y2001 m02 d003\n"), kLaunchOk);
  EXPECT_EQ(Load("[Main]\nExpires=2000/0012/0031\n"), kLaunchExpired);
  EXPECT_EQ(Load("[Main]\nExpires=" + std::string(49, '9') + "\n"), kLaunchOk);
  // Only 49 characters are read: the day below lies past them and reads as 0.
  EXPECT_EQ(Load("[Main]\nExpires=2001/01" + std::string(42, ' ') + "/05\n"), kLaunchExpired);
  EXPECT_EQ(Load("[Main]\nExpires=\n"), kLaunchOk);  // an empty value is no expiry
  testing::g_date_known = false;
  EXPECT_EQ(Load(file), kLaunchNoDate);
  EXPECT_EQ(Load("[Main]\nA=1\n"), kLaunchOk);  // no Expires: no date needed
}

TEST_F(LaunchTest, InstallationFilesAnswerInOrderUnlessFlagOne) {
  WriteInstallationFiles("[Main]\nNetwork=Rallyer\nFrom=default\nOnlyDefault=d\n",
                         "[Main]\nNetwork=Rallyer\nFrom=extra\n");
  LaunchFile* file = NewLaunchFile();
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(DefaultLaunchFile().loaded());
  EXPECT_TRUE(ExtraLaunchFile().loaded());
  EXPECT_EQ(DefaultLaunchFile().flags(), kLaunchNoFallback);
  EXPECT_EQ(DefaultLaunchFile().name(), "C:\\ZOMA\\System\\default.spi");

  ASSERT_EQ(LoadLaunchFile(file, Write("g.spi", "[Main]\nNetwork=rallyer\nFrom=game\n").c_str(), 0),
            kLaunchOk);
  EXPECT_EQ(Get(file, "Main", "From"), "game");
  EXPECT_EQ(Get(file, "Main", "OnlyDefault"), "d");
  EXPECT_EQ(Get(nullptr, "Main", "From"), "extra");
  EXPECT_EQ(Get(file, "Main", "Missing"), "<none>");
  EXPECT_STREQ(GetLaunchValue(file, "Main", "Missing", "dflt"), "dflt");

  // Flags 1: the object alone.
  ASSERT_EQ(LoadLaunchFile(file, Write("g.spi", "[Main]\nNetwork=Rallyer\n").c_str(), 1),
            kLaunchOk);
  EXPECT_EQ(Get(file, "Main", "OnlyDefault"), "<none>");
  EXPECT_EQ(Get(file, "Main", "From"), "<none>");

  // The network check: the file's own value against the installation's.
  EXPECT_EQ(LoadLaunchFile(file, Write("g.spi", "[Main]\nFrom=game\n").c_str(), 0),
            kLaunchNoNetwork);
  EXPECT_EQ(LoadLaunchFile(file, Write("g.spi", "[Main]\nNetwork=Other\n").c_str(), 0),
            kLaunchWrongNetwork);
  EXPECT_EQ(LoadLaunchFile(file, Write("g.spi", "[Main]\nNetwork=Other\n").c_str(), 4), kLaunchOk);
  // A cleared object is not consulted; the fallbacks still are.
  ClearLaunchFile(file);
  EXPECT_EQ(Get(file, "Main", "Network"), "Rallyer");
  FreeLaunchFile(file);
  FreeLaunchFile(nullptr);

  // Freed: nothing answers until loaded again, once per process.
  FreeDefaultLaunchFiles();
  EXPECT_EQ(Get(nullptr, "Main", "From"), "<none>");
  EXPECT_FALSE(DefaultLaunchFile().loaded());
  LoadDefaultLaunchFiles();
  EXPECT_EQ(Get(nullptr, "Main", "OnlyDefault"), "d");
}

TEST_F(LaunchTest, InstallationFilesNeedARootAndSurviveBadFiles) {
  platform::reg::WriteString("HKLM\\Software\\Norvance\\Zoma\\Main", "Root Directory",
                             "C:\\ZOMA\\");
  WriteInstallationFiles("[Main]\nExpires=2001/03/14\nA=1\n", "tiny");
  LoadDefaultLaunchFiles();
  EXPECT_FALSE(DefaultLaunchFile().loaded());  // expired
  EXPECT_EQ(DefaultLaunchFile().status(), kLaunchExpired);
  EXPECT_FALSE(ExtraLaunchFile().loaded());  // below 10 bytes
  EXPECT_EQ(ExtraLaunchFile().status(), kLaunchBadSize);
  FreeDefaultLaunchFiles();

  // Only a REG_SZ root counts.
  platform::reg::WriteDword("HKLM\\Software\\Norvance\\Zoma\\Main", "Root Directory", 1);
  WriteInstallationFiles("[Main]\nA=1\n", "");
  LoadDefaultLaunchFiles();
  EXPECT_FALSE(DefaultLaunchFile().loaded());
  EXPECT_EQ(Load("[Main]\nB=2\n"), kLaunchOk);
  EXPECT_EQ(Get(&file_, "Main", "A"), "<none>");
}

TEST_F(LaunchTest, SetAndDeleteChangeTheObjectOnly) {
  std::string text = "[Main]\nKey=first\n";
  for (int k = 1; k < 16; ++k) text += "Fill" + std::to_string(k) + "=x\n";
  text += "[Other]\nA=1\n[Main]\nKey=second\n";
  ASSERT_EQ(Load(text), kLaunchOk);
  EXPECT_EQ(Get(&file_, "Main", "Key"), "second");

  // Replacing changes the entry a lookup finds (the last one).
  EXPECT_EQ(SetLaunchValue(&file_, "Main", "key", "third;comment"), kLaunchOk);
  EXPECT_EQ(Get(&file_, "Main", "Key"), "third");
  EXPECT_EQ(file_.records()[2]->entries[0].value, "third");
  EXPECT_EQ(file_.records()[0]->entries[0].value, "first");

  // A new key goes to the last record of its section with room...
  EXPECT_EQ(SetLaunchInt(&file_, " Main", "Number;x", -42), kLaunchOk);
  EXPECT_EQ(file_.records()[2]->used, 2);
  EXPECT_EQ(GetLaunchInt(&file_, "Main", "Number", 0), -42);
  // ...or a new record at the end for a new section.
  EXPECT_EQ(SetLaunchValue(&file_, "Fresh", "K", "v"), kLaunchOk);
  EXPECT_EQ(file_.records().back()->name, "Fresh");
  EXPECT_EQ(Get(&file_, "Fresh", "K"), "v");
  EXPECT_EQ(SetLaunchValue(&file_, "#Main", "K", "v"), kLaunchBadName);
  EXPECT_EQ(SetLaunchValue(&file_, "Main", "  #K", "v"), kLaunchBadName);
  EXPECT_EQ(SetLaunchValue(nullptr, "Main", "K", "v"), kLaunchNoObject);

  // Deleting removes every definition; the result is always 105.
  EXPECT_EQ(DeleteLaunchValue(&file_, "MAIN", "Key"), kLaunchNotFound);
  EXPECT_EQ(file_.status(), kLaunchNotFound);
  EXPECT_EQ(Get(&file_, "Main", "Key"), "<none>");
  EXPECT_EQ(file_.records()[0]->deleted, 1);
  EXPECT_EQ(file_.records()[2]->deleted, 1);
  EXPECT_EQ(DeleteLaunchValue(&file_, "Main", "Key"), kLaunchNotFound);
  EXPECT_EQ(file_.records()[0]->deleted, 1);
  // A deleted slot is not reused: a full record stays full.
  EXPECT_EQ(SetLaunchValue(&file_, "Main", "Key", "back"), kLaunchOk);
  EXPECT_EQ(Get(&file_, "Main", "Key"), "back");
  EXPECT_EQ(file_.records()[0]->used, 16);
}

TEST_F(LaunchTest, LookupsAndDeletesShareTheObjectsLock) {
  LaunchFile* file = NewLaunchFile();
  std::string text = "[Main]\n";
  for (int k = 0; k < 400; ++k)
    text += "Key" + std::to_string(k) + "=a value long enough to be on the heap\n";
  ASSERT_EQ(LoadLaunchFile(file, Write("big.spi", text).c_str(), kLaunchNoFallback), kLaunchOk);
  std::atomic<int> found{0};
  std::thread reader([&] {
    for (int round = 0; round < 20; ++round)
      for (int k = 0; k < 400; k += 7)
        if (GetLaunchValue(file, "Main", ("Key" + std::to_string(k)).c_str(), nullptr)) ++found;
  });
  for (int k = 0; k < 400; ++k)
    DeleteLaunchValue(file, "Main", ("Key" + std::to_string(k)).c_str());
  reader.join();
  EXPECT_EQ(CountNumberedKeys(file, "Main", "Key", nullptr, 16), 0);
  FreeLaunchFile(file);
}

TEST_F(LaunchTest, EveryStatusHasAMeaning) {
  for (int status : {0, 1, 2, 3, 4, 5, 7, 8, 100, 101, 102, 103, 104, 105})
    EXPECT_STRNE(LaunchStatusText(status), "unknown status") << status;
  EXPECT_STREQ(LaunchStatusText(6), "unknown status");
  EXPECT_STREQ(LaunchStatusText(kLaunchExpired), "the file has expired");
}

}  // namespace
}  // namespace clientcfg
