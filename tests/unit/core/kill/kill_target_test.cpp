#include "core/kill/kill_target.h"

#include <gtest/gtest.h>

#include "core/kill/duration.h"

namespace glimmet {
namespace {

TEST(KillTarget, AcceptsPortsAndPIDs) {
  EXPECT_EQ(parseKillTarget(":3000"), KillTarget{PortTarget{3000}});
  EXPECT_EQ(parseKillTarget(":65535"), KillTarget{PortTarget{65535}});
  EXPECT_EQ(parseKillTarget("4242"), KillTarget{PIDTarget{4242}});
  EXPECT_EQ(parseKillTarget("2147483647"), KillTarget{PIDTarget{2147483647}});
}

TEST(KillTarget, RejectsEverythingElse) {
  for (const char* text : {"", ":", "abc", ":0", ":65536", ":30a0", "-1", "+5", " 42", "42 ",
                           "2147483648", "99999999999", "3000:", "::3000", "0x10"}) {
    EXPECT_FALSE(parseKillTarget(text)) << text;
  }
}

TEST(Duration, ParsesUnitsAndFractions) {
  EXPECT_EQ(parseDuration("0"), 0.0);
  EXPECT_EQ(parseDuration("90s"), 90.0);
  EXPECT_EQ(parseDuration("30m"), 1800.0);
  EXPECT_EQ(parseDuration("6h"), 21600.0);
  EXPECT_EQ(parseDuration("1.5h"), 5400.0);
  EXPECT_EQ(parseDuration("2d"), 172800.0);
  EXPECT_EQ(parseDuration("0m"), 0.0);
}

TEST(Duration, RejectsMissingUnitsNegativesAndJunk) {
  for (const char* text :
       {"", "90", "-1h", "h", "1.5x", "1e3s", "infh", "nanm", "1,5h", "1h ", " 1h", "+1h"}) {
    EXPECT_FALSE(parseDuration(text)) << text;
  }
}

}  // namespace
}  // namespace glimmet
