// glimmet disk scan's progress line: not for a quick scan, never in JSON,
// never on a pipe.
#include <gtest/gtest.h>

#include <fstream>

#include "support/isolated_home.h"

namespace glimmet {
namespace {

namespace fs = std::filesystem;

fs::path fixture(const testing::IsolatedHome& home) {
  const auto root = home.root() / "fixture";
  for (int folder = 0; folder < 50; ++folder) {
    const auto path = root / "Dev/web/node_modules" / ("m" + std::to_string(folder));
    fs::create_directories(path);
    for (int file = 0; file < 5; ++file) std::ofstream(path / std::to_string(file)) << "x";
  }
  std::ofstream(root / "Dev/web/package.json") << "{}";
  fs::create_directories(root / "Dev/web/.git");
  return root;
}

// How the line is drawn and erased is held by the display's own test; here,
// that a quick scan at a terminal shows nothing at all, and that JSON and a
// pipe never get it.
TEST(DiskScanProgress, AQuickScanAtATerminalShowsNoneAndJSONOrAPipeNever) {
  testing::IsolatedHome home;
  const auto root = fixture(home);

  const auto shown = home.glimmet({"disk", "scan", "--home", root.string()}, {.onTerminal = true});
  ASSERT_EQ(shown.status, 0) << shown.out;
  EXPECT_TRUE(shown.out.starts_with("Free right now")) << shown.out;

  const auto json =
      home.glimmet({"disk", "scan", "--home", root.string(), "--json"}, {.onTerminal = true});
  ASSERT_EQ(json.status, 0);
  EXPECT_EQ(json.out.find("Scanning"), std::string::npos);

  const auto piped = home.glimmet({"disk", "scan", "--home", root.string()});
  ASSERT_EQ(piped.status, 0);
  EXPECT_EQ(piped.err, "");
  EXPECT_EQ(piped.out.find("Scanning"), std::string::npos);
}

}  // namespace
}  // namespace glimmet
