// GoToZOMA end to end: each exit code with its message, the installation check, the
// installer found on a CD and run, the AutoRun policy on Windows 95 and NT, and the
// game page the stand-in browser receives for a time zone.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry.h"
#include "platform/testing/temp_prefix.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
namespace reg = platform::reg;
using Lines = std::vector<std::string>;

constexpr char kPolicies[] =
    "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

Lines SplitLines(const std::string& text) {
  Lines lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void WriteScript(const std::string& path, const std::string& body) {
  std::ofstream(path) << "#!/bin/sh\n" << body;
  fs::permissions(path, fs::perms::owner_all);
}

class GoToZoma : public ::testing::Test {
 protected:
  GoToZoma() {
    dir_ = prefix_.dir();
    fs::create_directories(dir_ + "/bin");
    // The stand-in browser records its address; xdg-open, should it be asked, fails.
    WriteScript(dir_ + "/bin/browser", "printf '%s\\n' \"$1\" >> '" + BrowserLog() + "'\n");
    WriteScript(dir_ + "/bin/xdg-open", "exit 3\n");
    env_["BROWSER"] = dir_ + "/bin/browser";
    env_["PATH"] = dir_ + "/bin:/usr/bin:/bin";
    env_["ZOMA_UI"] = "none";
    env_["ZOMA_UI_LOG"] = dir_ + "/ui.log";
    env_["TZ"] = "EST5";  // the main server's hours
    env_.erase("ZOMA_UI_ANSWERS");
  }

  std::string BrowserLog() const { return dir_ + "/browser.log"; }
  Lines Browser() { return SplitLines(ReadFile(BrowserLog())); }
  Lines Transcript() { return SplitLines(ReadFile(dir_ + "/ui.log")); }

  // The transcript's message boxes as "caption|text|answer".
  Lines MessageBoxes() {
    Lines boxes;
    for (const std::string& line : Transcript()) {
      std::vector<std::string> fields;
      std::stringstream in(line);
      for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
      if (fields.size() == 5 && fields[0] == "messagebox")
        boxes.push_back(fields[1] + "|" + fields[3] + "|" + fields[4]);
    }
    return boxes;
  }

  bool TranscriptHas(const std::string& line) {
    for (const std::string& l : Transcript())
      if (l == line) return true;
    return false;
  }

  // Registers the .spi type with an open command; the client program is made when asked.
  void RegisterSpiType(const std::string& command) {
    reg::WriteString("HKLM\\Software\\Classes\\.spi", "", "ZomaLaunchFile");
    reg::WriteString("HKLM\\Software\\Classes\\ZomaLaunchFile\\Shell\\Open\\command", "", command);
  }
  void InstallClient() {
    fs::create_directories(prefix_.drive_c() + "/ZOMA/System");
    WriteScript(prefix_.drive_c() + "/ZOMA/System/ZOMA.EXE", "exit 0\n");
    RegisterSpiType("\"C:\\ZOMA\\System\\ZOMA.EXE\" \"%1\"");
  }

  // An emulated CD-ROM drive backed by a host directory.
  std::string AddCdDrive(char letter) {
    std::string disc = dir_ + "/disc-" + letter;
    fs::create_directories(disc);
    fs::create_directories(dir_ + "/drives");
    fs::create_symlink(disc, dir_ + "/drives/" + static_cast<char>(std::tolower(letter)));
    reg::WriteString("HKLM\\Software\\Zoma Platform\\Drives", std::string{letter, ':'}, "cdrom");
    return disc;
  }

  // The stand-in installer at `where` with the client program it installs beside it.
  static void PutInstaller(const std::string& where, bool with_client = true) {
    fs::create_directories(fs::path(where).parent_path());
    fs::copy_file(INSTALLER_PROGRAM, where);
    if (with_client) WriteScript((fs::path(where).parent_path() / "ZOMA.EXE").string(), "exit 0\n");
  }

  void SetWindowsVersion(const std::string& version) {
    reg::WriteString("HKLM\\Software\\Zoma Platform", "Windows Version", version);
  }

  int Run(const Lines& arguments) {
    std::map<std::string, std::string> env;
    for (char** e = environ; *e; ++e) {
      std::string entry = *e;
      std::size_t eq = entry.find('=');
      if (eq != std::string::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const char* name : {"ZOMA_CMDLINE", "ZOMA_UI_ANSWERS", "ZOMA_UI_MEDIA", "BROWSER"})
      env.erase(name);
    for (const auto& [name, value] : env_) env[name] = value;
    std::vector<std::string> env_strings, argv_strings{GOTOZOMA_PROGRAM};
    for (const auto& [name, value] : env) env_strings.push_back(name + "=" + value);
    argv_strings.insert(argv_strings.end(), arguments.begin(), arguments.end());
    std::vector<char*> envp, argv;
    for (std::string& s : env_strings) envp.push_back(s.data());
    for (std::string& s : argv_strings) argv.push_back(s.data());
    envp.push_back(nullptr);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, dir_.c_str());
    pid_t pid = 0;
    EXPECT_EQ(posix_spawn(&pid, GOTOZOMA_PROGRAM, &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    for (int i = 0; i < 600; ++i) {
      if (waitpid(pid, &status, WNOHANG) == pid)
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    ADD_FAILURE() << "GoToZOMA did not end within 30 seconds";
    return -1;
  }

  platform::testing::TempPrefix prefix_;
  std::string dir_;
  std::map<std::string, std::string> env_;
};

const std::string kMainPage = "http://www.zoma.example/gotozoma.cgi?game_id=";
const std::string kEuropeanPage = "http://www.eu.zoma.example/gotozoma.cgi?game_id=";

TEST_F(GoToZoma, ArgumentCountAndNonNumericArguments) {
  InstallClient();
  EXPECT_EQ(Run({}), 2);
  EXPECT_EQ(Run({"12", "13"}), 2);
  EXPECT_EQ(Run({"abc"}), 3);
  EXPECT_EQ(Run({" 0"}), 3);
  EXPECT_EQ(
      MessageBoxes(),
      (Lines{"INVALID ARGUMENT COUNT|Format is: GoToZOMA.exe <game_class_id>|IDOK",
             "INVALID ARGUMENT COUNT|Format is: GoToZOMA.exe <game_class_id>|IDOK",
             "NON NUMERIC ARGUMENT|First argument must be a number (the game class id)|IDOK",
             "NON NUMERIC ARGUMENT|First argument must be a number (the game class id)|IDOK"}));
  EXPECT_TRUE(Browser().empty());
}

TEST_F(GoToZoma, InstalledClientOpensThePageAndClosesOnItsTimer) {
  InstallClient();
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Run({"12abc"}), 0);
  auto elapsed = std::chrono::steady_clock::now() - start;
  // The window stays for its five-second timer; dialog 107 for 4.5 of them.
  EXPECT_GE(elapsed, std::chrono::milliseconds(4900));
  EXPECT_EQ(Browser(), Lines{kMainPage + "12abc"});
  EXPECT_TRUE(MessageBoxes().empty());
  Lines dialogs;
  for (const std::string& line : Transcript())
    if (line.rfind("modeless\t", 0) == 0) dialogs.push_back(line);
  std::string shown =
      "modeless\tshow\t107\tGoToZOMA\tStarting default web browser to www.zoma.example";
  EXPECT_EQ(dialogs, (Lines{shown, "modeless\tclose\t107", shown, "modeless\tclose\t107"}));
  EXPECT_TRUE(TranscriptHas(
      "window\tcreate\tMyMainWindowClass\tMyWindowClass window :)\t200x200 00000000"));
}

TEST_F(GoToZoma, ArgumentsArePassedAsWrittenAndCutTo28) {
  InstallClient();
  EXPECT_EQ(Run({"007"}), 0);
  EXPECT_EQ(Run({"0"}), 0);
  std::string forty = "1234567890123456789012345678901234567890";
  EXPECT_EQ(Run({forty}), 0);
  EXPECT_EQ(Browser(),
            (Lines{kMainPage + "007", kMainPage + "0", kMainPage + forty.substr(0, 28)}));
}

TEST_F(GoToZoma, TimeZoneChoosesTheServer) {
  InstallClient();
  env_["TZ"] = "PST8";  // 8 hours west: index 20
  EXPECT_EQ(Run({"5"}), 0);
  env_["TZ"] = "CET-1";  // 1 hour east: index 11
  EXPECT_EQ(Run({"5"}), 0);
  env_["TZ"] = "XXX-14";  // beyond the table, wrapping to the hour of 10 hours west
  EXPECT_EQ(Run({"5"}), 0);
  EXPECT_EQ(Browser(), (Lines{kMainPage + "5", kEuropeanPage + "5", kMainPage + "5"}));
}

TEST_F(GoToZoma, InstallationCheckFollowsTheOpenCommand) {
  // The type is registered, but its program is missing: the launcher looks for a CD.
  RegisterSpiType("\"C:\\ZOMA\\System\\ZOMA.EXE\" \"%1\"");
  env_["ZOMA_UI_ANSWERS"] = "IDCANCEL";
  EXPECT_EQ(Run({"12"}), 1);
  // Unquoted, with the program there.
  fs::create_directories(prefix_.drive_c() + "/Games");
  WriteScript(prefix_.drive_c() + "/Games/client.exe", "exit 0\n");
  RegisterSpiType("C:\\Games\\client.exe %1");
  EXPECT_EQ(Run({"12"}), 0);
  EXPECT_EQ(Browser(), Lines{kMainPage + "12"});
}

TEST_F(GoToZoma, CancelAtTheCdQuestionEndsWithCodeOne) {
  AddCdDrive('D');
  env_["ZOMA_UI_ANSWERS"] = "IDOK,IDCANCEL";
  EXPECT_EQ(Run({"12"}), 1);
  EXPECT_EQ(MessageBoxes(),
            (Lines{"INSTALLER NOT FOUND|Please put CD with ZOMA installer in CD drive|IDOK",
                   "INSTALLER NOT FOUND|Please put CD with ZOMA installer in CD drive|IDCANCEL",
                   "INSTALLER NOT FOUND|Look for installer at http://www.zoma.example/|IDOK"}));
  // One search before the question and one after OK, each under dialog 106.
  int searches = 0;
  for (const std::string& line : Transcript())
    if (line == "modeless\tshow\t106\tGoToZOMA\tLooking for ZOMA installer...") ++searches;
  EXPECT_EQ(searches, 2);
  EXPECT_TRUE(Browser().empty());
}

TEST_F(GoToZoma, InstallerFoundOnACdAtDepthTwoAfterADecoy) {
  // A fixed drive with an installer is never searched; on the CD the recycle bin and a
  // hidden directory come before the real one.
  fs::create_directories(dir_ + "/fixed");
  PutInstaller(dir_ + "/fixed/zoma9999.exe", false);
  fs::create_symlink(dir_ + "/fixed", dir_ + "/drives/e");
  std::string disc = AddCdDrive('F');
  PutInstaller(disc + "/Recycled/zoma0000.exe", false);
  PutInstaller(disc + "/.hidden/zoma0000.exe", false);
  fs::create_directories(disc + "/aaa");
  PutInstaller(disc + "/setup/win32/zoma0102.exe");
  EXPECT_EQ(Run({"42"}), 0);
  EXPECT_TRUE(MessageBoxes().empty());
  EXPECT_EQ(Browser(), Lines{kMainPage + "42"});
  EXPECT_TRUE(fs::exists(prefix_.drive_c() + "/ZOMA/System/ZOMA.EXE"));
  EXPECT_EQ(reg::ReadString("HKLM\\Software\\Classes\\.spi", ""), "ZomaLaunchFile");
}

TEST_F(GoToZoma, InstallerThatDoesNotInstallGivesCodeFour) {
  std::string disc = AddCdDrive('D');
  PutInstaller(disc + "/zoma0100.exe", false);
  EXPECT_EQ(Run({"12"}), 4);
  EXPECT_EQ(MessageBoxes(), Lines{"INSTALL FAILURE|Installation failed or was cancelled|IDOK"});
  EXPECT_TRUE(Browser().empty());
}

TEST_F(GoToZoma, DiscPutInAtTheQuestionIsSearchedAfterOk) {
  std::string later = dir_ + "/later-disc";
  PutInstaller(later + "/zoma2000.exe");
  AddCdDrive('D');
  env_["ZOMA_UI_ANSWERS"] = "IDOK";
  env_["ZOMA_UI_MEDIA"] = "D:=" + later + "@Please put CD";
  EXPECT_EQ(Run({"12"}), 0);
  EXPECT_EQ(Browser(), Lines{kMainPage + "12"});
  // The window asked the shell to keep quiet while it waited for the disc.
  EXPECT_TRUE(TranscriptHas("autoplay\tD:\tcancelled"));
}

TEST_F(GoToZoma, AutoRunPolicyHeldOffOnWindows95Only) {
  // The installer reports the policy as it finds it while it runs.
  std::string later = dir_ + "/later-disc";
  PutInstaller(later + "/setup/zoma2000.real");
  WriteScript(later + "/setup/zoma2000.exe", "'" ZOMAREG_PROGRAM "' query '" +
                                                 std::string(kPolicies) +
                                                 "' /v NoDriveTypeAutoRun > '" + dir_ +
                                                 "/during.txt'\n"
                                                 "exec \"$(dirname \"$0\")/zoma2000.real\"\n");
  AddCdDrive('D');
  env_["ZOMA_UI_MEDIA"] = "D:=" + later + "@Please put CD";
  const std::string before("\x91\x00\x00\x00", 4);
  reg::WriteValue(kPolicies, "NoDriveTypeAutoRun", reg::kRegBinary, before);

  SetWindowsVersion("win95");
  env_["ZOMA_UI_ANSWERS"] = "IDOK";
  EXPECT_EQ(Run({"12"}), 0);
  EXPECT_NE(ReadFile(dir_ + "/during.txt").find("REG_BINARY    FF000000"), std::string::npos)
      << ReadFile(dir_ + "/during.txt");
  reg::Value value;
  ASSERT_EQ(reg::ReadValue(kPolicies, "NoDriveTypeAutoRun", &value), platform::kErrorSuccess);
  EXPECT_EQ(value.type, reg::kRegBinary);
  EXPECT_EQ(value.data, before);
  // Windows 95 sends no QueryCancelAutoPlay, but the window answers it all the same.
  EXPECT_TRUE(TranscriptHas("autoplay\tD:\tcancelled"));
}

TEST_F(GoToZoma, AutoRunPolicyUntouchedOnXpAndWhenUnreadable) {
  AddCdDrive('D');
  SetWindowsVersion("xp");
  reg::WriteDword(kPolicies, "NoDriveTypeAutoRun", 0x91);
  env_["ZOMA_UI_ANSWERS"] = "IDOK,IDCANCEL";
  EXPECT_EQ(Run({"12"}), 1);
  EXPECT_EQ(reg::ReadDword(kPolicies, "NoDriveTypeAutoRun"), 0x91u);

  // Windows 95 without the value: nothing written while waiting, 149 on the way back.
  SetWindowsVersion("win95");
  reg::ScopedKey key;
  ASSERT_EQ(reg::OpenKey(reg::kCurrentUser,
                         "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer",
                         reg::kKeyAllAccess, key.out()),
            platform::kErrorSuccess);
  reg::DeleteValue(key.get(), "NoDriveTypeAutoRun");
  env_["ZOMA_UI_ANSWERS"] = "IDCANCEL";
  EXPECT_EQ(Run({"12"}), 1);
  reg::Value value;
  ASSERT_EQ(reg::ReadValue(kPolicies, "NoDriveTypeAutoRun", &value), platform::kErrorSuccess);
  EXPECT_EQ(value.type, reg::kRegBinary);
  EXPECT_EQ(value.data, std::string("\x95\x00\x00\x00", 4));
}

TEST_F(GoToZoma, BrowserThatCannotStartGivesCodeFive) {
  InstallClient();
  WriteScript(dir_ + "/bin/browser", "exit 1\n");
  EXPECT_EQ(Run({"77"}), 5);
  EXPECT_EQ(MessageBoxes(),
            Lines{"ShellExecute() error|Couldn't launch default web browser to www.zoma.example.  "
                  "Please browse to\\n" +
                  kMainPage + "77|IDOK"});
  // Without $BROWSER the desktop's opener is asked.
  WriteScript(dir_ + "/bin/xdg-open", "printf '%s\\n' \"$1\" >> '" + BrowserLog() + "'\n");
  env_.erase("BROWSER");
  EXPECT_EQ(Run({"78"}), 0);
  EXPECT_EQ(Browser(), Lines{kMainPage + "78"});
}

}  // namespace
