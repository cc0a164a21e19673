#include "core/companion/companion_state.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

SystemTime at(std::string_view text) {
  return *parseIso8601(text);
}

TEST(CompanionState, RoundTripsWithAndWithoutTheLastReap) {
  CompanionState state{4242, at("2026-12-08T10:00:00Z"), at("2026-12-08T10:05:30Z"), 2, 17, {}};
  EXPECT_EQ(CompanionState::fromJson(state.toJson()), state);
  state.lastReap = CompanionReap{at("2026-12-08T10:04:00Z"), "sessionEnd", false, 3, 2};
  const auto json = state.toJson();
  EXPECT_EQ(json["lastReap"]["trigger"], "sessionEnd");
  EXPECT_EQ(json["startedAt"], "2026-12-08T10:00:00Z");
  EXPECT_EQ(CompanionState::fromJson(json), state);
}

TEST(CompanionState, AnyFaultMakesTheWholeFileUnreadable) {
  const CompanionState state{4242,
                             at("2026-12-08T10:00:00Z"),
                             at("2026-12-08T10:05:30Z"),
                             0,
                             0,
                             CompanionReap{at("2026-12-08T10:04:00Z"), "login", true, 1, 0}};
  const auto good = state.toJson();
  for (const auto& [key, value] :
       std::vector<std::pair<std::string, nlohmann::json>>{{"pid", -1},
                                                           {"pid", 5000000000LL},
                                                           {"pid", "42"},
                                                           {"startedAt", "yesterday"},
                                                           {"sessionsWatched", -3},
                                                           {"ancestryRecords", 1.5},
                                                           {"lastReap", "none"}}) {
    auto bad = good;
    bad[key] = value;
    EXPECT_FALSE(CompanionState::fromJson(bad)) << key << " = " << value;
  }
  auto noTrigger = good;
  noTrigger["lastReap"].erase("trigger");
  EXPECT_FALSE(CompanionState::fromJson(noTrigger));
  EXPECT_FALSE(CompanionState::fromJson(nlohmann::json::array()));
}

}  // namespace
}  // namespace glimmet
