#include "logic/status/stop_summary.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

TEST(StopSummary, NamesTheBytesAndTheDistinctPortsInOrder) {
  EXPECT_EQ(stopSummary(0, {}), std::nullopt);
  EXPECT_EQ(stopSummary(0, {5173, 3000, 3000}), "Stopping these frees ports 3000, 5173.");
  EXPECT_EQ(stopSummary(1'500'000'000, {3000}), "Stopping these frees 1.50 GB and ports 3000.");
  EXPECT_EQ(stopSummary(512, {}), "Stopping these frees 512 B.");
}

}  // namespace
}  // namespace glimmet
