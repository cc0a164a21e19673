// The listening-socket table read from crafted procfs tables (malformed, cut,
// IPv4-mapped, missing, a FIFO in place of one), joined with a process's socket
// descriptors; and the kernel's own table for a socket of this process.
#include "platform/sockets.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/process_info.h"
#include "support/fake_proc.h"

namespace glimmet::platform {
namespace {

namespace fs = std::filesystem;
using testing::FakeProc;

// Rows as the kernel prints them; `state` 0A is LISTEN.
std::string tcpRow(const std::string& local, const std::string& state, std::uint64_t inode) {
  const std::string remote = local.size() > 13 ? std::string(32, '0') + ":0000" : "00000000:0000";
  return "   0: " + local + " " + remote + " " + state +
         " 00000000:00000000 00:00000000 00000000  1000        0 " + std::to_string(inode) +
         " 1 0000000000000000 100 0 0 10 0\n";
}

TEST(FakeProcSockets, FindsAProcessPortsThroughItsDescriptorLinks) {
  FakeProc proc;
  const std::string header = "  sl  local_address rem_address   st tx_queue ...\n";
  proc.write("net/tcp", header + tcpRow("0100007F:0BB8", "0A", 1001) +
                            tcpRow("0100007F:0BB8", "01", 1002) +  // an accepted connection
                            "   1: garbage that is no row\n" + tcpRow("0100007F:ZZZZ", "0A", 1003) +
                            tcpRow("00000000:1F90", "0A", 2001) +
                            tcpRow("0100007F:1F91", "0A", 1004).substr(0, 50));  // cut short
  proc.write("net/tcp6", header + tcpRow("0000000000000000FFFF00000100007F:1389", "0A", 1005) +
                             tcpRow("00000000000000000000000001000000:1F92", "0A", 1006));

  proc.addProcess(50, "node");
  const std::vector<std::pair<std::string, std::string>> descriptors = {
      {"0", "/dev/null"},
      {"1", "pipe:[77]"},
      {"3", "socket:[1001]"},
      {"4", "socket:[1005]"},
      {"5", "socket:[1006]"},
      {"6", "socket:[]"},
      {"7", "socket:[12x]"},
      {"8", "socket:[1002]"},
      {"9", "anon_inode:[eventfd]"},
      {"10", "socket:[99999999999999999999999]"}};
  for (const auto& [fd, target] : descriptors) proc.link("50/fd/" + fd, target);

  const auto inodes = ProcessTable(proc.root()).open(50)->socketInodes();
  EXPECT_EQ(std::set<std::uint64_t>(inodes.begin(), inodes.end()),
            (std::set<std::uint64_t>{1001, 1002, 1005, 1006}));

  const auto rows = listeningSockets(proc.root());
  std::vector<std::pair<int, std::uint16_t>> held;
  for (const auto& row : rows) {
    if (std::find(inodes.begin(), inodes.end(), row.inode) != inodes.end()) {
      held.emplace_back(row.family, row.port);
    }
  }
  // Another user's 8080 is listed but not held; the mapped address reads as IPv4.
  EXPECT_EQ(rows.size(), 4u);
  EXPECT_EQ(held, (std::vector<std::pair<int, std::uint16_t>>{
                      {AF_INET, 3000}, {AF_INET, 5001}, {AF_INET6, 8082}}));
}

TEST(FakeProcSockets, ReadsWhatTablesThereAreAndNeverWaitsOnOne) {
  FakeProc proc;
  // A host booted without IPv6 has no tcp6 table.
  proc.write("net/tcp", "header\n" + tcpRow("0100007F:0BB8", "0A", 1));
  ASSERT_EQ(listeningSockets(proc.root()).size(), 1u);
  // A FIFO where a table belongs must not block the reader.
  ASSERT_EQ(::mkfifo(proc.path("net/tcp6").c_str(), 0600), 0);
  EXPECT_EQ(listeningSockets(proc.root()).size(), 1u);
  fs::remove_all(proc.path("net"));
  EXPECT_TRUE(listeningSockets(proc.root()).empty());
}

TEST(LiveProcSockets, FindsOurOwnListenerByItsInode) {
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
  ASSERT_EQ(::listen(listener, 1), 0);
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const std::uint16_t port = ntohs(address.sin_port);

  const auto inodes = ProcessTable().open(getpid())->socketInodes();
  bool found = false;
  for (const auto& row : listeningSockets()) {
    if (row.port != port) continue;
    found = true;
    EXPECT_EQ(row.family, AF_INET);
    EXPECT_EQ(row.uid, geteuid());
    EXPECT_NE(std::find(inodes.begin(), inodes.end(), row.inode), inodes.end());
  }
  EXPECT_TRUE(found);
  ::close(listener);
}

}  // namespace
}  // namespace glimmet::platform
