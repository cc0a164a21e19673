// A failure the companion meets every second is said once, said again only
// when it changes, and its end is said once.
#include "logic/companion/failure_notes.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

TEST(FailureNotes, SaysAFailureOnceAgainWhenItChangesAndItsEndOnce) {
  FailureNotes notes;
  EXPECT_FALSE(notes.succeeded("ancestry.json")) << "nothing had failed";
  EXPECT_TRUE(notes.failed("ancestry.json", "Permission denied"));
  for (int second = 0; second < 60; ++second)
    EXPECT_FALSE(notes.failed("ancestry.json", "Permission denied"));
  EXPECT_TRUE(notes.failing("ancestry.json"));
  EXPECT_TRUE(notes.failed("ancestry.json", "No space left on device")) << "another failure";
  EXPECT_TRUE(notes.failed("mcp-heartbeat.json", "No space left on device"))
      << "each concern on its own";

  EXPECT_TRUE(notes.succeeded("ancestry.json"));
  EXPECT_FALSE(notes.succeeded("ancestry.json"));
  EXPECT_FALSE(notes.failing("ancestry.json"));
  EXPECT_TRUE(notes.failing("mcp-heartbeat.json"));
  EXPECT_TRUE(notes.failed("ancestry.json", "Permission denied")) << "failing again is news";
}

}  // namespace
}  // namespace glimmet
