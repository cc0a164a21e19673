// The companion's rhythm on the steady clock: one look a second without
// catching up, the heartbeat every 30 s until it is written, new records
// within the second, dropped ones with the heartbeat.
#include "logic/companion/companion_schedule.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

using namespace std::chrono_literals;
using Pending = CompanionSchedule::Pending;

const CompanionSchedule::Time kStart{std::chrono::hours(1000)};

TEST(CompanionSchedule, LooksEverySecondAndStartsAtOnceAfterALookThatOverran) {
  EXPECT_EQ(CompanionSchedule::nextLook(kStart, kStart + 20ms), kStart + 1s);
  // 2,000 new processes took 1.5 s to read: the next look follows at once,
  // and the three that were missed are not run back to back.
  EXPECT_EQ(CompanionSchedule::nextLook(kStart, kStart + 1500ms), kStart + 1500ms);
}

TEST(CompanionSchedule, TheHeartbeatIsDueAtStartThenEveryThirtySecondsUntilWritten) {
  CompanionSchedule schedule(kStart);
  EXPECT_TRUE(schedule.heartbeatDue(kStart));
  schedule.heartbeatWritten(kStart);
  EXPECT_FALSE(schedule.heartbeatDue(kStart + 29s));
  EXPECT_TRUE(schedule.heartbeatDue(kStart + 30s));
  // A failed write leaves it due: it is tried at every look until it works.
  EXPECT_TRUE(schedule.heartbeatDue(kStart + 31s));
  schedule.heartbeatWritten(kStart + 31s);
  EXPECT_FALSE(schedule.heartbeatDue(kStart + 60s));
}

TEST(CompanionSchedule, NewRecordsAreWrittenWithinTheSecondDroppedOnesWithTheHeartbeat) {
  CompanionSchedule schedule(kStart);
  EXPECT_FALSE(schedule.ancestryDue(Pending::nothing, kStart));
  EXPECT_TRUE(schedule.ancestryDue(Pending::dropped, kStart)) << "the first write is never held";
  EXPECT_TRUE(schedule.ancestryDue(Pending::added, kStart));
  schedule.ancestryWritten(kStart);
  EXPECT_FALSE(schedule.ancestryDue(Pending::added, kStart + 999ms)) << "at most once a second";
  EXPECT_TRUE(schedule.ancestryDue(Pending::added, kStart + 1s));
  EXPECT_FALSE(schedule.ancestryDue(Pending::dropped, kStart + 29s));
  EXPECT_TRUE(schedule.ancestryDue(Pending::dropped, kStart + 30s));
}

}  // namespace
}  // namespace glimmet
