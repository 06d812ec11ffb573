// Address texts: formatting with and without a host name, and parsing every field.
#include "clientcfg/net_address.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "clientcfg/testing/launch_fixture.h"

namespace clientcfg {
namespace {

using NetAddressTest = testing::LaunchTest;  // hosts: 10.0.0.1 mcp.zoma.example, localhost

TEST_F(NetAddressTest, FormatNamedOrNumericWithinTheBuffer) {
  char buffer[64];
  EXPECT_EQ(FormatNetAddress({2, 3500, 0x0A000001}, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "tcp:mcp.zoma.example:3500");
  EXPECT_EQ(FormatNetAddress({3, 65535, 0x0A000002}, buffer, sizeof buffer), 2);
  EXPECT_STREQ(buffer, "udp:10.0.0.2:65535");
  EXPECT_EQ(FormatNetAddress({9, 1, 0xFFFFFFFF}, buffer, sizeof buffer), 2);
  EXPECT_STREQ(buffer, "unknown:255.255.255.255:1");
  const char* names[] = {"unspec", "unix", "tcp", "udp", "vello", "unknown"};
  for (std::uint16_t family = 0; family <= 5; ++family)
    EXPECT_STREQ(NetFamilyName(family), names[family]);
  EXPECT_STREQ(NetFamilyName(0xFFFF), "unknown");

  // Too small: nothing is written. "tcp" + "mcp.zoma.example" + 9 = 28.
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(FormatNetAddress({2, 1, 0x0A000001}, buffer, 27), 1);
  EXPECT_EQ(buffer[0], '#');
  EXPECT_EQ(FormatNetAddress({2, 1, 0x0A000001}, buffer, 28), 0);
  EXPECT_EQ(FormatNetAddress({2, 1, 0x0A000002}, buffer, 26), 3);
  EXPECT_EQ(FormatNetAddress({2, 1, 0x0A000002}, buffer, 27), 2);
}

TEST_F(NetAddressTest, ParseFamiliesHostsAndPorts) {
  NetAddress address;
  ASSERT_EQ(ParseNetAddress("tcp:10.1.2.3:3500", &address), 0);
  EXPECT_EQ(address.family, 2);
  EXPECT_EQ(address.ipv4, 0x0A010203u);
  EXPECT_EQ(address.port, 3500);
  ASSERT_EQ(ParseNetAddress("UDP/mcp.zoma.example/7", &address), 0);
  EXPECT_EQ(address.family, 3);
  EXPECT_EQ(address.ipv4, 0x0A000001u);
  ASSERT_EQ(ParseNetAddress("tcp:*:*", &address), 0);
  EXPECT_EQ(address.ipv4, 0u);
  EXPECT_EQ(address.port, 0);
  ASSERT_EQ(ParseNetAddress("tcp:.:.", &address), 0);
  EXPECT_EQ(address.ipv4, 0x7F000001u);
  ASSERT_EQ(ParseNetAddress("tcp:.:65537", &address), 0);  // the low 16 bits
  EXPECT_EQ(address.port, 1);
  ASSERT_EQ(ParseNetAddress("tcp::.::80:extra", &address), 0);  // empty fields do not count
  EXPECT_EQ(address.port, 80);

  address = {7, 7, 7};
  EXPECT_EQ(ParseNetAddress("tcp:host", &address), 1);
  EXPECT_EQ(ParseNetAddress("", &address), 1);
  EXPECT_EQ(ParseNetAddress(nullptr, &address), 1);
  EXPECT_EQ(ParseNetAddress("vello:.:80", &address), 2);
  EXPECT_EQ(ParseNetAddress("tcp:no.such.host:80", &address), 3);
  EXPECT_EQ(ParseNetAddress("tcp:1.2.3.999:80", &address), 3);
  EXPECT_EQ(ParseNetAddress("tcp:.:65536", &address), 4);
  EXPECT_EQ(ParseNetAddress("tcp:.:no-such-service", &address), 4);
  EXPECT_EQ(address.family, 7);  // untouched on failure
  if (std::ifstream("/etc/services")) {
    ASSERT_EQ(ParseNetAddress("tcp:.:http", &address), 0);
    EXPECT_EQ(address.port, 80);
  }

  // A slot's bytes: family little-endian, port and address in network order.
  char slot[kNetAddressSlotSize];
  WriteNetAddressSlot({0x0102, 0x0D05, 0xC0A80001}, slot);
  EXPECT_EQ(std::string(slot, 16),
            std::string("\x02\x01\0\0\x0D\x05\xC0\xA8\0\x01\0\0\0\0\0\0", 16));
  NetAddress read = ReadNetAddressSlot(std::string_view(slot, 16));
  EXPECT_EQ(read.family, 0x0102);
  EXPECT_EQ(read.port, 0x0D05);
  EXPECT_EQ(read.ipv4, 0xC0A80001u);
}

}  // namespace
}  // namespace clientcfg
