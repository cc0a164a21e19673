#include "core/ports/socket_scanner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/process/process_enumerator.h"
#include "core/process/system_process_inspector.h"
#include "support/child_process.h"
#include "support/run_process.h"

extern char** environ;

namespace glimmet {
namespace {

using testing::ChildProcess;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Field;
using Row = platform::TcpListenRow;

std::uint16_t portOf(const ChildProcess& child) {
  return static_cast<std::uint16_t>(child.reportedNumbers().at(0));
}

std::vector<std::uint16_t> portsOf(const std::vector<ListeningProcess>& listeners, pid_t pid) {
  for (const auto& listener : listeners) {
    if (listener.identity.pid == pid) return listener.ports;
  }
  return {};
}

std::string nameOf(uid_t uid) {
  return "user" + std::to_string(uid);
}

TEST(JoinListeners, KeepsEachPortAndPIDOnceAndGroupsUnknownHoldersByOwner) {
  const std::vector<Row> rows = {
      {AF_INET, {}, 5432, 999, 1},  {AF_INET6, {}, 5432, 999, 2},  // one server, both families
      {AF_INET, {}, 80, 0, 3},      {AF_INET6, {}, 80, 0, 4},      // unreadable, same owner
      {AF_INET, {}, 80, 7, 5},                                     // unreadable, another owner
      {AF_INET, {}, 3000, 1000, 6},                                // inherited by two processes
  };
  const std::vector<SocketScanner::Holder> holders = {
      {1, 812, "postgres"}, {2, 812, "postgres"}, {6, 40, "node"}, {6, 30, "node"}};
  const auto listeners = SocketScanner::joinListeners(rows, holders, nameOf);
  EXPECT_EQ(listeners, (std::vector<ForeignListener>{{80, 0, "user0", 0},
                                                     {80, 0, "user7", 7},
                                                     {3000, 30, "node", 1000},
                                                     {3000, 40, "node", 1000},
                                                     {5432, 812, "postgres", 999}}));
}

TEST(ForeignPortScanner, KeepsOtherUsersAndUnknownOwners) {
  const ForeignPortScanner scanner(1000);
  const std::vector<ForeignListener> listeners = {{80, 0, "root", 0},
                                                  {3000, 30, "node", 1000},
                                                  {5432, 812, "postgres", 999},
                                                  {6000, 55, "gone", 1000}};
  const auto foreign = scanner.scan(listeners, [](pid_t pid) -> std::optional<uid_t> {
    if (pid == 30) return 1000;
    if (pid == 812) return 999;
    return std::nullopt;  // exited since the table was read
  });
  EXPECT_THAT(foreign,
              ElementsAre(Field(&ForeignListener::port, 80), Field(&ForeignListener::port, 5432),
                          Field(&ForeignListener::port, 6000)));
}

TEST(SocketScanner, JoinsHoldersToTheSnapshotByIdentityAndOwner) {
  const auto recordOf = [](pid_t pid, uid_t uid, ProcessStatus status = ProcessStatus::running) {
    ProcessRecord record;
    record.identity = {pid, 5'000};
    record.uid = uid;
    record.status = status;
    return record;
  };
  const ProcessSnapshot snapshot(std::chrono::system_clock::now(),
                                 {recordOf(20, 1000), recordOf(10, 1000), recordOf(30, 1000),
                                  recordOf(40, 1000, ProcessStatus::zombie), recordOf(50, 7)});
  const std::vector<Row> rows = {{AF_INET, {}, 3000, 1000, 1}, {AF_INET6, {}, 3000, 1000, 2},
                                 {AF_INET, {}, 8080, 1000, 3}, {AF_INET, {}, 9000, 1000, 4},
                                 {AF_INET, {}, 9001, 1000, 5}, {AF_INET, {}, 5432, 7, 6}};
  const SocketScanner scanner(rows, {{3, 10, "node", 1000, 5'000},
                                     {1, 10, "node", 1000, 5'000},
                                     {2, 10, "node", 1000, 5'000},
                                     {1, 20, "node", 1000, 5'000},  // inherited the socket
                                     {4, 30, "vite", 1000, 9'999},  // a later process, same pid
                                     {5, 40, "dead", 1000, 5'000},
                                     {6, 50, "postgres", 7, 5'000}});
  const auto listeners = scanner.listeningProcesses(snapshot, 1000);
  ASSERT_EQ(listeners.size(), 2u);
  EXPECT_EQ(listeners[0].identity.pid, 20);  // snapshot order
  EXPECT_THAT(listeners[0].ports, ElementsAre(3000));
  EXPECT_EQ(listeners[1].identity.pid, 10);
  EXPECT_THAT(listeners[1].ports, ElementsAre(3000, 8080));
}

TEST(SocketScanner, FindsTheUsersListenersOnEveryAddress) {
  std::vector<ChildProcess> servers;
  for (const char* address : {"127.0.0.1", "::1", "::", "0.0.0.0"}) {
    servers.push_back(ChildProcess::helper({"listen", address}));
  }
  auto inherited = ChildProcess::helper({"listen-fork", "127.0.0.1"});
  ProcessEnumerator enumerator(getuid());
  const auto snapshot = enumerator.snapshot(std::chrono::system_clock::now());
  const SocketScanner scanner;
  const auto listeners = scanner.listeningProcesses(snapshot, getuid());
  for (const auto& server : servers) {
    EXPECT_THAT(portsOf(listeners, server.pid()), ElementsAre(portOf(server))) << server.report();
  }
  // The child that inherited the socket listens too, as its parent does.
  EXPECT_THAT(portsOf(listeners, inherited.pid()), ElementsAre(portOf(inherited)));
  const auto heir = static_cast<pid_t>(inherited.reportedNumbers().at(1));
  EXPECT_THAT(portsOf(listeners, heir), ElementsAre(portOf(inherited)));

  // Two processes sharing one port both listen on it.
  const auto first = ChildProcess::helper({"reuseport", "127.0.0.1"});
  const auto second =
      ChildProcess::helper({"reuseport", "127.0.0.1", std::to_string(portOf(first))});
  ASSERT_EQ(portOf(second), portOf(first));
  const auto shared = SocketScanner().listeningProcesses(
      enumerator.snapshot(std::chrono::system_clock::now()), getuid());
  EXPECT_THAT(portsOf(shared, first.pid()), ElementsAre(portOf(first)));
  EXPECT_THAT(portsOf(shared, second.pid()), ElementsAre(portOf(first)));

  // The same instant as ss sees it.
  const auto ss = testing::runProcess({"/usr/bin/ss", "-ltnH"}, Environment::fromArray(environ));
  if (ss.status == 0) {
    for (const auto& server : servers) {
      EXPECT_NE(ss.out.find(":" + std::to_string(portOf(server)) + " "), std::string::npos);
    }
  }
}

TEST(SocketScanner, ShowsAnotherUsersListenerAsForeign) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to start a process as nobody";
  const auto server = ChildProcess::helper({"listen", "127.0.0.1"}, {.cwd = "/", .uid = 65534});
  const SocketScanner scanner;
  const SystemProcessInspector inspector(getuid());
  const auto foreign = ForeignPortScanner(getuid()).scan(
      scanner.allListeners(), [&](pid_t pid) -> std::optional<uid_t> {
        if (const auto state = inspector.state(pid)) return state->uid;
        return std::nullopt;
      });
  EXPECT_THAT(foreign,
              Contains(ForeignListener{portOf(server), server.pid(), "glimmet_process", 65534}));
  ProcessEnumerator enumerator(getuid());
  const auto snapshot = enumerator.snapshot(std::chrono::system_clock::now());
  EXPECT_TRUE(portsOf(scanner.listeningProcesses(snapshot, getuid()), server.pid()).empty());
}

}  // namespace
}  // namespace glimmet
