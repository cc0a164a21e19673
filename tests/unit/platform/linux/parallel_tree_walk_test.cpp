// walkTreeInParallel over hostile trees, with several workers sharing them:
// every entry once, no link followed, no FIFO opened, refusals noted, and a
// tree changing under the workers.
#include "platform/parallel_tree_walk.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>

#include "support/hostile_tree.h"
#include "support/temp_dir.h"

namespace glimmet::platform {
namespace {

namespace fs = std::filesystem;
using testing::describeEntry;
using testing::sortedLines;

constexpr size_t kWalkers = 4;

std::string kindName(const FileStatus* status) {
  // Folders are known from the listing and never stat'ed.
  return status == nullptr ? "dir" : testing::kindName(status->kind);
}

struct Walked {
  std::string lines;  ///< "kind firstComponent > name" per visit, sorted
  ParallelWalkOutcome outcome;
};

// A visit names its entry only by its first component and its own name, so
// that is what a line holds. `meddle` runs under the same lock as the record.
Walked walkAll(const fs::path& root,
               const std::function<void(std::string_view name, const FileStatus*)>& meddle = {}) {
  std::mutex mutex;
  struct Seen {
    size_t firstComponent;
    std::string name;
    std::string kind;
  };
  std::vector<Seen> seen;
  std::vector<std::string> badWorkers;
  auto outcome = walkTreeInParallel(
      root, kWalkers,
      [&](size_t worker, const TallyEntry& entry) {
        std::lock_guard lock(mutex);
        if (worker >= kWalkers) badWorkers.push_back("worker " + std::to_string(worker) + "\n");
        seen.push_back({entry.firstComponent, std::string(entry.name), kindName(entry.status)});
        if (meddle) meddle(entry.name, entry.status);
      },
      [] { return false; });
  std::vector<std::string> lines;
  for (const auto& entry : seen) {
    const std::string component = entry.firstComponent < outcome.firstComponents.size()
                                      ? outcome.firstComponents[entry.firstComponent]
                                      : "?";
    lines.push_back(describeEntry(entry.kind, component + " > " + entry.name));
  }
  for (auto& line : badWorkers) lines.push_back(line);
  return {sortedLines(std::move(lines)), std::move(outcome)};
}

std::string expectedLines(const std::vector<testing::TreeEntry>& entries) {
  std::vector<std::string> lines;
  for (const auto& entry : entries) {
    const auto slash = entry.path.find('/');
    const auto name = entry.path.substr(entry.path.rfind('/') + 1);
    lines.push_back(describeEntry(entry.kind, entry.path.substr(0, slash) + " > " + name));
  }
  return sortedLines(std::move(lines));
}

// What a walk saw, then whether it was refused anything.
std::string describeWalk(const fs::path& root) {
  const auto walk = walkAll(root);
  return walk.lines + "noAccess " + std::to_string(walk.outcome.noAccess) + "\n";
}

TEST(WalkTreeInParallel, ReportsHostileEntriesOnceAndFollowsNoLink) {
  testing::TempDir dir;
  const auto expected = expectedLines(testing::makeHostileTree(dir / "tree"));
  // In a child: a walker that opened the FIFO would wait there for a writer.
  const auto walked = testing::runInChild([&] { return describeWalk(dir / "tree"); });
  ASSERT_TRUE(walked) << "the walk hung, crashed, or could not run as user 65534";
  EXPECT_EQ(*walked, expected + "noAccess 0\n");
  EXPECT_EQ(walkAll(dir / "tree/to-outside").lines, "");
}

TEST(WalkTreeInParallel, SharesABroadAndDeepTreeVisitingEachEntryOnce) {
  testing::TempDir dir;
  std::vector<testing::TreeEntry> entries;
  for (int folder = 0; folder < 12; ++folder) {
    const std::string name = "f" + std::to_string(folder);
    entries.push_back({"dir", name});
    for (int file = 0; file < 40; ++file) {
      const std::string path = name + "/x" + std::to_string(file);
      dir.write("tree/" + path, "x");
      entries.push_back({"file", path});
    }
  }
  // Far deeper than walkTree goes.
  fs::path deep = dir / "tree";
  std::string relative;
  for (int level = 0; level < 300; ++level) {
    deep /= "d";
    relative += relative.empty() ? "d" : "/d";
    entries.push_back({"dir", relative});
  }
  fs::create_directories(deep);
  std::ofstream(deep / "leaf") << "x";
  entries.push_back({"file", relative + "/leaf"});

  EXPECT_EQ(walkAll(dir / "tree").lines, expectedLines(entries));
}

TEST(WalkTreeInParallel, FoldersItMayNotReadSetNoAccessAndTheWalkGoesOn) {
  testing::TempDir dir;
  const testing::RestrictedTree restricted(dir / "tree");
  const auto walked = testing::runInChild(
      [&] { return describeWalk(dir / "tree") + "locked: " + describeWalk(dir / "tree/locked"); });
  ASSERT_TRUE(walked) << "the walk hung, crashed, or could not run as user 65534";
  EXPECT_EQ(*walked,
            "dir listable > listable\ndir locked > locked\nfile visible.txt > visible.txt\n"
            "noAccess 1\nlocked: noAccess 1\n");
}

TEST(WalkTreeInParallel, FoldersThatVanishOrTurnIntoLinksBeforeTheyAreOpenedAreSkipped) {
  testing::TempDir dir;
  dir.write("outside/secret", "s");
  dir.write("tree/swap/inside.txt", "i");
  dir.write("tree/doomed/gone.txt", "g");
  for (int i = 0; i < 100; ++i) dir.write("tree/victims/v" + std::to_string(i), "v");

  int victimsSeen = 0;
  const auto walked = walkAll(dir / "tree", [&](std::string_view name, const FileStatus* status) {
    if (status == nullptr && name == "swap") {
      // Listed as a folder; by the time a worker opens it, it leads out.
      fs::rename(dir / "tree/swap", dir / "moved-away");
      fs::create_directory_symlink(dir / "outside", dir / "tree/swap");
    } else if (status == nullptr && name == "doomed") {
      fs::remove_all(dir / "tree/doomed");
    } else if (status != nullptr && name.starts_with("v") && ++victimsSeen == 1) {
      // The rest of the listing names files that are no longer there.
      for (const auto& victim : fs::directory_iterator(dir / "tree/victims")) {
        if (victim.path().filename().string() != name) fs::remove(victim.path());
      }
    }
  });
  EXPECT_EQ(victimsSeen, 1);
  for (const auto* never : {"secret", "inside.txt", "gone.txt"}) {
    EXPECT_EQ(walked.lines.find(never), std::string::npos) << never << " in\n" << walked.lines;
  }
  EXPECT_FALSE(walked.outcome.noAccess);
  EXPECT_FALSE(walked.outcome.stopped);
}

}  // namespace
}  // namespace glimmet::platform
