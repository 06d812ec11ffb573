// Host and service names: the test host file stands in for the resolver.
#include "platform/host_names.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>

#include "platform/testing/temp_prefix.h"

namespace platform {
namespace {

class HostNamesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hosts_ = prefix_.dir() + "/hosts";
    std::ofstream(hosts_) << "# test hosts\n"
                             "10.0.0.1   mcp.zoma.example mcp   # the MCP\n"
                             "10.0.0.1   second.zoma.example\n"
                             "300.1.1.1  broken.example\n"
                             "192.168.7.9 lobby.zoma.example\n";
    setenv("ZOMA_HOSTS", hosts_.c_str(), 1);
  }
  void TearDown() override { unsetenv("ZOMA_HOSTS"); }

  testing::TempPrefix prefix_;
  std::string hosts_;
};

TEST_F(HostNamesTest, AnswersFromTheTestHostFile) {
  EXPECT_EQ(GetHostByAddr(0x0A000001), "mcp.zoma.example");  // the first line wins
  EXPECT_EQ(GetHostByAddr(0xC0A80709), "lobby.zoma.example");
  EXPECT_EQ(GetHostByAddr(0x0A000002), std::nullopt);
  EXPECT_EQ(GetHostByName("MCP"), 0x0A000001u);  // aliases count, case does not
  EXPECT_EQ(GetHostByName("second.zoma.example"), 0x0A000001u);
  EXPECT_EQ(GetHostByName("broken.example"), std::nullopt);
  EXPECT_EQ(GetHostByName(""), std::nullopt);
  EXPECT_EQ(GetHostByName(std::string(300, 'a')), std::nullopt);

  setenv("ZOMA_HOSTS", (hosts_ + ".missing").c_str(), 1);
  EXPECT_EQ(GetHostByName("mcp"), std::nullopt);
  EXPECT_EQ(GetHostByAddr(0x0A000001), std::nullopt);
}

TEST(HostNames, DottedAddressesAndServices) {
  EXPECT_EQ(ParseDottedAddress("127.0.0.1"), 0x7F000001u);
  EXPECT_EQ(ParseDottedAddress("255.255.255.255"), 0xFFFFFFFFu);
  for (const char* bad :
       {"", "1.2.3", "1.2.3.4.", "1.2.3.256", "1..2.3", "a.b.c.d", "1.2.3.4x", "0001.2.3.4"})
    EXPECT_EQ(ParseDottedAddress(bad), std::nullopt) << bad;
  // The services database is local; http/tcp is in every one.
  if (!std::ifstream("/etc/services")) GTEST_SKIP() << "no services database";
  EXPECT_EQ(GetServByName("http", "tcp"), 80);
  EXPECT_EQ(GetServByName("no-such-service", "tcp"), std::nullopt);
  EXPECT_EQ(GetServByName("", "udp"), std::nullopt);
}

}  // namespace
}  // namespace platform
