#include "platform/linux/tcp_table_parse.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

namespace glimmet::platform::procfs {
namespace {

constexpr std::string_view kHeader =
    "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout "
    "inode\n";

std::string address(const TcpListenRow& row) {
  char text[INET6_ADDRSTRLEN] = {};
  inet_ntop(row.family, row.address.data(), text, sizeof text);
  return text;
}

TEST(ParseTcpTable, ReadsListenersOfBothFamilies) {
  const std::string v4 = std::string(kHeader) +
                         "   0: 0100007F:0BB8 00000000:0000 0A 00000000:00000000 00:00000000 "
                         "00000000  1000        0 51234 1 0000000000000000 100 0 0 10 0\n"
                         "   1: 00000000:1F90 00000000:0000 0A 00000000:00000000 00:00000000 "
                         "00000000     0        0 777 1 0000000000000000 100 0 0 10 0\n"
                         "   2: 0100007F:0BB8 0100007F:D431 01 00000000:00000000 00:00000000 "
                         "00000000  1000        0 51299 1 0000000000000000 20 4 30 10 -1\n";
  const auto rows = parseTcpTable(v4, AF_INET);
  ASSERT_EQ(rows.size(), 2u);  // the established connection is not a listener
  EXPECT_EQ(address(rows[0]), "127.0.0.1");
  EXPECT_EQ(rows[0].port, 3000);
  EXPECT_EQ(rows[0].uid, 1000u);
  EXPECT_EQ(rows[0].inode, 51234u);
  EXPECT_EQ(address(rows[1]), "0.0.0.0");
  EXPECT_EQ(rows[1].port, 8080);

  const std::string v6 = std::string(kHeader) +
                         "   0: 00000000000000000000000001000000:1F90 "
                         "00000000000000000000000000000000:0000 0A 00000000:00000000 00:00000000 "
                         "00000000  1000        0 6001 1 0000000000000000 100 0 0 10 0\n"
                         "   1: 00000000000000000000000000000000:0050 "
                         "00000000000000000000000000000000:0000 0A 00000000:00000000 00:00000000 "
                         "00000000     0        0 6002 1 0000000000000000 100 0 0 10 0\n"
                         "   2: 0000000000000000FFFF00000100007F:1389 "
                         "00000000000000000000000000000000:0000 0A 00000000:00000000 00:00000000 "
                         "00000000  1000        0 6003 1 0000000000000000 100 0 0 10 0\n";
  const auto rows6 = parseTcpTable(v6, AF_INET6);
  ASSERT_EQ(rows6.size(), 3u);
  EXPECT_EQ(address(rows6[0]), "::1");
  EXPECT_EQ(rows6[0].port, 8080);
  EXPECT_EQ(address(rows6[1]), "::");
  EXPECT_EQ(rows6[2].family, AF_INET);  // an IPv4-mapped address is IPv4
  EXPECT_EQ(address(rows6[2]), "127.0.0.1");
  EXPECT_EQ(rows6[2].port, 5001);
}

TEST(ParseTcpTable, DropsCutAndMalformedRows) {
  const std::string row =
      "   0: 0100007F:0BB8 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000        0 "
      "51234 1 0000000000000000 100 0 0 10 0\n";
  EXPECT_EQ(parseTcpTable(row + row.substr(0, 60), AF_INET).size(), 1u);
  EXPECT_TRUE(parseTcpTable("   0: 0100007F:ZZZZ 00000000:0000 0A 0:0 0:0 0 1000 0 5 1\n", AF_INET)
                  .empty());
  EXPECT_TRUE(parseTcpTable(row, AF_INET6).empty());  // the wrong width for the table
  EXPECT_TRUE(parseTcpTable("\x01\xff garbage\n\n", AF_INET).empty());
}

}  // namespace
}  // namespace glimmet::platform::procfs
