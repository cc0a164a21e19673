// The runner against a real Trash and cleanup log: a folder on the way to an
// item swapped for a link after the plan was made moves nothing, and the log
// names the item that was planned, skipped, with no Trash location.
#include "core/cleanup/cleanup_runner.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "support/temp_dir.h"

namespace glimmet {
namespace {

namespace fs = std::filesystem;

struct RunnerFixture {
  testing::TempDir dir;
  Environment environment =
      Environment({{"HOME", (dir / "home").string()}, {"XDG_DATA_HOME", (dir / "data").string()}});
  POSIXLauncher launcher;
  platform::SystemTrash trash{environment};
  std::atomic<bool> stop{false};
  CleanupRunner runner{CleanupLog(dir / "shared"), launcher, trash, CleanupLogEntry::Trigger::cli,
                       stop};

  CleanupStep trashStep(const fs::path& path) const {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0);
    CleanupStep step;
    step.item.ruleID = "fixture-trash";
    step.item.label = "Fixture cache";
    step.item.path = path.string();
    step.item.identity =
        FileIdentity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
    step.item.clean.kind = CleanAction::Kind::trash;
    step.action = CleanupStep::Action::trash;
    return step;
  }

  std::vector<nlohmann::json> log() const {
    std::vector<nlohmann::json> entries;
    std::istringstream lines(dir.read("shared/cleanup.jsonl"));
    for (std::string line; std::getline(lines, line);)
      entries.push_back(nlohmann::json::parse(line));
    return entries;
  }
};

TEST(CleanupRunner, AFolderSwappedForALinkAfterThePlanMovesNothingAndIsLoggedAsSkipped) {
  RunnerFixture f;
  const auto item = f.dir.write("home/proj/cache/blob", "planned").parent_path();
  f.dir.write("outside/cache/blob", "not part of it");
  CleanupPlan plan{.id = "plan-1", .home = (f.dir / "home").string()};
  plan.steps.push_back(f.trashStep(item));
  fs::rename(f.dir / "home/proj", f.dir / "moved");
  fs::create_directory_symlink(f.dir / "outside", f.dir / "home/proj");

  const auto outcomes = f.runner.run(plan, {});
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_EQ(outcomes[0].text(),
            "skipped: Changed since the scan: a folder on the way is a symlink now");
  EXPECT_EQ(f.dir.read("outside/cache/blob"), "not part of it");
  EXPECT_EQ(f.dir.read("moved/cache/blob"), "planned");
  EXPECT_FALSE(fs::exists(f.dir / "data/Trash/files/cache"));

  const auto log = f.log();
  ASSERT_EQ(log.size(), 2u);
  for (const auto& entry : log) EXPECT_EQ(entry["path"], item.string());
  EXPECT_EQ(log[1]["result"], outcomes[0].text());
  EXPECT_FALSE(log[1].contains("trashPath"));
  EXPECT_FALSE(log[1].contains("trashIdentity"));
}

TEST(CleanupRunner, AnUnchangedItemMovesAndTheLogSaysWhere) {
  RunnerFixture f;
  const auto item = f.dir.write("home/proj/cache/blob", "planned").parent_path();
  CleanupPlan plan{.id = "plan-2", .home = (f.dir / "home").string()};
  plan.steps.push_back(f.trashStep(item));
  auto noIdentity = f.trashStep(item);
  noIdentity.item.identity.reset();
  plan.steps.push_back(noIdentity);

  const auto outcomes = f.runner.run(plan, {});
  ASSERT_EQ(outcomes.size(), 2u);
  EXPECT_EQ(outcomes[0].text(), "moved to Trash");
  EXPECT_EQ(outcomes[1].text(), "skipped: Couldn't confirm it's the same folder. Scan again.");
  EXPECT_EQ(f.dir.read("data/Trash/files/cache/blob"), "planned");
  EXPECT_EQ(f.log()[1]["trashPath"], (f.dir / "data/Trash/files/cache").string());
}

// Away from a terminal (the application's own cleanups), a command that asks
// its own question can't be answered: it is skipped with the line to run.
TEST(CleanupRunner, AToolThatAsksIsLeftToTheUserWithoutATerminal) {
  RunnerFixture f;
  const auto marker = f.dir / "ran";
  CleanupStep step;
  step.item.ruleID = "docker-images";
  step.item.label = "Unused Docker images";
  step.item.path = "images";
  step.item.clean.kind = CleanAction::Kind::toolCommand;
  step.item.clean.terminalOnly = true;
  step.action = CleanupStep::Action::toolCommand;
  step.argv = {"/usr/bin/touch", marker.string()};
  CleanupPlan plan{.id = "plan-3", .home = (f.dir / "home").string()};
  plan.steps.push_back(step);
  const auto outcomes = f.runner.run(plan, {});
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_EQ(outcomes[0].text(),
            "skipped: this tool asks you to confirm, so run it yourself: '/usr/bin/touch' '" +
                marker.string() + "'");
  EXPECT_FALSE(fs::exists(marker));
}

}  // namespace
}  // namespace glimmet
