// glimmet disk clean --archive-to over a fixture chat tree: the copy checked
// and kept, the original in the Trash with its record, and the archive
// folders that are refused before anything runs.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "support/isolated_home.h"

namespace glimmet {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::withoutCarriageReturns;

constexpr std::string_view kRules = R"({"version": 1, "rules": [
  {"id": "claude-chats", "label": "Claude Code chats", "tool": "Claude Code",
   "category": "agentHistory", "safety": "review", "match": "children",
   "paths": ["{CLAUDE_CONFIG_DIR}/projects"], "olderThan": "agentHistory",
   "clean": {"kind": "trash"}, "ifRemoved": "Gone.", "verified": true}
]})";

constexpr std::string_view kItem = "~/.claude/projects/-home-me-web#claude-chats";

void ageTree(const fs::path& root, int days) {
  const auto when = std::chrono::system_clock::now() - std::chrono::hours(24 * days);
  const timespec time{std::chrono::system_clock::to_time_t(when), 0};
  const timespec times[2] = {time, time};
  for (const auto& entry : fs::recursive_directory_iterator(root))
    ::utimensat(AT_FDCWD, entry.path().c_str(), times, AT_SYMLINK_NOFOLLOW);
  ::utimensat(AT_FDCWD, root.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

struct ChatHome {
  testing::IsolatedHome home;
  fs::path chats = home.home() / ".claude/projects/-home-me-web";
  fs::path archive = home.root() / "archive";

  ChatHome() {
    home.dir().write("rules.json", std::string(kRules));
    home.environment() =
        home.environment().with("GLIMMET_LEFTOVERS", (home.root() / "rules.json").string());
    const auto& dir = home.dir();
    dir.write("home/.claude/projects/-home-me-web/0001.jsonl", "{\"role\": \"user\"}\n");
    dir.write("home/.claude/projects/-home-me-web/0002.jsonl", std::string(200000, 'c'));
    dir.write("home/.claude/projects/-home-me-web/todos/a.json", "[]");
    dir.write("outside/secret", "not part of the chats");
    fs::create_symlink(home.root() / "outside/secret", chats / "linked");
    ageTree(home.home() / ".claude", 60);
    fs::create_directories(archive);
    const auto scan = home.glimmet({"disk", "scan", "--json"});
    EXPECT_EQ(scan.status, 0) << scan.out << scan.err;
    EXPECT_THAT(scan.out, HasSubstr(std::string(kItem)));
  }

  testing::RunResult clean(const fs::path& folder, std::string input = "yes\n") {
    return home.glimmet({"disk", "clean", std::string(kItem), "--archive-to", folder.string()},
                        {.input = std::move(input), .onTerminal = true});
  }
};

TEST(DiskArchive, ChatsAreCopiedCheckedAndThenMovedToTheTrash) {
  ChatHome fixture;
  const auto copy = fixture.archive / "claude/projects/-home-me-web";
  const auto dryRun = fixture.home.glimmet(
      {"disk", "clean", std::string(kItem), "--archive-to", fixture.archive.string(), "--dry-run"});
  EXPECT_EQ(dryRun.status, 0) << dryRun.out;
  EXPECT_EQ(dryRun.out, "Would copy to " + copy.string() +
                            ", then move to the Trash: ~/.claude/projects/-home-me-web\n");
  EXPECT_FALSE(fs::exists(copy));

  const auto result = fixture.clean(fixture.archive);
  const auto out = withoutCarriageReturns(result.out);
  ASSERT_EQ(result.status, 0) << out;
  EXPECT_THAT(out, HasSubstr("Will copy to " + copy.string() +
                             ", then move to the Trash: ~/.claude/projects/-home-me-web  (about "));
  EXPECT_THAT(out, HasSubstr("Claude Code chats: archived and moved to Trash\n"));

  // The copy holds the same tree; the link is a link, not what it points at.
  const auto& dir = fixture.home.dir();
  EXPECT_EQ(dir.read("archive/claude/projects/-home-me-web/0001.jsonl"), "{\"role\": \"user\"}\n");
  EXPECT_EQ(dir.read("archive/claude/projects/-home-me-web/0002.jsonl"), std::string(200000, 'c'));
  EXPECT_EQ(dir.read("archive/claude/projects/-home-me-web/todos/a.json"), "[]");
  EXPECT_TRUE(fs::is_symlink(copy / "linked"));
  EXPECT_EQ(fs::read_symlink(copy / "linked"), fixture.home.root() / "outside/secret");

  // The original is in the Trash, with a record that leads back to it.
  EXPECT_FALSE(fs::exists(fixture.chats));
  EXPECT_EQ(dir.read("home/.local/share/Trash/files/-home-me-web/0001.jsonl"),
            "{\"role\": \"user\"}\n");
  EXPECT_THAT(dir.read("home/.local/share/Trash/info/-home-me-web.trashinfo"),
              HasSubstr("[Trash Info]\nPath=" + fixture.chats.string() + "\nDeletionDate="));
  EXPECT_EQ(dir.read("outside/secret"), "not part of the chats");

  std::vector<nlohmann::json> log;
  std::istringstream lines(dir.read("home/.local/share/Glimmet/cleanup.jsonl"));
  for (std::string line; std::getline(lines, line);) log.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0]["phase"], "attempt");
  EXPECT_EQ(log[0]["action"], "trash");
  EXPECT_EQ(log[1]["result"], "archived and moved to Trash");
  EXPECT_EQ(log[1]["trashPath"],
            (fixture.home.home() / ".local/share/Trash/files/-home-me-web").string());
}

TEST(DiskArchive, AFolderInsideTheChatsOrAProtectedOneIsRefusedFirst) {
  ChatHome fixture;
  fs::create_directories(fixture.chats / "keep");
  for (const auto& folder : {fixture.chats / "keep", fixture.chats}) {
    const auto result = fixture.clean(folder);
    EXPECT_EQ(result.status, 64);
    EXPECT_THAT(withoutCarriageReturns(result.out),
                HasSubstr("Pick an archive folder outside what's being cleaned up\n"));
  }
  // Through a link that leads inside: refused all the same.
  fs::create_directory_symlink(fixture.chats / "keep", fixture.home.root() / "sneaky");
  auto result = fixture.clean(fixture.home.root() / "sneaky");
  EXPECT_EQ(result.status, 64);

  result = fixture.home.glimmet({"disk", "clean", std::string(kItem), "--archive-to",
                                 fixture.home.home().string(), "--dry-run"});
  EXPECT_EQ(result.status, 64);
  EXPECT_EQ(result.out, "Pick another archive folder: that one is protected\n");

  EXPECT_TRUE(fs::exists(fixture.chats / "0001.jsonl"));
  EXPECT_FALSE(fs::exists(fixture.home.sharedFolder() / "cleanup.jsonl"));
  EXPECT_FALSE(fs::exists(fixture.home.home() / ".local/share/Trash"));
}

TEST(DiskArchive, AMissingArchiveFolderIsCreatedPrivate) {
  ChatHome fixture;
  // Through a link into the chats, a folder that doesn't exist yet is refused.
  fs::create_directory_symlink(fixture.chats, fixture.home.root() / "sneaky");
  auto result = fixture.clean(fixture.home.root() / "sneaky/new");
  EXPECT_EQ(result.status, 64);
  EXPECT_FALSE(fs::exists(fixture.chats / "new"));

  const auto folder = fixture.home.root() / "new/archive";
  result = fixture.clean(folder);
  const auto out = withoutCarriageReturns(result.out);
  ASSERT_EQ(result.status, 0) << out;
  EXPECT_THAT(out, HasSubstr("Claude Code chats: archived and moved to Trash\n"));
  EXPECT_EQ(fixture.home.dir().read("new/archive/claude/projects/-home-me-web/0001.jsonl"),
            "{\"role\": \"user\"}\n");
  for (const auto& made : {folder.parent_path(), folder}) {
    struct stat status {};
    ASSERT_EQ(::stat(made.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0700u) << made;
  }
}

TEST(DiskArchive, AnExistingCopyLeavesTheOriginalWhereItIs) {
  ChatHome fixture;
  const auto target = fixture.archive / "claude/projects/-home-me-web";
  fixture.home.dir().write("archive/claude/projects/-home-me-web/older.jsonl", "older");
  const auto result = fixture.clean(fixture.archive);
  EXPECT_EQ(result.status, 2);
  EXPECT_THAT(withoutCarriageReturns(result.out),
              HasSubstr("Claude Code chats: failed: " + target.string() + " already exists\n"));
  EXPECT_TRUE(fs::exists(fixture.chats / "0001.jsonl"));
  EXPECT_EQ(fixture.home.dir().read("archive/claude/projects/-home-me-web/older.jsonl"), "older");
  EXPECT_FALSE(fs::exists(target / "0001.jsonl"));
}

}  // namespace
}  // namespace glimmet
