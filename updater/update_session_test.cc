// The update session and its event callback against the fake library: the log lines
// byte for byte, the request log, retries, stops, the self-update hand-off.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <numeric>
#include <thread>

#include "platform/registry.h"
#include "platform/testing/temp_prefix.h"
#include "updater/client_updater.h"
#include "updater/string_table.h"
#include "updater/testing/fakes.h"
#include "updater/update_settings.h"

namespace zoma {
namespace {

using testing::FakeEvent;
using Lines = std::vector<std::string>;
namespace reg = platform::reg;

constexpr const char* kMain = "HKLM\\Software\\Norvance\\Zoma\\Main";
constexpr const char* kUpdate = "HKLM\\Software\\Norvance\\Zoma\\Update";
constexpr const char* kRecord = "C:\\rec.spi";

// Exposes the phase so that the operation tables can be driven directly.
class ProbeUpdater : public ClientUpdater {
 public:
  using ClientUpdater::ClientUpdater;
  using ClientUpdater::SetPhase;
};

class UpdateSessionTest : public ::testing::Test {
 protected:
  UpdateSessionTest() {
    reg::WriteString(kMain, "Root Directory", "C:\\ZOMA");
    reg::WriteString(kMain, "Current Version", "1.2");
    reg::WriteString(kUpdate, "Password", "pw");
    reg::WriteString(std::string(kUpdate) + "\\Servers", "europe.production", "127.0.0.1:8123");
    system_.PutFile(kRecord, testing::MakeLaunchRecord("mcp.europe.zoma.example", "AFF01"));
  }

  ProbeUpdater& MakeEngine(bool fix_mode = false, std::string record = kRecord) {
    ClientUpdaterOptions options;
    options.fix_mode = fix_mode;
    options.launch_record_path = std::move(record);
    options.chain = [this](const std::string& target) { chains_.push_back(target); };
    engine_ = std::make_unique<ProbeUpdater>(system_, log_, std::move(options));
    engine_->SetLibrary(&library_.calls());
    engine_->SetDisplay(&display_);
    return *engine_;
  }

  void RunPass() {
    engine_->StartStandardSession();
    engine_->JoinThread();
  }

  int Count(const Lines& lines, const std::string& line) {
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
  }

  platform::testing::TempPrefix prefix_;
  testing::FakeSystemServices system_;
  UpdateLog log_{system_, RootDirectory};
  testing::FakeLibrary library_;
  testing::RecordingDisplay display_;
  std::vector<std::string> chains_;
  std::unique_ptr<ProbeUpdater> engine_;
};

bool IsChannel(const std::string& url, const char* name) {
  return url.size() >= std::strlen(name) &&
         url.compare(url.size() - std::strlen(name), std::string::npos, name) == 0;
}

TEST_F(UpdateSessionTest, OrdinaryPassOfTheFourChannels) {
  MakeEngine();
  library_.availability_events = [](int, const std::string& url) {
    return IsChannel(url, "Zoma/Programs") ? std::vector<FakeEvent>{{109, "1000"}}
                                           : std::vector<FakeEvent>{};
  };
  library_.update_events = [](int, const std::string& url) -> std::vector<FakeEvent> {
    if (IsChannel(url, "Zoma/Programs"))
      return {{100, {}},
              {101, {}},
              {102, {}},
              {103, {}},
              {5011, "0%"},
              {104, "properties.txt"},
              {104, "programs/readme.txt"},
              {5011, "50%"},
              {5011, "100%"},
              {105, "35%"},
              {106, "programs/readme.txt"},
              {200, "programs/readme.txt"},
              {5010, "1234"},
              {110, {}}};
    if (IsChannel(url, "Zoma/WindowsSystem"))
      return {{100, {}}, {104, "x.dll"}, {5011, "100%"}, {5011, "100%"}, {110, {}}};
    return {{100, {}}, {108, {}}};
  };
  RunPass();
  EXPECT_TRUE(engine_->Succeeded());
  EXPECT_FALSE(engine_->Failed());
  EXPECT_FALSE(engine_->Busy());

  const std::string u = "OP_UPDATE/OP_REPAIR->";
  EXPECT_EQ(system_.LogLines(),
            (Lines{"=====| Updating Zoma/Programs...",
                   "OP2_AVAIL->CASTANET_UDPATE_AVAILABLE: Update is available: 1000.",
                   u + "CASTANET_UPDATE_CONNECTING: Connecting to transmitter...",
                   u + "CASTANET_UPDATE_SENDING: Requesting update...",
                   u + "CASTANET_UPDATE_WAITING: Waiting for reply...",
                   u + "CASTANET_UPDATE_RECEIVING: Receiving update response...",
                   u + "CASTANET_PROGRESS_PERCENT: 0%",
                   u + "CASTANET_UPDATE_TRANSFER: Transferring: programs/readme.txt",
                   u + "CASTANET_UPDATE_INSTALLING: Installing 35% savings due to compression.",
                   u + "CASTANET_UPDATE_INSTALL: Installing: programs/readme.txt",
                   u + "CASTANET_UPDATE_CREATE: New file: programs/readme.txt",
                   u + "CASTANET_PROGRESS_UPDATE: 1234 bytes received.",
                   u + "CASTANET_UDPATE_DONE: Update of Zoma/Programs complete.",
                   "=====| Updating Zoma/GameInfo...",
                   u + "CASTANET_UPDATE_CONNECTING: Connecting to transmitter...",
                   u + "CASTANET_UPDATE_NO_CHANGES: No update required.",
                   "=====| Updating Zoma/Zoma...",
                   u + "CASTANET_UPDATE_CONNECTING: Connecting to transmitter...",
                   u + "CASTANET_UPDATE_NO_CHANGES: No update required.",
                   "=====| Updating Zoma/WindowsSystem...",
                   u + "CASTANET_UPDATE_CONNECTING: Connecting to transmitter...",
                   u + "CASTANET_UPDATE_TRANSFER: Transferring: x.dll",
                   u + "CASTANET_PROGRESS_PERCENT: 100%",
                   u + "CASTANET_UDPATE_DONE: Update of Zoma/WindowsSystem complete."}));

  // Percent events move the bar only while transferring; the time text every fourth.
  EXPECT_EQ(display_.progress, (std::vector<int>{2, 5, 5, 6, 87, 100, 100, 100}));
  EXPECT_EQ(Count(display_.statuses, "time 2"), 1);
  EXPECT_EQ(Count(display_.statuses, "time 5"), 0);
  // The counter runs over the whole process: channel 4's events are its third and fourth.
  EXPECT_EQ(std::count_if(display_.statuses.begin(), display_.statuses.end(),
                          [](const std::string& s) { return s.rfind("time ", 0) == 0; }),
            1);
  EXPECT_EQ(Count(display_.statuses, "Installing update..."), 1);

  // What the library was given.
  const Lines& calls = library_.calls_made;
  // The full table's channels are strict (0x10): options 9, no preparation needed here,
  // verified in mode 3, cleaned afterwards (0x1).
  EXPECT_EQ(Lines(calls.begin(), calls.begin() + 11),
            (Lines{"init http://127.0.0.1:8123/Zoma/Programs|C:\\ZOMA\\.|9|"
                   "Zoma Software/1.2; UpdateLibrary/0.96",
                   "log Affiliation=AFF01|-1|18", "remove http.proxy", "remove socks.proxy",
                   "verify 3", "available",
                   "log Affiliation=AFF01|-1|18",  // sent again before the update
                   "update 0", "clean", "term",
                   "init http://127.0.0.1:8123/Zoma/GameInfo|C:\\ZOMA\\.|9|"
                   "Zoma Software/1.2; UpdateLibrary/0.96"}));
  EXPECT_EQ(library_.credentials, "ZomaClient:pw");
  EXPECT_NE(std::find(calls.begin(), calls.end(),
                      "init http://127.0.0.1:8123/Zoma/WindowsSystem|C:\\WINDOWS\\SYSTEM32|9|"
                      "Zoma Software/1.2; UpdateLibrary/0.96"),
            calls.end());
  for (const auto& [code, answer] : library_.answers) EXPECT_EQ(answer, 0) << code;
}

TEST_F(UpdateSessionTest, UnreachableServerIsRetriedWithGrowingPauses) {
  MakeEngine();
  library_.available = 0;
  library_.availability_events = [](int attempt, const std::string&) {
    return attempt < 6 ? std::vector<FakeEvent>{{1000, {}}} : std::vector<FakeEvent>{{100, {}}};
  };
  RunPass();
  EXPECT_TRUE(engine_->Succeeded());
  Lines lines = system_.LogLines();
  EXPECT_EQ(Count(lines, "Retrying channel: Zoma/Programs..."), 6);
  EXPECT_EQ(Count(lines, "CASTANET_ERROR_CONNECT_FAILED: Failed to connect to the update server."),
            6);
  EXPECT_EQ(Count(lines, "=====| Updating Zoma/Programs..."), 7);
  EXPECT_EQ(Count(display_.statuses, "Retrying channel..."), 6);
  EXPECT_EQ(Count(display_.errors, "Failed to connect to the update server."), 6);
  // 0.5 + 1 + 2 + 4 + 4 + 4 seconds, slept in short slices.
  EXPECT_EQ(std::accumulate(system_.sleeps.begin(), system_.sleeps.end(), 0), 15500);
  EXPECT_LE(*std::max_element(system_.sleeps.begin(), system_.sleeps.end()), 50);
}

TEST_F(UpdateSessionTest, StopDuringRetriesEndsThePassAsFailed) {
  MakeEngine();
  library_.availability_events = [](int, const std::string&) {
    return std::vector<FakeEvent>{{1000, {}}};
  };
  int retries = 0;
  display_.on_status = [&] {
    if (display_.statuses.back() == "Retrying channel..." && ++retries == 2) engine_->MarkStopped();
  };
  RunPass();
  EXPECT_TRUE(engine_->Failed());
  EXPECT_FALSE(engine_->Succeeded());
  EXPECT_TRUE(engine_->Stopped());
  EXPECT_EQ(Count(system_.LogLines(), "Retrying channel: Zoma/Programs..."), 2);
  // Once stopped, every event is refused without a line.
  EXPECT_EQ(engine_->HandleEvent(100, nullptr), -1);
}

TEST_F(UpdateSessionTest, WithoutALaunchRecordTheRequestLogFails) {
  MakeEngine(false, "");
  display_.on_status = [&] {
    if (display_.statuses.back() == "Retrying channel...") engine_->MarkStopped();
  };
  RunPass();
  EXPECT_TRUE(engine_->Failed());
  EXPECT_EQ(system_.LogLines(), (Lines{"=====| Updating Zoma/Programs...", "mrbAppendLog failed",
                                       "Retrying channel: Zoma/Programs..."}));
  EXPECT_EQ(display_.errors, Lines{"mrbAppendLog failed"});
}

TEST_F(UpdateSessionTest, UpdaterFileIsStagedAndTheEngineChains) {
  MakeEngine();
  system_.PutFile("C:\\HOLD\\programs/ZOMAUP.EXE", "new updater");
  library_.update_events = [](int, const std::string& url) -> std::vector<FakeEvent> {
    if (!IsChannel(url, "Zoma/Programs")) return {{100, {}}};
    return {{100, {}}, {106, "programs/ZOMAUP.EXE"}, {1017, "programs/ZOMAUP.EXE"}};
  };
  RunPass();
  EXPECT_EQ(library_.answers[1], (std::pair<std::uint16_t, int>{106, -1}));
  EXPECT_EQ(system_.File("C:\\ZOMA\\Alternate\\ZomaUp.exe"), "new updater");
  EXPECT_EQ(chains_, Lines{"C:\\ZOMA\\."});
  for (const std::string& line : system_.LogLines()) {
    EXPECT_EQ(line.find("INSTALL"), std::string::npos) << line;
    EXPECT_EQ(line.find("ZOMAUP"), std::string::npos) << line;
  }
}

TEST_F(UpdateSessionTest, FixCopyInstallsTheUpdaterFilesOfTheFirstChannelOnly) {
  MakeEngine(/*fix_mode=*/true);
  library_.update_events = [](int, const std::string&) -> std::vector<FakeEvent> {
    return {{100, {}},   {106, "programs/zomaup.exe"}, {106, "programs/mrbupd.dll"},
            {1017, "x"}, {401, "programs/mrbupd.dll"}, {499, {}}};
  };
  RunPass();
  EXPECT_TRUE(engine_->Succeeded());
  EXPECT_TRUE(chains_.empty());
  EXPECT_EQ(library_.attempts, 1);
  const std::string u = "OP_UPDATE/OP_REPAIR->";
  EXPECT_EQ(system_.LogLines(),
            (Lines{"=====| Updating Zoma/Programs...",
                   u + "CASTANET_UPDATE_CONNECTING: Connecting to transmitter...",
                   u + "CASTANET_UPDATE_INSTALL: Installing: programs/zomaup.exe",
                   u + "CASTANET_UPDATE_INSTALL: Installing: programs/mrbupd.dll",
                   "CASTANET_ERROR_INSTALL_FAILED: Installation failed.",
                   "OP_UNDO->CASTANET_UNDO_REPLACE: Replacing: programs/mrbupd.dll",
                   "OP_UNDO->Unknown msg 499: (null)"}));
}

TEST_F(UpdateSessionTest, OperationAndErrorTables) {
  ProbeUpdater& engine = MakeEngine();
  system_.PutFile("C:\\ZOMA\\bad.txt", "x");
  engine.SetPhase(Phase::kVerify);
  EXPECT_EQ(engine.HandleEvent(1003, "f.txt"), 0);
  EXPECT_EQ(engine.HandleEvent(306, "f.txt"), 0);
  engine.SetPhase(Phase::kPrepare);
  engine.HandleEvent(204, "hashed.txt");
  engine.HandleEvent(999, nullptr);
  engine.SetPhase(Phase::kAvailability);
  engine.HandleEvent(5, "t");
  engine.SetPhase(Phase::kClean);
  engine.HandleEvent(300, "ignored");
  engine.SetPhase(Phase::kUpdate);
  engine.HandleEvent(600, "notice");
  engine.HandleEvent(1010, "C:\\ZOMA\\bad.txt");
  engine.HandleEvent(1025, "Realm");
  engine.HandleEvent(1008, nullptr);
  engine.HandleEvent(1016, "a.dat");
  engine.HandleEvent(1019, "b.dat");
  engine.HandleEvent(1021, "c.dat");
  engine.HandleEvent(1004, nullptr);
  engine.HandleEvent(1049, nullptr);
  EXPECT_EQ(system_.LogLines(),
            (Lines{"OP_VERIFY->Unknown msg 1003: f.txt", "Error 1003: f.txt",
                   "OP_VERIFY->CASTANET_VERIFY_MODIFIED: f.txt has been modified.",
                   "OP_PREPARE->Unknown msg 999: (null)", "OP_2AVAIL->Unknown msg 5: t",
                   "CASTANET_ERROR_CANT_READ: C:\\\\ZOMA\\\\bad.txt: Can't read - cancelling!",
                   "CASTANET_ERROR_WRONG_PASSWD Access to transmitter denied. Realm.",
                   "CASTANET_ERROR_DISK_FULL: Disk full while updating (unnamed file)!",
                   "CASTANET_ERROR_FILE_MISSING: Local channel file missing: a.dat",
                   "CASTANET_ERROR_RENAME_FAILED: Could not rename b.dat.",
                   "CASTANET_ERROR_DELETE_FAILED: Could not delete file c.dat!",
                   std::string("CASTANET_ERROR_NO_SUCH_CHANNEL: ") + LoadResourceString(20211),
                   "CASTANET_ERROR_NO_WINSOCK: Correct version of the Winsock DLL (v1.1) not "
                   "found!"}));
  EXPECT_FALSE(system_.File("C:\\ZOMA\\bad.txt"));
  EXPECT_EQ(display_.errors,
            (Lines{"Unknown UpdateLibrary operation!", "Access to transmitter denied. Realm.",
                   "Disk full while updating (unnamed file)!", LoadResourceString(20211),
                   "Correct version of the Winsock DLL (v1.1) not found!"}));
  // An unexpected end counts as a finished, successful session at once.
  engine.HandleEvent(1005, "eof");
  EXPECT_TRUE(engine.Succeeded());
  EXPECT_FALSE(engine.Busy());
  EXPECT_EQ(system_.LogLines().back(), "CASTANET_ERROR_UNEXPECTED_EOF: eof");
}

TEST_F(UpdateSessionTest, APassStartedAfterEnterWaitsForTheOldThreadAndRunsInFull) {
  MakeEngine();
  library_.availability_events = [](int, const std::string&) {
    return std::vector<FakeEvent>{{100, {}}};
  };
  std::atomic<bool> finished_early{false};
  display_.on_status = [&] {
    // Enter during the first pass; the old thread goes on for a while without a window.
    if (!finished_early.exchange(true)) {
      engine_->FinishNow();
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  };
  auto wait_while_busy = [&] {
    while (engine_->Busy()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  engine_->StartStandardSession();
  wait_while_busy();
  ASSERT_TRUE(engine_->Succeeded());
  engine_->StartStandardSession();  // the second pass, as after a "Needs=" setting
  wait_while_busy();
  // Ready again means the second pass has been through every channel.
  EXPECT_EQ(Count(system_.LogLines(), "=====| Updating Zoma/WindowsSystem..."), 2);
  EXPECT_TRUE(engine_->Succeeded());
  engine_->JoinThread();
}

TEST_F(UpdateSessionTest, AChannelTheLibraryRefusesFailsThePassAndSaysSo) {
  MakeEngine();
  for (int code : {CASTANET_ERROR_BAD_SIGNATURE, CASTANET_ERROR_ROLLBACK, CASTANET_ERROR_EXPIRED,
                   CASTANET_ERROR_BAD_CONTENT}) {
    library_.calls_made.clear();
    display_.errors.clear();
    library_.availability_events = [code](int, const std::string& url) {
      return IsChannel(url, "Zoma/GameInfo")
                 ? std::vector<FakeEvent>{{100, {}},
                                          {static_cast<std::uint16_t>(code), "Zoma/GameInfo"}}
                 : std::vector<FakeEvent>{{100, {}}};
    };
    engine_->SetForceUpdate(true);
    RunPass();
    EXPECT_FALSE(engine_->Succeeded()) << code;
    EXPECT_TRUE(engine_->Failed()) << code;
    ASSERT_EQ(display_.errors.size(), 1u) << code;
    EXPECT_EQ(display_.errors[0].rfind("The update of Zoma/GameInfo was refused: ", 0), 0u)
        << display_.errors[0];
    // Not retried, not updated anyway, and the channels after it are left alone.
    EXPECT_EQ(std::count(library_.calls_made.begin(), library_.calls_made.end(), "update 0"), 1)
        << code;
  }
  // A damaged object during the update itself stays an ordinary failed update.
  library_.availability_events = [](int, const std::string&) {
    return std::vector<FakeEvent>{{100, {}}};
  };
  library_.update_events = [](int, const std::string& url) {
    return IsChannel(url, "Zoma/GameInfo")
               ? std::vector<FakeEvent>{{CASTANET_ERROR_BAD_CONTENT, "a"}}
               : std::vector<FakeEvent>{};
  };
  RunPass();
  EXPECT_TRUE(engine_->Succeeded());
}

TEST_F(UpdateSessionTest, DiskSpaceStopAndForcedUpdates) {
  MakeEngine();
  display_.disk_space_ok = false;
  library_.update_events = [](int, const std::string&) { return std::vector<FakeEvent>{}; };
  library_.availability_events = [](int, const std::string&) {
    return std::vector<FakeEvent>{{100, {}}};
  };
  RunPass();
  EXPECT_TRUE(engine_->Failed());
  EXPECT_TRUE(engine_->Stopped());
  EXPECT_EQ(std::count(library_.calls_made.begin(), library_.calls_made.end(), "update 0"), 0);
  EXPECT_EQ(std::count(library_.calls_made.begin(), library_.calls_made.end(), "clean"), 0);

  display_.disk_space_ok = true;
  library_.available = 0;
  library_.calls_made.clear();
  RunPass();
  EXPECT_TRUE(engine_->Succeeded());
  EXPECT_EQ(std::count(library_.calls_made.begin(), library_.calls_made.end(), "update 0"), 0);

  engine_->AnnounceRestart();
  EXPECT_TRUE(engine_->Failed());
  EXPECT_EQ(display_.statuses.back(),
            "Zoma needs to restart the update to ensure you are updated correctly.");
  RunPass();
  EXPECT_TRUE(engine_->Succeeded());
  EXPECT_EQ(std::count(library_.calls_made.begin(), library_.calls_made.end(), "update 0"), 4);
}

TEST_F(UpdateSessionTest, NoUpdateKindCleansItsChannel) {
  reg::WriteString(kUpdate, "ZomaClient", "Nope");
  MakeEngine();
  system_.PutFile("C:\\ZOMA\\NoUpdate\\.castanet\\state", "s");
  system_.PutFile("C:\\ZOMA\\NoUpdate\\properties.txt", "p");
  system_.PutFile("C:\\ZOMA\\NoUpdate\\keep.txt", "k");
  library_.update_events = [](int, const std::string&) {
    return std::vector<FakeEvent>{{100, {}}, {5011, "50%"}};
  };
  RunPass();
  EXPECT_TRUE(engine_->Succeeded());
  EXPECT_EQ(library_.calls_made.front(),
            "init http://127.0.0.1:8123/NoUpdate|C:\\ZOMA\\NoUpdate|1|"
            "Zoma Software/1.2; UpdateLibrary/0.96");
  EXPECT_NE(std::find(library_.calls_made.begin(), library_.calls_made.end(), "clean"),
            library_.calls_made.end());
  EXPECT_FALSE(system_.File("C:\\ZOMA\\NoUpdate\\.castanet\\state"));
  EXPECT_FALSE(system_.File("C:\\ZOMA\\NoUpdate\\properties.txt"));
  EXPECT_TRUE(system_.File("C:\\ZOMA\\NoUpdate\\keep.txt"));
  EXPECT_EQ(display_.progress, std::vector<int>{100});
}

TEST_F(UpdateSessionTest, MissingOrEmptyInstallation) {
  MakeEngine();
  reg::WriteString(kMain, "Root Directory", "");
  RunPass();
  EXPECT_TRUE(engine_->Failed());
  EXPECT_EQ(display_.errors.size(), 1u);
  EXPECT_EQ(library_.attempts, 0);
  reg::DeleteTree(reg::kLocalMachine, "Software\\Norvance\\Zoma\\Main");
  RunPass();
  EXPECT_TRUE(engine_->Succeeded());
  EXPECT_EQ(library_.attempts, 0);
}

}  // namespace
}  // namespace zoma
