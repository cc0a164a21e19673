// The outlet without a desktop: each notification is its line on the log, why
// there is no desktop is said once, and the desktop is asked again only a
// minute after it failed.
#include "app/notification_outlet.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

namespace glimmet {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;

TEST(NotificationOutlet, WithoutADesktopTheLineIsTheAlertAndTheDesktopIsAskedAgainAMinuteLater) {
  std::ostringstream log;
  FailureNotes notes;
  int attempts = 0;
  NotificationOutlet outlet(
      [&] {
        ++attempts;
        return platform::BusAttempt<platform::NotificationBus>::failed("there is no session bus");
      },
      log, notes);
  const auto start = NotificationOutlet::Clock::now();
  EXPECT_FALSE(
      outlet.show({.summary = "Codex finished", .body = "3 min, nothing left behind."}, start));
  EXPECT_FALSE(outlet.show({.summary = "Codex finished", .body = "Again\x1b[2J."}, start + 59s));
  EXPECT_EQ(attempts, 1);
  EXPECT_EQ(log.str(),
            "Alerts are written here, not shown on the desktop: there is no session bus.\n"
            "Alert: Codex finished: 3 min, nothing left behind.\n"
            "Alert: Codex finished: Again?[2J.\n");
  EXPECT_FALSE(outlet.show({.summary = "Codex finished", .body = "Later."}, start + 60s));
  EXPECT_EQ(attempts, 2);
  EXPECT_THAT(log.str(), HasSubstr("Alert: Codex finished: Later.\n"));
  EXPECT_TRUE(outlet.signals().empty());
  EXPECT_EQ(outlet.descriptor(), -1);
}

}  // namespace
}  // namespace glimmet
