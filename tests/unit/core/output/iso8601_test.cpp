#include "core/output/iso8601.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

using namespace std::chrono;

SystemTime at(int64_t seconds) {
  return SystemTime{std::chrono::seconds{seconds}};
}

TEST(Iso8601, FormatsUtcWithWholeSeconds) {
  EXPECT_EQ(formatIso8601(at(0)), "1970-01-01T00:00:00Z");
  EXPECT_EQ(formatIso8601(at(1796569667)), "2026-12-06T15:07:47Z");
  EXPECT_EQ(formatIso8601(at(1796569667) + milliseconds{999}), "2026-12-06T15:07:47Z");
}

TEST(Iso8601, ParsesZonesFractionsAndEitherCase) {
  EXPECT_EQ(parseIso8601("2026-12-06T15:07:47Z"), at(1796569667));
  EXPECT_EQ(parseIso8601("2026-12-06t15:07:47z"), at(1796569667));
  EXPECT_EQ(parseIso8601("2026-12-06T15:07:47.987Z"), at(1796569667));
  EXPECT_EQ(parseIso8601("2026-12-06T17:07:47+02:00"), at(1796569667));
  EXPECT_EQ(parseIso8601("2026-12-06T09:37:47-05:30"), at(1796569667));
}

TEST(Iso8601, RejectsAnythingElse) {
  for (const char* text :
       {"", "2026-12-06", "2026-12-06T15:07:47", "2026-02-30T00:00:00Z", "2026-12-06T24:00:00Z",
        "2026-12-06T15:07:47.Z", "2026-12-06T15:07:47+0200", "2026-12-06T15:07:47Zjunk",
        "2026-12-06 15:07:47Z"}) {
    EXPECT_FALSE(parseIso8601(text)) << text;
  }
}

}  // namespace
}  // namespace glimmet
