#include "core/output/byte_format.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

TEST(FileStyleBytes, SmallCountsAreWrittenInBytes) {
  EXPECT_EQ(fileStyleBytes(0), "Zero KB");
  EXPECT_EQ(fileStyleBytes(1), "1 byte");
  EXPECT_EQ(fileStyleBytes(2), "2 bytes");
  EXPECT_EQ(fileStyleBytes(999), "999 bytes");
}

TEST(FileStyleBytes, RoundsHalfToEvenWithDigitsByMagnitude) {
  EXPECT_EQ(fileStyleBytes(1000), "1 KB");
  EXPECT_EQ(fileStyleBytes(1500), "2 KB");
  EXPECT_EQ(fileStyleBytes(2500), "2 KB");
  EXPECT_EQ(fileStyleBytes(1'250'000), "1.2 MB");
  EXPECT_EQ(fileStyleBytes(1'500'000), "1.5 MB");
  EXPECT_EQ(fileStyleBytes(2'000'000), "2 MB");
  EXPECT_EQ(fileStyleBytes(1'234'567'890), "1.23 GB");
  EXPECT_EQ(fileStyleBytes(2'500'000'000), "2.5 GB");
  EXPECT_EQ(fileStyleBytes(10'000'000'000), "10 GB");
}

TEST(FileStyleBytes, RoundingUpToAThousandMovesToTheNextUnit) {
  EXPECT_EQ(fileStyleBytes(999'999), "1 MB");
  EXPECT_EQ(fileStyleBytes(999'950'000), "1 GB");
}

TEST(FileStyleBytes, HugeValuesStayInExabytes) {
  EXPECT_EQ(fileStyleBytes(UINT64_MAX), "18.45 EB");
}

TEST(MemoryStyleBytes, UsesBinaryUnits) {
  EXPECT_EQ(memoryStyleBytes(1023), "1023 bytes");
  EXPECT_EQ(memoryStyleBytes(1024), "1 KB");
  EXPECT_EQ(memoryStyleBytes(1536 * 1024), "1.5 MB");
  EXPECT_EQ(memoryStyleBytes(3ull * 1024 * 1024 * 1024), "3 GB");
}

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

}  // namespace
}  // namespace glimmet
