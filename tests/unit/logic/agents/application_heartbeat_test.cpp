#include "logic/agents/application_heartbeat.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

using nlohmann::json;
using std::chrono::seconds;

const SystemTime kStamp = std::chrono::sys_days{std::chrono::year{2026} / 12 / 7};
const json kBeat = {{"time", "2026-12-07T00:00:00Z"}};

TEST(ApplicationHeartbeat, FreshForLessThanNinetySecondsAndFromTheFuture) {
  EXPECT_TRUE(heartbeatIsFresh(kBeat, kStamp));
  EXPECT_TRUE(heartbeatIsFresh(kBeat, kStamp + seconds(89)));
  EXPECT_FALSE(heartbeatIsFresh(kBeat, kStamp + seconds(90)));
  EXPECT_TRUE(heartbeatIsFresh(kBeat, kStamp - std::chrono::hours(24)));
}

TEST(ApplicationHeartbeat, AnUndecodableStampIsNotRunning) {
  for (const json& stamp : {json::array(), json::object(), json{{"time", 5}},
                            json{{"time", "soon"}}, json("2026-12-07T00:00:00Z")})
    EXPECT_FALSE(heartbeatIsFresh(stamp, kStamp)) << stamp.dump();
}

}  // namespace
}  // namespace glimmet
