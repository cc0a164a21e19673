#include "logic/status/stop_summary.h"

#include <gtest/gtest.h>

#include "core/output/byte_format.h"

namespace glimmet {
namespace {

TEST(DecimalBytes, UsesThousandsWithDigitsByMagnitude) {
  EXPECT_EQ(decimalBytes(0), "0 B");
  EXPECT_EQ(decimalBytes(512), "512 B");
  EXPECT_EQ(decimalBytes(999), "999 B");
  EXPECT_EQ(decimalBytes(1000), "1 KB");
  EXPECT_EQ(decimalBytes(900'400), "900 KB");
  EXPECT_EQ(decimalBytes(1'500'000), "1.5 MB");
  EXPECT_EQ(decimalBytes(12'300'000), "12 MB");
  EXPECT_EQ(decimalBytes(2'500'000'000), "2.50 GB");
  EXPECT_EQ(decimalBytes(12'340'000'000), "12.3 GB");
  EXPECT_EQ(decimalBytes(UINT64_MAX), "18446744073.7 GB");
}

TEST(StopSummary, NamesTheBytesAndTheDistinctPortsInOrder) {
  EXPECT_EQ(stopSummary(0, {}), std::nullopt);
  EXPECT_EQ(stopSummary(0, {5173, 3000, 3000}), "Stopping these frees ports 3000, 5173.");
  EXPECT_EQ(stopSummary(1'500'000'000, {3000}), "Stopping these frees 1.50 GB and ports 3000.");
  EXPECT_EQ(stopSummary(512, {}), "Stopping these frees 512 B.");
}

}  // namespace
}  // namespace glimmet
