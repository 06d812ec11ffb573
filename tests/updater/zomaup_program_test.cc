// The ZomaUp program end to end, in a fresh prefix with the silent user interface and
// the stand-in update library: the roles, the single instance, the chain through the
// Alternate directory, the passes, the log and what a person would have seen.
#include "tests/updater/zomaup_installation.h"
#include "updater/launch_code.h"

namespace zoma::testing {
namespace {

class ZomaUpProgramTest : public ZomaUpInstallation {
 protected:
  static Lines ChannelLines(const std::string& channel, bool self_update = false) {
    Lines lines{"=====| Updating " + channel + "...",
                kU + "CASTANET_UPDATE_CONNECTING: Connecting to transmitter...",
                kU + "CASTANET_UPDATE_TRANSFER: Transferring: readme.txt"};
    if (channel == "Zoma/Programs" || channel == "NoUpdate")
      lines.push_back(kU + "CASTANET_PROGRESS_PERCENT: 0%");
    if (channel == "Zoma/WindowsSystem" || channel == "NoUpdate")
      lines.push_back(kU + "CASTANET_PROGRESS_PERCENT: 100%");
    lines.push_back(kU + "CASTANET_UPDATE_INSTALLING: Installing 30% savings due to compression.");
    if (self_update)
      lines.push_back(kU + "CASTANET_UPDATE_INSTALL: Installing: programs/ZomaUp.exe");
    lines.push_back(kU + "CASTANET_UPDATE_INSTALL: Installing: readme.txt");
    lines.push_back(kU + "CASTANET_UDPATE_DONE: Update of " + channel + " complete.");
    return lines;
  }

  static Lines FullPass() {
    Lines lines;
    for (const char* channel :
         {"Zoma/Programs", "Zoma/GameInfo", "Zoma/Zoma", "Zoma/WindowsSystem"}) {
      Lines more = ChannelLines(channel);
      lines.insert(lines.end(), more.begin(), more.end());
    }
    lines.push_back("Updating registry...");
    return lines;
  }
};

TEST_F(ZomaUpProgramTest, OrdinaryUpdateOfTheFourChannels) {
  ASSERT_EQ(RunZomaUp({"/Opt", "C:\\rec.spi"}), 0);
  ASSERT_TRUE(WaitForClient());
  EXPECT_EQ(Log(), FullPass());
  Lines client = Client();
  ASSERT_EQ(client.size(), 3u);
  EXPECT_TRUE(AcceptLaunchCode(client[0]));
  EXPECT_EQ(client[1], "/Opt");
  EXPECT_EQ(client[2], "C:\\rec.spi");
  // The Europe server, and the request log as the library received it.
  Lines calls = Calls();
  EXPECT_EQ(calls[0], "init http://europe.test.example:8080/Zoma/Programs C:\\ZOMA\\. 9");
  EXPECT_EQ(calls[1], "log Affiliation=AFF01 18");
  EXPECT_EQ(Count(calls, "log Affiliation=AFF01 18"), 8);
  std::string transcript = Transcript();
  EXPECT_NE(transcript.find("window\tshow\tZoma Software Updater\n"), std::string::npos);
  EXPECT_NE(transcript.find("status\tUpdating registry...\n"), std::string::npos);
  EXPECT_NE(transcript.find("progress\t100\n"), std::string::npos);
  EXPECT_EQ(transcript.find("messagebox"), std::string::npos);
}

TEST_F(ZomaUpProgramTest, MissingLibraryAndSecondCopy) {
  fs::rename(root_ + "/Programs/mrbupd.dll", root_ + "/Programs/mrbupd.off");
  EXPECT_EQ(RunZomaUp(), 1);
  EXPECT_NE(Transcript().find("Could not load update DLL: C:\\ZOMA\\Programs\\mrbupd.dll\tIDOK"),
            std::string::npos);
  fs::rename(root_ + "/Programs/mrbupd.off", root_ + "/Programs/mrbupd.dll");

  // A first copy that retries for ever holds the mutex; a second ends at once, silently.
  env_["ZOMA_STUB_MODE"] = "unreachable";
  pid_t first = Start(root_ + "/Programs/ZomaUp.exe", {"C:\\rec.spi"});
  for (int i = 0; i < 200 && Log().empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  std::string before = Transcript();
  env_["ZOMA_UI_LOG"] = prefix_.dir() + "/ui-second.log";
  EXPECT_EQ(RunZomaUp(), 0);
  EXPECT_EQ(Transcript(), "");
  kill(first, SIGKILL);
  Wait(first);
}

TEST_F(ZomaUpProgramTest, UnreachableServerUntilCancelAndYes) {
  env_["ZOMA_STUB_MODE"] = "unreachable";
  env_["ZOMA_UI_PRESS"] = "Cancel@Retrying channel...";
  env_["ZOMA_UI_ANSWERS"] = "IDOK,IDYES";
  ASSERT_EQ(RunZomaUp(), 0);
  Lines log = Log();
  EXPECT_GE(Count(log, "Retrying channel: Zoma/Programs..."), 1);
  EXPECT_EQ(log.back(), "Retrying channel: Zoma/Programs...");
  std::string transcript = Transcript();
  EXPECT_NE(transcript.find("Do you still wish to stop the update?\tIDYES"), std::string::npos);
  EXPECT_NE(transcript.find("The transfer will resume from this point.\tIDOK"), std::string::npos);
  EXPECT_EQ(transcript.find("Sorry, but the launcher"), std::string::npos);
  EXPECT_FALSE(fs::exists(ClientMarker()));
}

TEST_F(ZomaUpProgramTest, CancelAndNoGoesOn) {
  env_["ZOMA_UI_PRESS"] = "Cancel@Checking for update...";
  env_["ZOMA_UI_ANSWERS"] = "IDNO";
  env_["ZOMA_STUB_DELAY_MS"] = "200";  // the question comes while the check runs
  ASSERT_EQ(RunZomaUp(), 0);
  ASSERT_TRUE(WaitForClient());
  EXPECT_EQ(Log(), FullPass());
  EXPECT_NE(Transcript().find("Do you still wish to stop the update?\tIDNO"), std::string::npos);
}

TEST_F(ZomaUpProgramTest, DiskSpaceQuestion) {
  env_["ZOMA_TEST_FREE_DISK_SPACE"] = "500";
  env_["ZOMA_UI_ANSWERS"] = "IDCANCEL";
  ASSERT_EQ(RunZomaUp(), 0);
  std::string transcript = Transcript();
  EXPECT_NE(transcript.find("Please free 1000 bytes and click OK to continue with the update."),
            std::string::npos);
  EXPECT_EQ(transcript.find("Sorry, but the launcher"), std::string::npos);
  EXPECT_FALSE(fs::exists(ClientMarker()));
  EXPECT_EQ(Log(), (Lines{"=====| Updating Zoma/Programs...",
                          kU + "CASTANET_UPDATE_CONNECTING: Connecting to transmitter..."}));
}

TEST_F(ZomaUpProgramTest, KindNoAndTheJapanRegion) {
  reg::WriteString(kUpdate, "ZomaClient", "No");
  WriteRecord("mcp.Japan.zoma.example", "");
  ASSERT_EQ(RunZomaUp(), 0);
  ASSERT_TRUE(WaitForClient());
  Lines expected = ChannelLines("NoUpdate");
  expected.push_back("Updating registry...");
  EXPECT_EQ(Log(), expected);
  EXPECT_EQ(Calls().front(), "init http://japan.test.example:8080/NoUpdate C:\\ZOMA\\NoUpdate 1");
  EXPECT_EQ(Calls().size(), 1u);  // no affiliation, no download settings: no request log
}

TEST_F(ZomaUpProgramTest, SelfUpdateChainsThroughTheAlternateCopy) {
  // The "new" updater: the same program with a mark at its end.
  fs::create_directories(prefix_.drive_c() + "/HOLD");
  const std::string fresh = prefix_.drive_c() + "/HOLD/ZomaUp.exe";
  fs::copy_file(ZOMAUP_PROGRAM, fresh);
  std::ofstream(fresh, std::ios::app) << "\nNEW-UPDATER\n";
  env_["ZOMA_STUB_MODE"] = "selfupdate";
  env_["ZOMA_STUB_HOLDING"] = "C:\\HOLD\\ZomaUp.exe";
  env_["ZOMA_STUB_INSTALL_FROM"] = fresh;
  env_["ZOMA_STUB_INSTALL_TO"] = root_ + "/Programs/ZomaUp.exe";
  env_["ZOMA_STUB_INSTALLED"] = prefix_.dir() + "/installed";
  reg::WriteString(kMain, "ExtraGizmoArguments", "-extra");
  ASSERT_EQ(RunZomaUp({"key=value", "C:\\rec.spi"}), 0);
  ASSERT_TRUE(WaitForClient()) << ReadFile(root_ + "/update.log") << Transcript();

  Lines expected;
  // The ordinary run stages the file and chains.
  expected.push_back("=====| Updating Zoma/Programs...");
  expected.push_back(kU + "CASTANET_UPDATE_CONNECTING: Connecting to transmitter...");
  expected.push_back(kU + "CASTANET_UPDATE_TRANSFER: Transferring: readme.txt");
  expected.push_back(kU + "CASTANET_PROGRESS_PERCENT: 0%");
  expected.push_back(kU + "CASTANET_UPDATE_INSTALLING: Installing 30% savings due to compression.");
  // The fix copy installs it in the first channel only.
  Lines fix = ChannelLines("Zoma/Programs", true);
  expected.insert(expected.end(), fix.begin(), fix.end());
  expected.push_back("Updating registry...");
  // The post-fix updater updates everything.
  Lines full = FullPass();
  expected.insert(expected.end(), full.begin(), full.end());
  EXPECT_EQ(Log(), expected);

  EXPECT_NE(ReadFile(root_ + "/Programs/ZomaUp.exe").find("NEW-UPDATER"), std::string::npos);
  EXPECT_FALSE(fs::exists(root_ + "/Alternate"));
  Lines client = Client();
  ASSERT_EQ(client.size(), 4u);
  EXPECT_TRUE(AcceptLaunchCode(client[0]));
  // The arguments survived the chain (the fix copy's line escapes "="), and the extra
  // arguments were added once, by the post-fix updater only.
  EXPECT_EQ(client[1], "key\\=value");
  EXPECT_EQ(client[2], "C:\\rec.spi");
  EXPECT_EQ(client[3], "-extra");
}

TEST_F(ZomaUpProgramTest, JustCheckingShowsTheCommandLine) {
  reg::WriteString(kMain, "ExtraGizmoArguments", "-window");
  ASSERT_EQ(RunZomaUp({"/JC", "C:\\rec.spi"}), 0);
  EXPECT_NE(
      Transcript().find("messagebox\tJust Checking!\t00010040\t\"C:\\ZOMA\\System\\ZOMA.EXE\" "
                        "C:\\rec.spi -window\tIDOK"),
      std::string::npos);
  EXPECT_FALSE(fs::exists(ClientMarker()));
}

TEST_F(ZomaUpProgramTest, FailedPassShowsTheUnexpectedFailure) {
  reg::WriteString(kMain, "Root Directory", "");
  ASSERT_EQ(RunZomaUp(), 0);
  std::string transcript = Transcript();
  EXPECT_NE(transcript.find("Update Error\t00002010\tGame not installed."), std::string::npos);
  EXPECT_NE(transcript.find("Sorry, but the launcher encountered an unexpected failure."),
            std::string::npos);
  EXPECT_FALSE(fs::exists(ClientMarker()));
}

TEST_F(ZomaUpProgramTest, FixStubHandsOverAtOnce) {
  fs::copy_file(ZOMAUP_PROGRAM, root_ + "/System/VLFIX.EXE");
  fs::copy_file(STUB_UPDATE_LIBRARY, root_ + "/System/MRBUPD.DLL");
  EXPECT_EQ(Wait(Start(root_ + "/System/VLFIX.EXE", {"C:\\rec.spi"})), 0);
  ASSERT_TRUE(WaitForClient());
  Lines expected = ChannelLines("Zoma/Programs");
  expected.push_back("Updating registry...");
  Lines full = FullPass();
  expected.insert(expected.end(), full.begin(), full.end());
  EXPECT_EQ(Log(), expected);
  EXPECT_FALSE(fs::exists(root_ + "/Alternate"));
}

}  // namespace
}  // namespace zoma::testing
