// walkTreesInParallel over hostile trees, with several workers sharing them:
// every entry once, no link followed, no FIFO opened, refusals noted, and a
// tree changing under the workers.
#include "platform/parallel_tree_walk.h"

#include <gtest/gtest.h>

#include <atomic>
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

struct WalkOutcome {
  bool noAccess = false;
  bool stopped = false;
};

struct Walked {
  std::string lines;  ///< "kind firstComponent > name" per visit, sorted
  WalkOutcome outcome;
};

// The first component below the root, carried by every folder beneath it.
struct FirstComponent : WalkScope {
  explicit FirstComponent(std::string component) : name(std::move(component)) {}
  std::string name;  ///< empty at the root
};

// Records every entry as the walk hands it over: folders from the listing
// (status null: never stat'ed), everything else with its status.
class Recorder : public TreeVisitor {
 public:
  explicit Recorder(const std::function<void(std::string_view, const FileStatus*)>& meddle)
      : meddle_(meddle) {}

  void folder(size_t worker, const WalkScopePtr& scope, std::span<const ListedEntry> entries,
              std::span<WalkScopePtr> enter) override {
    const auto& here = static_cast<const FirstComponent&>(*scope);
    for (size_t i = 0; i < entries.size(); ++i) {
      if (!entries[i].folder) continue;
      record(worker, here, entries[i].name, nullptr);
      enter[i] = here.name.empty() ? std::make_shared<FirstComponent>(std::string(entries[i].name))
                                   : scope;
    }
  }
  void file(size_t worker, WalkScope& scope, size_t, std::string_view name,
            const FileStatus& status) override {
    record(worker, static_cast<const FirstComponent&>(scope), name, &status);
  }
  void refused(WalkScope&) override { noAccess = true; }
  bool stopped() override { return false; }

  std::vector<std::string> lines;
  std::atomic<bool> noAccess{false};

 private:
  void record(size_t worker, const FirstComponent& here, std::string_view name,
              const FileStatus* status) {
    std::lock_guard lock(mutex_);
    if (worker >= kWalkers) lines.push_back("worker " + std::to_string(worker) + "\n");
    const std::string component = here.name.empty() ? std::string(name) : here.name;
    lines.push_back(describeEntry(kindName(status), component + " > " + std::string(name)));
    if (meddle_) meddle_(name, status);
  }
  std::mutex mutex_;
  const std::function<void(std::string_view, const FileStatus*)>& meddle_;
};

// A visit names its entry only by its first component and its own name, so
// that is what a line holds. `meddle` runs under the same lock as the record.
Walked walkAll(const fs::path& root,
               const std::function<void(std::string_view name, const FileStatus*)>& meddle = {}) {
  Recorder recorder(meddle);
  const bool stopped = walkTreesInParallel({{root.string(), std::make_shared<FirstComponent>("")}},
                                           kWalkers, recorder);
  return {sortedLines(std::move(recorder.lines)), {recorder.noAccess.load(), stopped}};
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

TEST(WalkTreesInParallel, ReportsHostileEntriesOnceAndFollowsNoLink) {
  testing::TempDir dir;
  const auto expected = expectedLines(testing::makeHostileTree(dir / "tree"));
  // In a child: a walker that opened the FIFO would wait there for a writer.
  const auto walked = testing::runInChild([&] { return describeWalk(dir / "tree"); });
  ASSERT_TRUE(walked) << "the walk hung, crashed, or could not run as user 65534";
  EXPECT_EQ(*walked, expected + "noAccess 0\n");
  EXPECT_EQ(walkAll(dir / "tree/to-outside").lines, "");
}

TEST(WalkTreesInParallel, SharesABroadAndDeepTreeVisitingEachEntryOnce) {
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
  // A folder whose listing takes several reads of the walk's buffer: each
  // read that fills it must be followed by another.
  entries.push_back({"dir", "wide"});
  for (int file = 0; file < 2500; ++file) {
    const std::string path = "wide/" + std::string(100, 'n') + std::to_string(file);
    dir.write("tree/" + path, "");
    entries.push_back({"file", path});
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

TEST(WalkTreesInParallel, FoldersItMayNotReadSetNoAccessAndTheWalkGoesOn) {
  testing::TempDir dir;
  const testing::RestrictedTree restricted(dir / "tree");
  const auto walked = testing::runInChild(
      [&] { return describeWalk(dir / "tree") + "locked: " + describeWalk(dir / "tree/locked"); });
  ASSERT_TRUE(walked) << "the walk hung, crashed, or could not run as user 65534";
  EXPECT_EQ(*walked,
            "dir listable > listable\ndir locked > locked\nfile visible.txt > visible.txt\n"
            "noAccess 1\nlocked: noAccess 1\n");
}

TEST(WalkTreesInParallel, FoldersThatVanishOrTurnIntoLinksBeforeTheyAreOpenedAreSkipped) {
  testing::TempDir dir;
  dir.write("outside/secret", "s");
  dir.write("tree/swap/inside.txt", "i");
  dir.write("tree/doomed/gone.txt", "g");
  for (int i = 0; i < 100; ++i) dir.write("tree/victims/v" + std::to_string(i), "v");
  fs::create_directories(dir / "tree/victims/trigger");

  int victimsSeen = 0;
  const auto walked = walkAll(dir / "tree", [&](std::string_view name, const FileStatus* status) {
    if (status == nullptr && name == "swap") {
      // Listed as a folder; by the time a worker opens it, it leads out.
      fs::rename(dir / "tree/swap", dir / "moved-away");
      fs::create_directory_symlink(dir / "outside", dir / "tree/swap");
    } else if (status == nullptr && name == "doomed") {
      fs::remove_all(dir / "tree/doomed");
    } else if (status == nullptr && name == "trigger") {
      // Handed over with the listing of victims: every file it names is gone
      // before a worker stats it.
      for (const auto& victim : fs::directory_iterator(dir / "tree/victims"))
        if (victim.path().filename() != "trigger") fs::remove(victim.path());
    } else if (status != nullptr && name.starts_with("v")) {
      ++victimsSeen;
    }
  });
  EXPECT_EQ(victimsSeen, 0);
  for (const auto* never : {"secret", "inside.txt", "gone.txt"}) {
    EXPECT_EQ(walked.lines.find(never), std::string::npos) << never << " in\n" << walked.lines;
  }
  EXPECT_FALSE(walked.outcome.noAccess);
  EXPECT_FALSE(walked.outcome.stopped);
}

}  // namespace
}  // namespace glimmet::platform
