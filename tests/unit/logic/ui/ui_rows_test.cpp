// The view's rows over a recorded machine: an agent with the dev server it
// runs, a dev server its terminal left behind, a local database and another
// user's web server, and a disk scan with items of every safety.
#include "logic/ui/ui_rows.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/util/secret_masker.h"
#include "support/recorded_process.h"
#include "support/shipped_data.h"

namespace glimmet {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

const std::string kToken = "ghp1234567890abcdefghijklmnopqrstuvwxyz";
using testing::recorded::kMe;
using testing::recorded::kNow;

ProcessRecord process(pid_t pid, pid_t ppid, std::vector<std::string> argv, uid_t uid = kMe) {
  return testing::recorded::process(pid, ppid, std::move(argv), uid, 1'500'000);
}

struct Machine {
  std::vector<ProcessRecord> records = {
      process(1, 0, {"/sbin/init"}, 0),
      process(900, 1, {"/usr/bin/zsh"}),
      process(1000, 900, {"/home/me/.local/bin/claude"}),
      process(1001, 1000, {"node", "/home/me/shop/node_modules/.bin/vite"}),
      process(2000, 1, {"node", "/home/me/shop/node_modules/.bin/vite", "--token", kToken}),
      process(2001, 2000, {"esbuild", "--service"}),
      process(2100, 1, {"/usr/lib/postgresql/15/bin/postgres"}),
      process(3000, 1, {"/usr/sbin/nginx"}, 0),
  };
  SystemFacts facts;
  ProtectedList protectedList;
  ProtectionContext context = ProtectionContext::forCommand(kMe, 99999, "/usr/local/bin/glimmet");
  ListRules rules{protectedList, context, systemProcessTable(), 60};

  Machine() {
    const ProcessSnapshot snapshot(kNow, records);
    const auto listening = [&](pid_t pid, std::vector<std::uint16_t> ports) {
      return ListeningProcess{snapshot.record(pid)->identity, kMe, std::move(ports)};
    };
    facts.listening = {listening(1001, {5173}), listening(2000, {3000}), listening(2100, {5432})};
    facts.allListeners = [] { return std::vector<ForeignListener>{{80, 3000, "nginx", 0}}; };
    facts.repoOf = [](const std::string& cwd) {
      return RepoStatus{RepoStatus::Kind::repo,
                        RepoInfo{"shop", cwd, std::nullopt, "main", std::nullopt, cwd}};
    };
  }

  Survey survey() const {
    return Survey::of(ProcessSnapshot(kNow, records), facts, rules, &testing::shippedSignatures(),
                      AncestryRecorder{});
  }
};

DiskItem item(std::string name, DiskSafety safety, std::uint64_t bytes,
              CleanAction::Kind clean = CleanAction::Kind::trash) {
  DiskItem i;
  i.path = "/home/me/.cache/" + name;
  i.ruleID = name + "-rule";
  i.id = "~/.cache/" + name + "#" + i.ruleID;
  i.label = name + " cache";
  i.safety = safety;
  i.uniqueBytes = i.bytes = bytes;
  i.clean.kind = clean;
  return i;
}

const UiRow* rowWithKeyPrefix(const UiTabRows& tab, const std::string& prefix) {
  for (const auto& row : tab.rows)
    if (row.key.starts_with(prefix)) return &row;
  return nullptr;
}

const UiRow* rowMentioning(const UiTabRows& tab, const std::string& text) {
  for (const auto& row : tab.rows)
    if (row.text.find(text) != std::string::npos) return &row;
  return nullptr;
}

TEST(UiRows, GhostsCanBeStoppedWithTheirWholeTreeAndSayWhyTheyAreGhosts) {
  const Machine machine;
  const auto survey = machine.survey();
  const auto data =
      buildUiData({.survey = survey, .rules = machine.rules, .home = "/home/me", .now = kNow});
  const auto& ghosts = data.of(UiTab::ghosts);
  ASSERT_EQ(ghosts.rows.size(), 1U);
  const auto& ghost = ghosts.rows.front();
  EXPECT_THAT(ghost.text, HasSubstr("2000"));
  EXPECT_THAT(ghost.text, HasSubstr("Orphaned dev server"));
  ASSERT_TRUE(ghost.stop);
  EXPECT_EQ(ghost.stop->target, ":3000");
  EXPECT_EQ(ghost.stop->others, 1U);  // esbuild goes with it
  EXPECT_EQ(ghost.stop->origin, "Orphaned dev server (terminal closed)");
  EXPECT_EQ(ghost.stop->repoPath, "/home/me/shop");

  // The details never show the token, and say where it came from and why.
  std::string details;
  for (const auto& line : ghost.details) details += line + "\n";
  EXPECT_EQ(details.find(kToken), std::string::npos);
  EXPECT_THAT(details, HasSubstr(std::string(SecretMasker::mask)));
  EXPECT_THAT(details, HasSubstr("Chain at birth: not recorded"));
  EXPECT_THAT(details, HasSubstr("Why it's a ghost: A dev server whose terminal closed"));
  EXPECT_THAT(details, HasSubstr("k stops it and the 1 process it started"));
  EXPECT_THAT(details, HasSubstr("Folder: ~/shop"));
}

TEST(UiRows, ProtectedAndOtherUsersServersCantBeStoppedAndSayWhy) {
  const Machine machine;
  const auto survey = machine.survey();
  const auto data =
      buildUiData({.survey = survey, .rules = machine.rules, .home = "/home/me", .now = kNow});
  const auto& servers = data.of(UiTab::servers);

  const auto* database = rowMentioning(servers, ":5432");
  ASSERT_NE(database, nullptr);
  EXPECT_FALSE(database->stop);
  EXPECT_EQ(database->cannotStop,
            "Protected by default: Local databases, so glimmet won't stop it.");
  EXPECT_THAT(database->text, HasSubstr("[protected]"));

  const auto* web = rowMentioning(servers, ":80");
  ASSERT_NE(web, nullptr);
  EXPECT_FALSE(web->stop);
  EXPECT_THAT(web->cannotStop, HasSubstr("another user's process"));

  const auto* vite = rowMentioning(servers, ":3000");
  ASSERT_NE(vite, nullptr);
  ASSERT_TRUE(vite->stop);
  EXPECT_THAT(vite->text, HasSubstr("shop (main)"));
  EXPECT_EQ(vite->stop->branch, "main");
}

TEST(UiRows, AnAgentIsProtectedWhileWhatItStartedCanBeStopped) {
  const Machine machine;
  const auto survey = machine.survey();
  ASSERT_EQ(survey.sessions.size(), 1U);
  const auto data =
      buildUiData({.survey = survey, .rules = machine.rules, .home = "/home/me", .now = kNow});
  const auto& sessions = data.of(UiTab::sessions);
  ASSERT_GE(sessions.rows.size(), 2U);
  const auto& agent = sessions.rows[0];
  EXPECT_THAT(agent.text, HasSubstr("Claude Code"));
  EXPECT_FALSE(agent.stop);
  EXPECT_THAT(agent.cannotStop, HasSubstr("AI agents"));
  const auto* child = rowWithKeyPrefix(sessions, "child:1000:1001@");
  ASSERT_NE(child, nullptr);
  EXPECT_THAT(child->text, HasSubstr("└ node vite"));
  ASSERT_TRUE(child->stop);
  EXPECT_EQ(child->stop->target, ":5173");
}

TEST(UiRows, DiskItemsListSafeFirstBiggestFirstAndOnlyCleanableOnesCanBeMarked) {
  const Machine machine;
  const auto survey = machine.survey();
  DiskScanResult scan;
  scan.home = "/home/me";
  scan.complete = true;
  scan.items = {item("small", DiskSafety::safe, 1'000), item("chats", DiskSafety::review, 9'000),
                item("big", DiskSafety::safe, 5'000'000),
                item("docker", DiskSafety::reportOnly, 90'000'000, CleanAction::Kind::none),
                item("shell", DiskSafety::review, 10, CleanAction::Kind::copyOnly)};
  const auto data = buildUiData(
      {.survey = survey, .rules = machine.rules, .scan = &scan, .home = "/home/me", .now = kNow});
  const auto& disk = data.of(UiTab::disk);
  std::vector<std::string> keys;
  for (const auto& row : disk.rows) keys.push_back(row.key);
  EXPECT_THAT(keys, ElementsAre("disk:~/.cache/big#big-rule", "disk:~/.cache/small#small-rule",
                                "disk:~/.cache/chats#chats-rule", "disk:~/.cache/shell#shell-rule",
                                "disk:~/.cache/docker#docker-rule"));
  EXPECT_EQ(disk.rows[0].itemID, "~/.cache/big#big-rule");
  EXPECT_THAT(disk.rows[0].text, HasSubstr("big cache: ~/.cache/big"));
  EXPECT_FALSE(disk.rows[3].itemID);
  EXPECT_FALSE(disk.rows[4].itemID);
  EXPECT_THAT(disk.rows[4].cannotMark, HasSubstr("only reports"));
  EXPECT_THAT(disk.rows[0].details, Contains("ID: ~/.cache/big#big-rule"));

  const auto none = buildUiData(
      {.survey = survey, .rules = machine.rules, .scan = nullptr, .home = "/home/me", .now = kNow});
  EXPECT_THAT(none.of(UiTab::disk).empty, HasSubstr("Press r to scan"));
}

}  // namespace
}  // namespace glimmet
