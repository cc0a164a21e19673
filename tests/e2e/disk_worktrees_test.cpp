// Linked git worktrees in a real scan and a real clean: a repository made with
// git itself, one worktree in use, one whose folder was deleted by hand, and a
// record that points at a folder which is not that worktree.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "support/isolated_home.h"

namespace glimmet {
namespace {

using ::testing::HasSubstr;
using testing::withoutCarriageReturns;

constexpr std::string_view kRules = R"({"version": 1, "rules": [
  {"id": "git-worktree", "label": "Git worktree", "tool": "git", "category": "yourFiles",
   "safety": "review", "match": "worktree", "clean": {"kind": "gitWorktreeRemove"},
   "ifRemoved": "The worktree folder is gone.", "verified": true},
  {"id": "git-worktree-stale", "label": "Stale git worktree", "tool": "git",
   "category": "yourFiles", "safety": "review", "match": "worktree",
   "clean": {"kind": "gitWorktreeRemove"}, "ifRemoved": "The worktree folder is gone.",
   "verified": true}
]})";

struct WorktreeHome {
  testing::IsolatedHome home;
  std::filesystem::path repo = home.home() / "Dev/repo";

  WorktreeHome() {
    home.dir().write("rules.json", std::string(kRules));
    home.environment() =
        home.environment().with("GLIMMET_LEFTOVERS", (home.root() / "rules.json").string());
    home.dir().write("home/Dev/repo/README", "hello\n");
    git({"init", "-q", "-b", "main", repo.string()});
    git({"-C", repo.string(), "add", "README"});
    git({"-C", repo.string(), "-c", "user.name=t", "-c", "user.email=t@example.com", "commit", "-q",
         "-m", "first"});
    for (const char* name : {"wt-live", "wt-gone"})
      git({"-C", repo.string(), "worktree", "add", "-q", "-b", name,
           (home.home() / "Dev" / name).string()});
    std::filesystem::remove_all(home.home() / "Dev/wt-gone");
    // A record whose folder is an ordinary folder now, not the worktree.
    home.dir().write("home/Dev/plain/notes.txt", "mine\n");
    home.dir().write("home/Dev/repo/.git/worktrees/plain/gitdir",
                     (home.home() / "Dev/plain/.git").string() + "\n");
  }

  std::string git(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv = {"/usr/bin/git"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const auto result = testing::runProcess(argv, home.environment());
    EXPECT_EQ(result.status, 0) << result.err;
    return result.out;
  }

  nlohmann::json scan() {
    const auto result = home.glimmet({"disk", "scan", "--json"});
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    return nlohmann::json::parse(result.out);
  }
};

const nlohmann::json* itemWithID(const nlohmann::json& document, const std::string& id) {
  for (const auto& item : document["items"])
    if (item["id"] == id) return &item;
  return nullptr;
}

TEST(DiskWorktrees, ScanListsLinkedGoneAndForeignWorktrees) {
  WorktreeHome fixture;
  const auto document = fixture.scan();

  const auto* live = itemWithID(document, "~/Dev/wt-live#git-worktree");
  ASSERT_NE(live, nullptr) << document.dump(2);
  EXPECT_EQ((*live)["reasons"][0], "Worktree of ~/Dev/repo");
  EXPECT_EQ((*live)["reasons"][1], "Project touched today");
  EXPECT_TRUE((*live)["blocked"].is_null());

  const auto* gone = itemWithID(document, "~/Dev/wt-gone#git-worktree-stale");
  ASSERT_NE(gone, nullptr) << document.dump(2);
  EXPECT_EQ((*gone)["reasons"][0], "Its folder is already gone");

  const auto* plain = itemWithID(document, "~/Dev/plain#git-worktree");
  ASSERT_NE(plain, nullptr) << document.dump(2);
  EXPECT_EQ((*plain)["blocked"], "Not a linked git worktree, so Glimmet leaves it alone");

  // The main repository is never an item of its own.
  EXPECT_EQ(itemWithID(document, "~/Dev/repo#git-worktree"), nullptr);
}

TEST(DiskWorktrees, CleanRemovesTheWorktreeAndPrunesTheGoneOneWithGit) {
  WorktreeHome fixture;
  fixture.scan();
  const auto result = fixture.home.glimmet(
      {"disk", "clean", "~/Dev/wt-live#git-worktree", "~/Dev/wt-gone#git-worktree-stale"},
      {.input = "yes\n", .onTerminal = true});
  const auto out = withoutCarriageReturns(result.out);
  ASSERT_EQ(result.status, 0) << out;
  EXPECT_THAT(out, HasSubstr("Git worktree: done\n"));
  EXPECT_THAT(out, HasSubstr("Stale git worktree: done\n"));
  EXPECT_FALSE(std::filesystem::exists(fixture.home.home() / "Dev/wt-live"));
  EXPECT_FALSE(std::filesystem::exists(fixture.repo / ".git/worktrees/wt-gone"));
  EXPECT_FALSE(std::filesystem::exists(fixture.repo / ".git/worktrees/wt-live"));
  // The branches stay in the main repository; only the folders and records went.
  EXPECT_THAT(fixture.git({"-C", fixture.repo.string(), "branch", "--format=%(refname:short)"}),
              HasSubstr("wt-live"));
  EXPECT_TRUE(std::filesystem::exists(fixture.home.home() / "Dev/plain/notes.txt"));
}

TEST(DiskWorktrees, AGoneWorktreeThatCameBackIsLeftAlone) {
  WorktreeHome fixture;
  fixture.scan();
  fixture.home.dir().write("home/Dev/wt-gone/new-work.txt", "back\n");
  const auto result =
      fixture.home.glimmet({"disk", "clean", "~/Dev/wt-gone#git-worktree-stale", "--dry-run"});
  EXPECT_THAT(result.out, HasSubstr("Changed since the scan")) << result.out << result.err;
  EXPECT_TRUE(std::filesystem::exists(fixture.repo / ".git/worktrees/wt-gone"));
}

}  // namespace
}  // namespace glimmet
