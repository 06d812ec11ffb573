#include "platform/winsock.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

#include <cstring>

namespace platform {
namespace {

TEST(Winsock, NothingWorksBeforeStartUp) {
  EXPECT_EQ(CreateSocket(kAfInet, kSockStream, 0), kInvalidSocket);
  EXPECT_EQ(WSAGetLastError(), kWsaNotinitialised);
  EXPECT_EQ(GetHostByName("localhost"), nullptr);
  EXPECT_EQ(WSAStartup(MakeWord(1, 0), nullptr), kWsaVernotsupported);
  ASSERT_EQ(WSAStartup(MakeWord(1, 1), nullptr), 0);
  EXPECT_EQ(InetAddr("127.0.0.1"), htonl(INADDR_LOOPBACK));
  EXPECT_EQ(InetAddr("127.1"), htonl(INADDR_LOOPBACK));
  EXPECT_EQ(InetAddr("localhost"), kInaddrNone);
  uint32_t loopback = htonl(INADDR_LOOPBACK);
  HostEnt* entry = GetHostByAddr(reinterpret_cast<const char*>(&loopback), 4, kAfInet);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(std::memcmp(entry->h_addr_list[0], &loopback, 4), 0);
  EXPECT_EQ(entry->h_addr_list[1], nullptr);
  EXPECT_EQ(WSACleanup(), 0);
  EXPECT_EQ(WSACleanup(), kSocketError);
}

}  // namespace
}  // namespace platform
