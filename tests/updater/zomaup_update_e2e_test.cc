// ZomaUp with the real update library against a real nginx serving published channels:
// the four channels installed, the request log as the server received it, and a server
// that cannot be reached retried until the user stops.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/updater/zomaup_installation.h"
#include "updatelib/channel/crypto.h"
#include "updatelib/channel/file_io.h"
#include "updatelib/channel/publisher.h"
#include "updatelib/channel/signed_text.h"
#include "updatelib/testing/channel_publisher.h"
#include "updatelib/testing/nginx_server.h"
#include "updater/launch_code.h"

namespace zoma::testing {
namespace {

constexpr const char* kPassword = "secret";

class ZomaUpUpdateTest : public ZomaUpInstallation {
 protected:
  void SetUp() override {
    fs::copy_file(MRBUPD_LIBRARY, root_ + "/Programs/mrbupd.dll",
                  fs::copy_options::overwrite_existing);
    char pattern[] = "/tmp/zomaup-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    chmod(dir_.c_str(), 0755);  // nginx's workers run unprivileged
    www_ = dir_ + "/www";
    fs::create_directories(www_);
    std::string error;
    publisher_ = std::make_unique<castanet::testing::ChannelPublisher>(www_);
    // The installation's library trusts the key file beside it, as a shipped one does.
    ASSERT_TRUE(castanet::WriteFileAtomically(root_ + "/Programs/mrbupd.keys",
                                              publisher_->KeyFileText(), &error));
    ASSERT_TRUE(server_.Start(www_, dir_ + "/nginx", "ZomaClient", kPassword, &error)) << error;
    reg::WriteString(kUpdate, "Password", kPassword);
    UseServer("127.0.0.1:" + std::to_string(server_.port()));
  }

  void TearDown() override {
    server_.Stop();
    if (!HasFailure()) fs::remove_all(dir_);
  }

  void UseServer(const std::string& server) {
    reg::WriteString(std::string(kUpdate) + "\\Servers", "europe.production", server);
  }

  void PublishChannel(const std::string& channel, const std::map<std::string, std::string>& files,
                      const castanet::SigningKey* key = nullptr) {
    std::string error;
    if (key == nullptr) {
      ASSERT_TRUE(publisher_->PublishFiles(channel, files, &error)) << error;
      return;
    }
    // Signed by another key: the same files, published with it.
    std::string source = dir_ + "/other-source/" + channel;
    for (const auto& [name, contents] : files) {
      fs::create_directories(fs::path(source + "/" + name).parent_path());
      std::ofstream(source + "/" + name, std::ios::binary) << contents;
    }
    zomapublish::PublishOptions options = publisher_->Options(channel, source);
    options.keys = {*key};
    zomapublish::PublishReport report;
    ASSERT_TRUE(zomapublish::Publish(options, &report, &error)) << error;
  }

  std::string dir_, www_;
  std::unique_ptr<castanet::testing::ChannelPublisher> publisher_;
  castanet::testing::NginxServer server_;
};

TEST_F(ZomaUpUpdateTest, OrdinaryUpdateOfTheFourChannels) {
  PublishChannel("Zoma/Programs", {{"Programs/readme.txt", "programs"}});
  PublishChannel("Zoma/GameInfo", {{"GameInfo/games.txt", "games"}});
  PublishChannel("Zoma/Zoma", {{"Data/zoma.dat", std::string(100000, 'z')}});
  PublishChannel("Zoma/WindowsSystem", {{"zomasys.dll", "system"}});
  reg::WriteString(kUpdate, "Download Settings Count", "2");
  reg::WriteString(kUpdate, "Download Setting 1", "Speed=Fast");
  reg::WriteString(kUpdate, "Download Setting 2", "Needs=Fonts");

  ASSERT_EQ(RunZomaUp(), 0);
  ASSERT_TRUE(WaitForClient()) << ReadFile(root_ + "/update.log") << Transcript();

  Lines log = Log();
  for (const char* channel :
       {"Zoma/Programs", "Zoma/GameInfo", "Zoma/Zoma", "Zoma/WindowsSystem"}) {
    EXPECT_EQ(Count(log, std::string("=====| Updating ") + channel + "..."), 1) << channel;
    EXPECT_EQ(Count(log, kU + "CASTANET_UDPATE_DONE: Update of " + channel + " complete."), 1)
        << channel;
  }
  EXPECT_EQ(Count(log, kU + "CASTANET_UPDATE_CONNECTING: Connecting to transmitter..."), 4);
  EXPECT_EQ(Count(log, kU + "CASTANET_UPDATE_INSTALL: Installing: Programs/readme.txt"), 1);
  EXPECT_EQ(Count(log, kU + "CASTANET_PROGRESS_PERCENT: 100%"), 1);
  EXPECT_EQ(log.back(), "Updating registry...");
  for (const std::string& line : log) EXPECT_EQ(line.find("Retrying"), std::string::npos) << line;

  EXPECT_EQ(ReadFile(root_ + "/Programs/readme.txt"), "programs");
  EXPECT_EQ(ReadFile(root_ + "/GameInfo/games.txt"), "games");
  EXPECT_EQ(ReadFile(prefix_.drive_c() + "/WINDOWS/SYSTEM32/zomasys.dll"), "system");
  EXPECT_TRUE(AcceptLaunchCode(Client().at(0)));

  // The request log reached the server with the requests.
  bool affiliation = false, settings = false;
  for (const std::string& line : server_.AccessLines()) {
    affiliation |= line.find("Affiliation=AFF01") != std::string::npos;
    settings |= line.find("Speed=Fast") != std::string::npos &&
                line.find("Needs=Fonts") != std::string::npos;
  }
  EXPECT_TRUE(affiliation);
  EXPECT_TRUE(settings);
  // The pending need was sent, then cleared with the count after the pass.
  EXPECT_FALSE(reg::ReadString(kUpdate, "Download Settings Count"));
  EXPECT_FALSE(reg::ReadString(kUpdate, "Download Setting 2"));
  EXPECT_EQ(reg::ReadString(kUpdate, "Download Setting 1"), "Speed=Fast");
  EXPECT_EQ(Transcript().find("messagebox"), std::string::npos) << Transcript();
}

TEST_F(ZomaUpUpdateTest, UnreachableServerIsRetriedUntilCancelAndYes) {
  UseServer("127.0.0.1:" + std::to_string(castanet::testing::FreeLoopbackPort()));
  env_["ZOMA_UI_PRESS"] = "Cancel@Retrying channel...";
  env_["ZOMA_UI_ANSWERS"] = "IDOK,IDYES";
  ASSERT_EQ(RunZomaUp(), 0);
  Lines log = Log();
  EXPECT_GE(Count(log, "Retrying channel: Zoma/Programs..."), 1);
  EXPECT_GE(Count(log, "CASTANET_ERROR_CONNECT_FAILED: Failed to connect to the update server."),
            1);
  EXPECT_EQ(Count(log, kU + "CASTANET_UPDATE_CONNECTING: Connecting to transmitter..."), 0);
  std::string transcript = Transcript();
  EXPECT_NE(transcript.find("The transfer will resume from this point.\tIDOK"), std::string::npos);
  EXPECT_EQ(transcript.find("Sorry, but the launcher"), std::string::npos);
  EXPECT_FALSE(fs::exists(ClientMarker()));
}

TEST_F(ZomaUpUpdateTest, AChannelSignedByAnUntrustedKeyStopsTheUpdateVisibly) {
  PublishChannel("Zoma/Programs", {{"Programs/readme.txt", "programs"}});
  std::string error;
  castanet::SigningKey stranger;
  ASSERT_TRUE(castanet::GenerateSigningKey(&stranger, &error)) << error;
  PublishChannel("Zoma/GameInfo", {{"GameInfo/games.txt", "games"}}, &stranger);
  PublishChannel("Zoma/Zoma", {{"Data/zoma.dat", "data"}}, &stranger);
  PublishChannel("Zoma/WindowsSystem", {{"zomasys.dll", "system"}}, &stranger);
  env_["ZOMA_UI_ANSWERS"] = "IDOK,IDOK";
  ASSERT_EQ(RunZomaUp(), 0);
  Lines log = Log();
  EXPECT_EQ(Count(log, "=====| Updating Zoma/GameInfo..."), 1);  // not retried
  EXPECT_EQ(Count(log, "=====| Updating Zoma/Zoma..."), 0);
  EXPECT_EQ(Count(log, "Updating registry..."), 0);
  EXPECT_FALSE(fs::exists(root_ + "/GameInfo/games.txt"));
  std::string transcript = Transcript();
  EXPECT_NE(transcript.find("The update of Zoma/GameInfo was refused: it is not signed by a "
                            "trusted key. No files were changed."),
            std::string::npos)
      << transcript;
  EXPECT_FALSE(fs::exists(ClientMarker()));  // the client does not start as if up to date
}

TEST_F(ZomaUpUpdateTest, SelfUpdateThroughTheAlternateCopy) {
  std::string fresh = ReadFile(ZOMAUP_PROGRAM) + "\nNEW-UPDATER\n";
  PublishChannel("Zoma/Programs", {{"Programs/ZomaUp.exe", fresh}, {"Programs/readme.txt", "p"}});
  PublishChannel("Zoma/GameInfo", {{"GameInfo/games.txt", "games"}});
  PublishChannel("Zoma/Zoma", {{"Data/zoma.dat", "data"}});
  PublishChannel("Zoma/WindowsSystem", {{"zomasys.dll", "system"}});

  ASSERT_EQ(RunZomaUp(), 0);
  ASSERT_TRUE(WaitForClient()) << ReadFile(root_ + "/update.log") << Transcript();
  EXPECT_EQ(ReadFile(root_ + "/Programs/ZomaUp.exe"), fresh);
  EXPECT_FALSE(fs::exists(root_ + "/Alternate"));
  Lines log = Log();
  // The ordinary run and the fix copy each update the first channel; the post-fix
  // updater all four.
  EXPECT_EQ(Count(log, "=====| Updating Zoma/Programs..."), 3);
  EXPECT_EQ(Count(log, "=====| Updating Zoma/WindowsSystem..."), 1);
  EXPECT_EQ(Count(log, kU + "CASTANET_UPDATE_INSTALL: Installing: Programs/ZomaUp.exe"), 1);
  EXPECT_EQ(Count(log, "Updating registry..."), 2);
  EXPECT_TRUE(AcceptLaunchCode(Client().at(0)));
}

}  // namespace
}  // namespace zoma::testing
