// walkTree over hostile trees: names that are no text, links and loops that
// must never be followed, FIFOs and sockets that must never be opened, folders
// it may not read, nesting past its depth bound, and a tree changing under it.
#include "platform/tree_walk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "support/hostile_tree.h"
#include "support/temp_dir.h"

namespace glimmet::platform {
namespace {

namespace fs = std::filesystem;
using testing::describeEntry;
using testing::sortedLines;

struct Walked {
  std::string lines;  ///< one describeEntry line per visit, sorted
  WalkOutcome outcome;
};

// Walks `root` descending everywhere; an entry whose depth or first component
// disagrees with its path adds a line saying so.
Walked walkAll(const fs::path& root, int maxDepth = 128,
               const std::function<void(const WalkEntry&)>& meddle = {}) {
  std::vector<std::string> lines;
  const std::string prefix = root.string() + "/";
  const auto outcome = walkTree(
      root,
      [&](const WalkEntry& entry) {
        const std::string path = entry.path();
        const std::string relative = path.starts_with(prefix) ? path.substr(prefix.size()) : path;
        lines.push_back(describeEntry(testing::kindName(entry.status.kind), relative));
        if (entry.firstComponent != relative.substr(0, relative.find('/')) ||
            entry.depth != 1 + std::count(relative.begin(), relative.end(), '/')) {
          lines.push_back(describeEntry("misplaced", relative));
        }
        if (meddle) meddle(entry);
        return WalkAnswer::descend;
      },
      maxDepth);
  return {sortedLines(std::move(lines)), outcome};
}

std::string expectedLines(const std::vector<testing::TreeEntry>& entries) {
  std::vector<std::string> lines;
  for (const auto& entry : entries) lines.push_back(describeEntry(entry.kind, entry.path));
  return sortedLines(std::move(lines));
}

// What a walk saw, then whether it was refused anything.
std::string describeWalk(const fs::path& root) {
  const auto walk = walkAll(root);
  return walk.lines + "noAccess " + std::to_string(walk.outcome.noAccess) + "\n";
}

TEST(WalkTree, ReportsHostileEntriesAsTheyAreAndFollowsNoLink) {
  testing::TempDir dir;
  const auto expected = expectedLines(testing::makeHostileTree(dir / "tree"));
  // In a child: a walker that opened the FIFO would wait there for a writer.
  const auto walked = testing::runInChild([&] { return describeWalk(dir / "tree"); });
  ASSERT_TRUE(walked) << "the walk hung, crashed, or could not run as user 65534";
  EXPECT_EQ(*walked, expected + "noAccess 0\n");

  // A root that is itself a link is not followed either.
  const auto throughLink = walkAll(dir / "tree/to-outside");
  EXPECT_EQ(throughLink.lines, "");
  EXPECT_FALSE(throughLink.outcome.noAccess);
}

TEST(WalkTree, GoesNoDeeperThanItsBound) {
  testing::TempDir dir;
  fs::path deepest = dir / "tree";
  for (int i = 0; i < 200; ++i) deepest /= "d";
  fs::create_directories(deepest);
  std::ofstream(deepest / "leaf") << "x";

  const auto depthsSeen = [&](int maxDepth) {
    std::map<int, int> depths;
    walkTree(
        dir / "tree",
        [&](const WalkEntry& entry) {
          ++depths[entry.depth];
          return WalkAnswer::descend;
        },
        maxDepth);
    return depths;
  };
  // Each level holds one folder; the one at the bound is seen but not entered.
  const auto bounded = depthsSeen(3);
  EXPECT_EQ(bounded, (std::map<int, int>{{1, 1}, {2, 1}, {3, 1}}));
  const auto byDefault = depthsSeen(128);
  EXPECT_EQ(byDefault.size(), 128u);
  EXPECT_EQ(byDefault.rbegin()->first, 128);
}

TEST(WalkTree, FoldersItMayNotReadSetNoAccessAndTheWalkGoesOn) {
  testing::TempDir dir;
  const testing::RestrictedTree restricted(dir / "tree");
  const auto walked = testing::runInChild(
      [&] { return describeWalk(dir / "tree") + "locked: " + describeWalk(dir / "tree/locked"); });
  ASSERT_TRUE(walked) << "the walk hung, crashed, or could not run as user 65534";
  EXPECT_EQ(*walked,
            "dir listable\ndir locked\nfile visible.txt\nnoAccess 1\n"
            "locked: noAccess 1\n");
}

TEST(WalkTree, EntriesThatVanishOrTurnIntoLinksMidWalkAreSkipped) {
  testing::TempDir dir;
  dir.write("outside/secret", "s");
  dir.write("tree/swap/inside.txt", "i");
  for (int i = 0; i < 100; ++i) dir.write("tree/victims/v" + std::to_string(i), "v");

  int victimsSeen = 0;
  const auto walked = walkAll(dir / "tree", 128, [&](const WalkEntry& entry) {
    if (entry.depth == 1 && entry.name == "swap") {
      // Between the walker's stat and its open, the folder becomes a link out.
      fs::rename(dir / "tree/swap", dir / "moved-away");
      fs::create_directory_symlink(dir / "outside", dir / "tree/swap");
    }
    if (entry.depth == 2 && entry.firstComponent == "victims" && ++victimsSeen == 1) {
      // Names the walker has already listed disappear before it stats them.
      for (const auto& victim : fs::directory_iterator(dir / "tree/victims")) {
        if (victim.path().filename().string() != entry.name) fs::remove(victim.path());
      }
    }
  });
  EXPECT_EQ(victimsSeen, 1);
  EXPECT_EQ(walked.lines.find("secret"), std::string::npos) << walked.lines;
  EXPECT_EQ(walked.lines.find("inside.txt"), std::string::npos) << walked.lines;
  EXPECT_FALSE(walked.outcome.noAccess);
  EXPECT_FALSE(walked.outcome.stopped);
}

}  // namespace
}  // namespace glimmet::platform
