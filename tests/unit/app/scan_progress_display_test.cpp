// The progress display draws its line in place while a scan runs and leaves
// the terminal's line empty when it is done; a scan that ends at once shows
// nothing.
#include "app/scan_progress_display.h"

#include <gtest/gtest.h>

#include <sstream>
#include <thread>

namespace glimmet {
namespace {

TEST(ScanProgressDisplay, RedrawsOneLineInPlaceAndErasesItAtTheEnd) {
  DiskScanProgress progress;
  std::ostringstream terminal;
  {
    const ScanProgressDisplay display(terminal, progress, "/home/ada", 80);
    progress.folderListed();
    progress.counted(4096);
    progress.entered("/home/ada/Dev/web/node_modules");
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
  }
  const auto text = terminal.str();
  EXPECT_TRUE(text.starts_with("\r\x1b[KScanning: 1 folder, 4 KB so far · ~/Dev/web/node_modules"))
      << text;
  EXPECT_TRUE(text.ends_with("node_modules\r\x1b[K")) << text;
  EXPECT_EQ(text.find('\n'), std::string::npos);
}

TEST(ScanProgressDisplay, AScanThatEndsAtOnceShowsNothing) {
  DiskScanProgress progress;
  std::ostringstream terminal;
  { const ScanProgressDisplay display(terminal, progress, "/home/ada", 80); }
  EXPECT_EQ(terminal.str(), "");
}

}  // namespace
}  // namespace glimmet
