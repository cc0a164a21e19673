#include "core/ports/port_health_tracker.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

using platform::ProbeOutcome;

TEST(PortHealthTracker, CallsAPortHungOnlyAfterStrikesInARow) {
  PortHealthTracker tracker;
  EXPECT_EQ(tracker.health(3000), PortHealth::unknown);
  EXPECT_EQ(tracker.record(3000, ProbeOutcome::http), PortHealth::spokeHTTP);
  EXPECT_EQ(tracker.record(3000, ProbeOutcome::noReply), PortHealth::spokeHTTP);
  EXPECT_EQ(tracker.record(3000, ProbeOutcome::noReply), PortHealth::spokeHTTP);
  EXPECT_EQ(tracker.strikes(3000), 2);
  EXPECT_EQ(tracker.record(3000, ProbeOutcome::tcpOnly), PortHealth::responding);
  EXPECT_EQ(tracker.strikes(3000), 0);
  for (int i = 0; i < PortHealthTracker::kStrikesToHung; ++i) {
    tracker.record(3000, ProbeOutcome::unreachable);
  }
  EXPECT_EQ(tracker.health(3000), PortHealth::hung);
  EXPECT_EQ(tracker.health(5432), PortHealth::unknown);
  tracker.forget(3000);
  EXPECT_EQ(tracker.health(3000), PortHealth::unknown);
}

}  // namespace
}  // namespace glimmet
