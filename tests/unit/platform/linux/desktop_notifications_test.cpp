// Desktop notifications against a real dbus-daemon of the test's own and the
// helper's stand-in notification service: what Notify carries, whose signals
// count, and a bus or service that is missing, hangs or goes away.
#include "platform/desktop_notifications.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "platform/unique_fd.h"
#include "support/session_bus.h"
#include "support/temp_dir.h"

namespace glimmet::platform {

void PrintTo(const NotificationSignal& signal, std::ostream* out) {
  *out << (signal.kind == NotificationSignal::Kind::actionInvoked ? "action " : "closed ")
       << signal.id << ' ' << signal.actionKey << signal.closedReason;
}

namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using Kind = NotificationSignal::Kind;

class DesktopNotificationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::PrivateSessionBus::available()) GTEST_SKIP() << "dbus-daemon isn't installed";
    bus_.emplace(dir_ / "run");
  }

  Environment sessionBus() const {
    return Environment({{"DBUS_SESSION_BUS_ADDRESS", bus_->address()}});
  }

  std::vector<nlohmann::json> calls() const {
    std::vector<nlohmann::json> out;
    std::ifstream file(dir_ / "calls.jsonl");
    for (std::string line; std::getline(file, line);) out.push_back(nlohmann::json::parse(line));
    return out;
  }

  // Takes signals until `count` have come or 5 seconds have passed.
  static std::vector<NotificationSignal> takeSignals(NotificationBus& bus, std::size_t count) {
    std::vector<NotificationSignal> out;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (out.size() < count && std::chrono::steady_clock::now() < deadline) {
      for (auto& signal : bus.take()) out.push_back(std::move(signal));
      std::this_thread::sleep_for(20ms);
    }
    return out;
  }

  testing::TempDir dir_;
  std::optional<testing::PrivateSessionBus> bus_;
};

TEST_F(DesktopNotificationsTest, ShowsWithActionsAndTakesOnlyTheShowingServicesSignals) {
  auto service = bus_->startNotificationService(dir_ / "calls.jsonl");
  auto impostor = bus_->startNotificationService(dir_ / "impostor.jsonl", true);
  auto connection = NotificationBus::connect(sessionBus());
  ASSERT_TRUE(connection) << connection.failure;
  NotificationBus& bus = *connection.value;

  const auto shown = bus.show({.summary = "Quit the session of Claude Code?",
                               .body = "Stops 2 processes & <keeps> 1.",
                               .actions = {{"quit", "Quit"}, {"keep", "Keep"}}});
  ASSERT_TRUE(shown) << shown.failure;
  EXPECT_EQ(*shown.value, 1u);
  const auto recorded = calls();
  ASSERT_EQ(recorded.size(), 1u);
  EXPECT_EQ(recorded[0]["app"], "glimmet");
  EXPECT_EQ(recorded[0]["summary"], "Quit the session of Claude Code?");
  // The stand-in reads no markup, so the body goes as it is.
  EXPECT_EQ(recorded[0]["body"], "Stops 2 processes & <keeps> 1.");
  EXPECT_EQ(recorded[0]["actions"], nlohmann::json({"quit", "Quit", "keep", "Keep"}));
  EXPECT_EQ(recorded[0]["expire"], -1);
  EXPECT_EQ(recorded[0]["sender"], bus.uniqueName());

  // Someone else on the bus says the person chose "quit" on our id, and the
  // service speaks of an id it never gave us: neither counts.
  testing::emit(impostor, "action 1 quit");
  testing::emit(service, "action 7 quit");
  testing::emit(service, "action 1 keep");
  testing::emit(service, "close 1 2");
  // Signals arrive in the order sent, so the two dropped ones came first.
  EXPECT_EQ(takeSignals(bus, 2), (std::vector<NotificationSignal>{
                                     {.kind = Kind::actionInvoked, .id = 1, .actionKey = "keep"},
                                     {.kind = Kind::closed, .id = 1, .closedReason = 2}}));
  // Once closed, the id is no longer ours: the action sent now is dropped
  // before the close of the next notification comes.
  testing::emit(service, "action 1 quit");
  const auto second = bus.show({.summary = "Second", .body = "Taken back."});
  ASSERT_TRUE(second) << second.failure;
  EXPECT_EQ(*second.value, 2u);
  const auto withdrawn = bus.withdraw(2);
  ASSERT_TRUE(withdrawn) << withdrawn.failure;
  EXPECT_TRUE(*withdrawn.value);
  EXPECT_EQ(calls().back(), nlohmann::json({{"method", "CloseNotification"}, {"id", 2}}));
  EXPECT_EQ(takeSignals(bus, 1),
            (std::vector<NotificationSignal>{{.kind = Kind::closed, .id = 2, .closedReason = 3}}));
  EXPECT_FALSE(*bus.withdraw(99).value) << "not ours: nothing is asked";
}

TEST_F(DesktopNotificationsTest, FindsTheUserBusInTheRuntimeFolderAndSaysWhenThereIsNone) {
  auto service = bus_->startNotificationService(dir_ / "calls.jsonl");
  // Where systemd's user manager puts it: $XDG_RUNTIME_DIR/bus.
  auto found =
      NotificationBus::connect(Environment({{"XDG_RUNTIME_DIR", (dir_ / "run").string()}}));
  ASSERT_TRUE(found) << found.failure;
  EXPECT_TRUE(found.value->show({.summary = "Found", .body = "By the runtime folder."}));

  std::filesystem::create_directories(dir_ / "empty");
  const auto none =
      NotificationBus::connect(Environment({{"XDG_RUNTIME_DIR", (dir_ / "empty").string()}}));
  EXPECT_FALSE(none);
  EXPECT_THAT(none.failure, HasSubstr("there is no session bus"));
  EXPECT_THAT(NotificationBus::connect(Environment()).failure, HasSubstr("no session bus"));
}

TEST_F(DesktopNotificationsTest, AMissingHungOrVanishedServiceOrBusIsAValueInTime) {
  auto connection = NotificationBus::connect(sessionBus(), 700ms);
  ASSERT_TRUE(connection) << connection.failure;
  NotificationBus& bus = *connection.value;
  EXPECT_THAT(bus.show({.summary = "Nobody", .body = "listens."}).failure,
              HasSubstr("no notification service runs on the session bus"));

  auto service = bus_->startNotificationService(dir_ / "calls.jsonl");
  ASSERT_TRUE(bus.show({.summary = "Someone", .body = "listens."}));
  // A service that stops answering: the call gives up after its timeout.
  ASSERT_EQ(::kill(service.pid(), SIGSTOP), 0);
  const auto began = std::chrono::steady_clock::now();
  const auto hung = bus.show({.summary = "Hung", .body = "service."});
  EXPECT_LT(std::chrono::steady_clock::now() - began, 3s);
  EXPECT_THAT(hung.failure, HasSubstr("didn't answer within 1 s"));
  EXPECT_TRUE(bus.connected());
  service.kill();

  // The bus itself goes away: the connection says so, and nothing hangs.
  bus_->kill();
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (bus.connected() && std::chrono::steady_clock::now() < deadline) {
    bus.take();
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_FALSE(bus.connected());
  EXPECT_EQ(bus.descriptor(), -1);
  EXPECT_FALSE(bus.show({.summary = "Gone", .body = "bus."}));
  EXPECT_THAT(NotificationBus::connect(sessionBus(), 300ms).failure, HasSubstr("can't be reached"));
}

TEST_F(DesktopNotificationsTest, ABusThatNeverAnswersIsGivenUpOnInTime) {
  // A socket that takes connections into its backlog and never says a word.
  const auto path = dir_ / "silent";
  const platform::UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.string().copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener.get(), 4), 0);
  const auto began = std::chrono::steady_clock::now();
  const auto silent = NotificationBus::connect(
      Environment({{"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + path.string()}}), 300ms);
  EXPECT_LT(std::chrono::steady_clock::now() - began, 2s);
  EXPECT_THAT(silent.failure, HasSubstr("didn't answer within 1 s"));
}

}  // namespace
}  // namespace glimmet::platform
