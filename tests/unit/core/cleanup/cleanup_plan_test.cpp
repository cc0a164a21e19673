// Planning over real folders: what changed on disk since the scan, protected
// places, the placeholders a tool command may not expand to, and tool lookups.
#include "core/cleanup/cleanup_plan.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace glimmet {
namespace {

const SystemTime kNow = SystemTime(std::chrono::seconds(1'780'000'000));

class FixedLocator : public ToolLocator {
 public:
  std::optional<std::string> locate(const std::string& name) const override {
    if (name == "git" || name == "npm" || name == "docker") return "/opt/bin/" + name;
    return std::nullopt;
  }
};

LeftoverRule rule(std::string id, CleanAction clean) {
  LeftoverRule r;
  r.id = std::move(id);
  r.label = r.id;
  r.clean = std::move(clean);
  return r;
}

struct Fixture {
  testing::TempDir dir;
  LeftoverRuleSet rules;
  FixedLocator locator;
  std::string home = dir.path().string();

  Fixture() {
    rules.rules = {
        rule("trash-rule", {.kind = CleanAction::Kind::trash}),
        rule("tool-rule", {.kind = CleanAction::Kind::toolCommand,
                           .argv = std::vector<std::string>{"npm", "rm", "{name}"}}),
        rule("missing-tool", {.kind = CleanAction::Kind::toolCommand,
                              .argv = std::vector<std::string>{"uv", "cache", "clean"}}),
        rule("worktree", {.kind = CleanAction::Kind::gitWorktreeRemove}),
        rule("stopper", {.kind = CleanAction::Kind::trash,
                         .stopFirst = std::vector<std::string>{"ollama-stop", "now"}}),
        rule("copy", {.kind = CleanAction::Kind::copyOnly,
                      .argv = std::vector<std::string>{"nvm", "uninstall", "{name}"}}),
        rule("chats", {.kind = CleanAction::Kind::trash}),
    };
    rules.rules.back().category = DiskCategory::agentHistory;
  }

  // A measured item as the scan recorded it, with the folder's current identity.
  DiskItem item(const std::string& relative, const std::string& ruleID) const {
    const auto path = dir.write(relative + "/file", std::string(4096, 'x')).parent_path();
    struct stat info {};
    ::lstat(path.c_str(), &info);
    DiskItem i;
    i.id = relative + "#" + ruleID;
    i.ruleID = ruleID;
    i.label = "Label " + relative;
    i.path = path.string();
    i.category = DiskCategory::safeToClear;
    i.identity =
        FileIdentity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
    i.clean = rules.rule(ruleID)->clean;
    return i;
  }

  CleanupPlan plan(const std::vector<DiskItem>& items) const {
    const CleanupPlanner planner(DiskProtectedList(home, {"~/mine"}), rules, locator);
    LivenessInput liveness;
    liveness.home = home;
    liveness.runningApps = std::vector<std::string>{};
    return planner.plan(items, home, liveness, kNow);
  }
};

std::string onlySkip(const CleanupPlan& plan) {
  EXPECT_TRUE(plan.steps.empty());
  return plan.skipped.size() == 1 ? plan.skipped.front().reason : "(not one skip)";
}

TEST(CleanupPlanner, AnUnchangedFolderBecomesATrashStepWithItsNewSize) {
  Fixture f;
  auto cache = f.item("cache", "trash-rule");
  cache.bytes = 1;
  f.dir.write("cache/more", std::string(8192, 'y'));
  const auto plan = f.plan({cache});
  ASSERT_EQ(plan.steps.size(), 1u);
  EXPECT_EQ(plan.steps[0].action, CleanupStep::Action::trash);
  EXPECT_FALSE(plan.steps[0].argv);
  EXPECT_GT(plan.steps[0].item.bytes, 8192u);
  EXPECT_EQ(plan.steps[0].timeout, 600);
  EXPECT_EQ(plan.id.size(), 36u);
  EXPECT_EQ(plan.home, f.home);
}

TEST(CleanupPlanner, AFolderThatChangedSinceTheScanIsLeftAlone) {
  Fixture f;
  const auto linked = f.item("linked", "trash-rule");
  std::filesystem::remove_all(linked.path);
  std::filesystem::create_directory_symlink(f.dir / "elsewhere", linked.path);
  EXPECT_EQ(onlySkip(f.plan({linked})), "Changed since the scan: it's a symlink now");

  const auto recreated = f.item("recreated", "trash-rule");
  std::filesystem::rename(recreated.path, f.dir / "moved-away");
  f.dir.write("recreated/other", "new");
  EXPECT_EQ(onlySkip(f.plan({recreated})), "Changed since the scan");

  const auto gone = f.item("gone", "trash-rule");
  std::filesystem::remove_all(gone.path);
  EXPECT_EQ(onlySkip(f.plan({gone})), "Already gone");

  auto unknown = f.item("unknown", "trash-rule");
  unknown.identity.reset();
  EXPECT_EQ(onlySkip(f.plan({unknown})), "Couldn't confirm it's the same folder. Scan again.");

  auto orphan = f.item("orphan", "trash-rule");
  orphan.ruleID = "retired-rule";
  EXPECT_EQ(onlySkip(f.plan({orphan})), "Its rule changed since the scan. Scan again.");
}

TEST(CleanupPlanner, ProtectedAndReportOnlyItemsAreSkipped) {
  Fixture f;
  const auto mine = f.item("mine/cache", "trash-rule");
  EXPECT_FALSE(onlySkip(f.plan({mine})).empty());
  auto report = f.item("report", "trash-rule");
  report.safety = DiskSafety::reportOnly;
  EXPECT_EQ(onlySkip(f.plan({report})), "Report only");
  auto none = f.item("none", "trash-rule");
  none.clean.kind = CleanAction::Kind::none;
  EXPECT_EQ(onlySkip(f.plan({none})), "Report only");
}

TEST(CleanupPlanner, AChatUsedAgainSinceTheScanIsSkipped) {
  Fixture f;
  auto chats = f.item("chats", "chats");
  chats.modified = SystemTime(std::chrono::seconds(1'000'000'000));
  EXPECT_EQ(onlySkip(f.plan({chats})), "Changed since the scan: a chat here was used again");
}

TEST(CleanupPlanner, ToolCommandsResolveTheirProgramAndRefuseWideArguments) {
  Fixture f;
  const auto pkg = f.item("pkg", "tool-rule");
  auto plan = f.plan({pkg});
  ASSERT_EQ(plan.steps.size(), 1u);
  EXPECT_EQ(*plan.steps[0].argv, (std::vector<std::string>{"/opt/bin/npm", "rm", "pkg"}));
  EXPECT_EQ(plan.steps[0].timeout, 600);

  for (const std::string name : {"booted", "-rf", "ALL"}) {
    const auto wide = f.item(name, "tool-rule");
    EXPECT_EQ(onlySkip(f.plan({wide})), "No command for this item") << name;
  }

  // A program that isn't there: the folder goes to the Trash instead, with a note.
  plan = f.plan({f.item("uvcache", "missing-tool")});
  ASSERT_EQ(plan.steps.size(), 1u);
  EXPECT_EQ(plan.steps[0].action, CleanupStep::Action::trash);
  EXPECT_EQ(plan.steps[0].note, "uv isn't installed, so this moves to the Trash");
}

TEST(CleanupPlanner, StopFirstAndWorktreesNeedTheirPrograms) {
  Fixture f;
  EXPECT_EQ(onlySkip(f.plan({f.item("models", "stopper")})),
            "ollama-stop isn't on your PATH, so Glimmet can't stop it first");

  auto tree = f.item("tree", "worktree");
  EXPECT_EQ(onlySkip(f.plan({tree})), "Couldn't find the main repo");
  tree.mainRepoPath = "/src/main";
  const auto plan = f.plan({tree});
  ASSERT_EQ(plan.steps.size(), 1u);
  EXPECT_EQ(*plan.steps[0].argv,
            (std::vector<std::string>{"/opt/bin/git", "-c", "core.hooksPath=/dev/null", "-c",
                                      "core.fsmonitor=false", "-C", "/src/main", "worktree",
                                      "remove", tree.path}));
}

TEST(CleanupPlanner, CopyOnlyItemsGetAQuotedCommandAndNoStep) {
  Fixture f;
  const auto plan = f.plan({f.item("v 18", "copy")});
  EXPECT_TRUE(plan.steps.empty());
  EXPECT_TRUE(plan.skipped.empty());
  ASSERT_EQ(plan.copyOnly.size(), 1u);
  EXPECT_EQ(plan.copyOnly[0].command, "nvm uninstall 'v 18'");
}

// The scan cache only names items: whatever action, kind or category an
// edited cache gives one, the rule file decides what runs.
TEST(CleanupPlanner, TheActionComesFromTheRuleNeverFromTheCache) {
  Fixture f;
  for (const auto& argv : std::vector<std::vector<std::string>>{
           {"rm", "-r", "-f", "{path}"}, {"sh", "-c", "rm -rf ~"}, {"/bin/rm", "-rf", "{path}"}}) {
    auto edited = f.item("edited", "trash-rule");
    edited.clean = {.kind = CleanAction::Kind::toolCommand, .argv = argv, .terminalOnly = false};
    const auto plan = f.plan({edited});
    ASSERT_EQ(plan.steps.size(), 1u) << argv.front();
    EXPECT_EQ(plan.steps[0].action, CleanupStep::Action::trash);
    EXPECT_FALSE(plan.steps[0].argv);
    EXPECT_EQ(plan.steps[0].item.clean, f.rules.rule("trash-rule")->clean);
    std::filesystem::remove_all(edited.path);
  }

  // A cached kind that would skip the checks on disk doesn't: a worktree kind
  // on a trash rule, a Docker category on a folder.
  auto disguised = f.item("disguised", "trash-rule");
  disguised.clean.kind = CleanAction::Kind::gitWorktreePrune;
  disguised.category = DiskCategory::docker;
  disguised.identity.reset();
  EXPECT_EQ(onlySkip(f.plan({disguised})), "Couldn't confirm it's the same folder. Scan again.");

  // A command shown to copy is the rule's too.
  auto copy = f.item("v 18", "copy");
  copy.clean.argv = std::vector<std::string>{"rm", "-rf", "/"};
  const auto plan = f.plan({copy});
  ASSERT_EQ(plan.copyOnly.size(), 1u);
  EXPECT_EQ(plan.copyOnly[0].command, "nvm uninstall 'v 18'");

  // What the scan found may only make an item do less.
  auto reported = f.item("reported", "tool-rule");
  reported.clean = CleanAction{};
  EXPECT_EQ(onlySkip(f.plan({reported})), "Report only");
  auto lowered = f.item("lowered", "tool-rule");
  f.rules.rules[1].safety = DiskSafety::reportOnly;
  EXPECT_EQ(onlySkip(f.plan({lowered})), "Report only");
}

TEST(CleanArguments, PlaceholdersExpandAndModelFoldersNameTheirRepository) {
  DiskItem item;
  item.path = "/h/.cache/huggingface/hub/models--openai--whisper-tiny";
  const auto argv =
      expandCleanArguments({"hf", "delete", "{hfRepoID}", "{project}", "{repo}x"}, item);
  ASSERT_TRUE(argv);
  EXPECT_EQ(*argv, (std::vector<std::string>{"hf", "delete", "openai/whisper-tiny",
                                             "/h/.cache/huggingface/hub", "x"}));
  EXPECT_EQ(huggingFaceRepoID("plain-folder"), "plain-folder");
  EXPECT_FALSE(expandCleanArguments({"tool", "{repo}"}, item));  // empty
  item.path = "/h/a\nb";
  EXPECT_FALSE(expandCleanArguments({"tool", "{name}"}, item));
}

}  // namespace
}  // namespace glimmet
