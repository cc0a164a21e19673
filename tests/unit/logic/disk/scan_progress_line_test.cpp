// The progress line: counts, then as much of the path as the terminal has room for.
#include "logic/disk/scan_progress_line.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

size_t columns(const std::string& line) {
  size_t count = 0;
  for (const char c : line) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

TEST(ScanProgressLine, CountsThenThePathShownFromHomeAndNeverWiderThanTheTerminal) {
  DiskScanProgress::Snapshot progress{12345, 1'500'000, "/home/ada/Dev/web/node_modules"};
  EXPECT_EQ(scanProgressLine(progress, "/home/ada", 120),
            "Scanning: 12,345 folders, 1.5 MB so far · ~/Dev/web/node_modules");
  // A narrow terminal keeps the end of the path, where the item's name is.
  const auto narrow = scanProgressLine(progress, "/home/ada", 60);
  EXPECT_EQ(columns(narrow), 60u);
  EXPECT_TRUE(narrow.ends_with("· …/web/node_modules")) << narrow;
  // Too narrow for any of the path: the counts alone, cut if need be.
  EXPECT_EQ(scanProgressLine(progress, "/home/ada", 45), "Scanning: 12,345 folders, 1.5 MB so far");
  EXPECT_EQ(columns(scanProgressLine(progress, "/home/ada", 20)), 20u);
  // Before the walk has entered anything, and a path of several-byte characters.
  EXPECT_EQ(scanProgressLine({1, 0, ""}, "/h", 80), "Scanning: 1 folder, Zero KB so far");
  const auto wide = scanProgressLine({2, 0, "/h/ünïcödé/" + std::string(60, 'x') + "é"}, "/h", 60);
  EXPECT_EQ(columns(wide), 60u);
  EXPECT_TRUE(wide.ends_with("xé")) << wide;
}

}  // namespace
}  // namespace glimmet
