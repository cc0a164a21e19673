// The disk settings record: defaults, clamping instead of rejection, all keys out.
#include "core/settings/disk_rules.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

TEST(DiskRules, ClampsOutOfBoundsNumbersToTheNearestBound) {
  const auto rules = DiskRules::fromJson(nlohmann::json::parse(
      R"({"staleProjectDays": 2, "maxWalkers": 0, "discoveryDepth": 40, "agentHistoryDays": 9999})"));
  ASSERT_TRUE(rules);
  EXPECT_EQ(rules->staleProjectDays, 7);
  EXPECT_EQ(rules->maxWalkers, 1);
  EXPECT_EQ(rules->discoveryDepth, 12);
  EXPECT_EQ(rules->agentHistoryDays, 3650);
  EXPECT_EQ(DiskRules::fromJson(nlohmann::json::object()), DiskRules());
  EXPECT_FALSE(DiskRules::fromJson(nlohmann::json::parse(R"({"extraRoots": "~/src"})")));
}

TEST(DiskRules, EncodesAllTenKeysAndReadsThemBack) {
  DiskRules rules;
  rules.protectedPaths = {"/home/me/keep"};
  rules.maxWalkers = 8;
  const auto json = rules.toJson();
  EXPECT_EQ(json.size(), 10u);
  EXPECT_EQ(DiskRules::fromJson(json), rules);
}

}  // namespace
}  // namespace glimmet
