#include <gtest/gtest.h>

#include "platform/paths.h"

namespace glimmet {
namespace {

TEST(SharedDataDir, FollowsXdgDataHomeOnlyWhenAbsolute) {
  const auto home = Environment().with("HOME", "/home/me");
  EXPECT_EQ(platform::sharedDataDir(home), "/home/me/.local/share/Glimmet");
  EXPECT_EQ(platform::sharedDataDir(home.with("XDG_DATA_HOME", "/data")), "/data/Glimmet");
  EXPECT_EQ(platform::sharedDataDir(home.with("XDG_DATA_HOME", "relative/data")),
            "/home/me/.local/share/Glimmet");
  EXPECT_EQ(platform::sharedDataDir(home.with("XDG_DATA_HOME", "")),
            "/home/me/.local/share/Glimmet");
}

TEST(DataFileCandidates, BundleLayoutsFirstThenTheInstallPrefix) {
  const auto candidates = platform::dataFileCandidates("/opt/glimmet/bin", "signatures.json");
  ASSERT_EQ(candidates.size(), 3u);
  EXPECT_EQ(candidates[0], "/opt/glimmet/bin/../Resources/signatures.json");
  EXPECT_EQ(candidates[1], "/opt/glimmet/bin/Glimmet.app/Contents/Resources/signatures.json");
  EXPECT_EQ(candidates[2], "/opt/glimmet/bin/../share/glimmet/signatures.json");
}

}  // namespace
}  // namespace glimmet
