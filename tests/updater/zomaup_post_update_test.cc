// What ZomaUp does after a successful pass, as a whole program with the stand-in update
// library: the post-update script, the second pass a "Needs=" setting asks for and the
// Windows-restart step after it, the fix copy's single pass, the launch target's PATH,
// just-checking mode, and the stand-in client accepting its launch.
#include <cstdlib>

#include "tests/updater/zomaup_installation.h"

namespace zoma::testing {
namespace {

constexpr const char* kRestartStatus =
    "status\tZoma needs to restart the update to ensure you are updated correctly.";

class ZomaUpPostUpdateTest : public ZomaUpInstallation {
 protected:
  // Every run of the script leaves its variables in ran.txt; with `needs` it also asks for
  // another pass.
  void WriteScript(bool needs, const std::string& directory = "Programs") {
    std::ofstream script(root_ + "/" + directory + "/ZOMA.UPD");
    script << "$AppendFile{[$GameLocation][$Affiliation][$GameID];$GameLocation\\ran.txt}";
    if (needs)
      script << "$SetRegistryValue{HKLM\\Software\\Norvance\\Zoma\\Update\\Download "
                "Settings;Needs=Fonts}";
  }
  std::string ScriptRuns() { return ReadFile(root_ + "/ran.txt"); }

  std::string System32() { return prefix_.drive_c() + "/WINDOWS/SYSTEM32"; }
  void WriteSystemFile(const std::string& name, const std::string& contents) {
    fs::create_directories(System32());
    std::ofstream(System32() + "/" + name) << contents;
  }

  // A program that records its arguments and PATH, standing where ZomaUp starts one.
  void InstallRecorder(const std::string& host_path) {
    fs::create_directories(fs::path(host_path).parent_path());
    std::ofstream(host_path) << "#!/bin/sh\nprintf '%s\\n' \"$PATH\" \"$@\" > '" << ClientMarker()
                             << "'\n";
    fs::permissions(host_path, fs::perms::owner_all);
  }

  int InitCalls() {
    int count = 0;
    for (const std::string& call : Calls()) count += call.rfind("init ", 0) == 0;
    return count;
  }
};

TEST_F(ZomaUpPostUpdateTest, NeedsRestartTheUpdateOnceThenAskToRestartWindows) {
  WriteScript(true);
  for (const char* answer : {"IDYES", "IDNO"}) {
    SCOPED_TRACE(answer);
    fs::remove(root_ + "/ran.txt");
    fs::remove(root_ + "/update.log");
    fs::remove(env_["ZOMA_UI_LOG"]);
    fs::remove(env_["ZOMA_STUB_CALLS"]);
    WriteSystemFile("mfc42.dll", "old");
    WriteSystemFile("mfc42.dll.zoma", "new");
    WriteSystemFile("MSVCRT.DLL.ZOMA", "new runtime");
    WriteSystemFile("notes.zoma.txt", "kept");
    env_["ZOMA_UI_ANSWERS"] = answer;

    ASSERT_EQ(RunZomaUp(), 0);
    std::string transcript = Transcript();
    // The script ran after the first pass only; the second pass updated all four
    // channels again and ended in the question, not in the client.
    EXPECT_EQ(ScriptRuns(), "[C:\\ZOMA][AFF01][]");
    EXPECT_NE(transcript.find(kRestartStatus), std::string::npos) << transcript;
    EXPECT_EQ(InitCalls(), 8);
    EXPECT_EQ(Count(Log(), "Updating registry..."), 1);
    EXPECT_NE(transcript.find("messagebox\tRestart Windows\t"), std::string::npos) << transcript;
    EXPECT_NE(transcript.find(std::string("\t") + answer + "\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(ClientMarker()));
    // The setting was consumed; the replacement files were installed.
    EXPECT_FALSE(reg::ReadString(kUpdate, "Download Settings"));
    EXPECT_EQ(ReadFile(System32() + "/mfc42.dll"), "new");
    EXPECT_FALSE(fs::exists(System32() + "/mfc42.dll.zoma"));
    EXPECT_EQ(ReadFile(System32() + "/MSVCRT.DLL"), "new runtime");
    EXPECT_EQ(ReadFile(System32() + "/notes.zoma.txt"), "kept");
    // Only Yes hides the window and asks Windows to restart (recorded, never done).
    const bool yes = std::string(answer) == "IDYES";
    EXPECT_EQ(transcript.find("window\thide") != std::string::npos, yes);
    EXPECT_EQ(fs::exists(prefix_.dir() + "/restart-pending"), yes);
    fs::remove(prefix_.dir() + "/restart-pending");
  }
}

TEST_F(ZomaUpPostUpdateTest, FixCopyRunsTheScriptButDoesNotRestart) {
  WriteScript(true);
  // The fix copy runs from the Alternate directory and hands over to the updater in
  // Programs, here a recorder.
  fs::create_directories(root_ + "/Alternate");
  fs::copy_file(root_ + "/Programs/ZomaUp.exe", root_ + "/Alternate/ZomaUp.exe");
  fs::copy_file(root_ + "/Programs/mrbupd.dll", root_ + "/Alternate/mrbupd.dll");
  fs::remove(root_ + "/Programs/ZomaUp.exe");
  InstallRecorder(root_ + "/Programs/ZomaUp.exe");

  ASSERT_EQ(Wait(Start(root_ + "/Alternate/ZomaUp.exe", {"/FIX", "0", "C:\\rec.spi"})), 0);
  ASSERT_TRUE(WaitForClient()) << Transcript();
  EXPECT_EQ(ScriptRuns(), "[C:\\ZOMA][AFF01][]");
  EXPECT_EQ(Transcript().find(kRestartStatus), std::string::npos);
  EXPECT_EQ(InitCalls(), 1);
  EXPECT_FALSE(reg::ReadString(kUpdate, "Download Settings"));
  Lines started = Client();
  ASSERT_EQ(started.size(), 4u);
  EXPECT_EQ(started[1], "/POSTFIX");
  EXPECT_EQ(started[2], "/NOMOTD");
  EXPECT_EQ(started[3], "C:\\rec.spi");
}

TEST_F(ZomaUpPostUpdateTest, ScriptPathWithTheLanguagesOwnCharacters) {
  const std::string directory = "My;Progs{$x}";
  fs::create_directories(root_ + "/" + directory);
  reg::WriteString(kMain, "Programs Directory", "C:\\ZOMA\\" + directory);
  WriteScript(false, directory);
  ASSERT_EQ(RunZomaUp(), 0);
  ASSERT_TRUE(WaitForClient()) << Transcript();
  EXPECT_EQ(ScriptRuns(), "[C:\\ZOMA][AFF01][]");
}

TEST_F(ZomaUpPostUpdateTest, AScriptThatOutgrowsItsMemoryIsStoppedAndTheClientStarts) {
  std::ofstream(root_ + "/Programs/ZOMA.UPD")
      << "$AppendFile{before;$GameLocation\\ran.txt}$S{big;$Repeat{$Repeat{x;4096};100000}}"
         "$AppendFile{after;$GameLocation\\ran.txt}";
  ASSERT_EQ(RunZomaUp(), 0);
  ASSERT_TRUE(WaitForClient()) << Transcript();
  EXPECT_EQ(ScriptRuns(), "before");
  EXPECT_NE(ReadFile(root_ + "/update.log")
                .find("Post-update script stopped: a text grew past its limit or memory ran out."),
            std::string::npos);
}

TEST_F(ZomaUpPostUpdateTest, LaunchTargetUnderAlternateFindsItFirstOnPath) {
  reg::WriteString(kMain, "System Directory", "C:\\ZOMA\\Alternate");
  InstallRecorder(root_ + "/Alternate/ZOMA.EXE");
  ASSERT_EQ(RunZomaUp(), 0);
  ASSERT_TRUE(WaitForClient()) << Transcript();
  std::string path = Client().at(0);
  std::string first = path.substr(0, path.find(':'));
  EXPECT_NE(first.find("ZOMA/Alternate"), std::string::npos) << path;
  // An ordinary target does not get it.
  fs::remove(ClientMarker());
  reg::WriteString(kMain, "System Directory", "C:\\ZOMA\\System");
  InstallRecorder(root_ + "/System/ZOMA.EXE");
  ASSERT_EQ(RunZomaUp(), 0);
  ASSERT_TRUE(WaitForClient());
  EXPECT_EQ(Client().at(0).find("Alternate"), std::string::npos) << Client().at(0);
}

TEST_F(ZomaUpPostUpdateTest, JustCheckingShowsTheCommandLine) {
  ASSERT_EQ(RunZomaUp({"/JC", "C:\\rec.spi"}), 0);
  EXPECT_NE(Transcript().find("Just Checking!\t00010040\t\"C:\\ZOMA\\System\\ZOMA.EXE\" "
                              "C:\\rec.spi\tIDOK"),
            std::string::npos)
      << Transcript();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(fs::exists(ClientMarker()));
}

TEST_F(ZomaUpPostUpdateTest, StandInClientAcceptsTheLaunchWithoutAScript) {
  // No ZOMA.UPD: nothing to run, and no error. The client is the real stand-in, wrapped
  // so that its verdict is kept.
  std::ofstream(root_ + "/System/ZOMA.EXE")
      << "#!/bin/sh\n'" << ZOMA_CLIENT_PROGRAM << "' \"$@\" > '" << ClientMarker()
      << ".out'\necho $? >> '" << ClientMarker() << ".out'\nmv '" << ClientMarker() << ".out' '"
      << ClientMarker() << "'\n";
  // A full launch record, made as the demo makes one.
  const std::string write_record = std::string("'") + ZOMA_CLIENT_PROGRAM +
                                   "' --write-record 'C:\\rec.spi' --game 7 "
                                   "--mcp mcp.europe.zoma.example --affiliation AFF01";
  ASSERT_EQ(std::system(write_record.c_str()), 0);
  ASSERT_EQ(RunZomaUp(), 0);
  ASSERT_TRUE(WaitForClient()) << Transcript();
  Lines client = Client();
  ASSERT_GE(client.size(), 2u);
  EXPECT_EQ(client[client.size() - 2], "LAUNCHCODE: valid - launch accepted");
  EXPECT_EQ(client.back(), "0");
  EXPECT_EQ(Count(client, "Command line: \"C:\\ZOMA\\System\\ZOMA.EXE\" C:\\rec.spi"), 1);
  EXPECT_EQ(Count(client, "  Affiliation: AFF01"), 1);
  EXPECT_EQ(Count(client, "  GameID: 7"), 1) << ::testing::PrintToString(client);
  EXPECT_EQ(Transcript().find("messagebox"), std::string::npos) << Transcript();
  EXPECT_EQ(Log().back(), "Updating registry...");
}

}  // namespace
}  // namespace zoma::testing
