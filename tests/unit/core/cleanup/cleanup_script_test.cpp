// The dry-run lines and the cleanup script for plans with odd names.
#include "core/cleanup/cleanup_script.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/cleanup/cleanup_dry_run.h"
#include "core/disk/shell_words.h"

namespace glimmet {
namespace {

using ::testing::HasSubstr;

const SystemTime kNow = SystemTime(std::chrono::seconds(1'780'000'000));

CleanupStep trashStep(std::string path, uint64_t bytes) {
  CleanupStep step;
  step.item.path = std::move(path);
  step.item.label = "Cache";
  step.item.bytes = bytes;
  return step;
}

TEST(ShellWords, QuotesEverythingButPlainWords) {
  EXPECT_EQ(quoteShellWord("it's"), R"('it'\''s')");
  EXPECT_EQ(quoteShellWord("a-b.c"), "a-b.c");
  EXPECT_EQ(quoteShellWord("/usr/bin/git"), "'/usr/bin/git'");
  EXPECT_EQ(quoteShellWord(""), "''");
}

TEST(CleanupScript, OnlyTrashStepsAnnounceNoStepsAndListTheMovesAsComments) {
  CleanupPlan plan{.home = "/home/me"};
  plan.steps = {trashStep("/home/me/.cache/a b", 0), trashStep("/home/me/evil\nrm -rf ~", 0)};
  const auto script = CleanupScript::render(plan, kNow);
  EXPECT_THAT(script, HasSubstr("print 'Glimmet will run 0 steps and free about 0 KB.'\n"));
  EXPECT_THAT(script, HasSubstr("# Moves to the Trash are done from Glimmet, so they can be put "
                                "back:\n#   ~/.cache/a b (0 KB)\n#   ~/evil rm -rf ~ (0 KB)\n"));
  EXPECT_EQ(script.find("\nrm -rf"), std::string::npos);  // a newline never ends the comment
  EXPECT_THAT(script, ::testing::StartsWith("#!/bin/zsh\n# Glimmet cleanup script, made "));
  EXPECT_THAT(script,
              ::testing::EndsWith("print \"\\nDone. Glimmet re-measures on the next scan.\"\n"));
}

TEST(CleanupScript, CommandStepsRunQuotedWithTheirTitle) {
  CleanupPlan plan{.home = "/home/me"};
  auto step = trashStep("/home/me/x", 2'000'000);
  step.action = CleanupStep::Action::toolCommand;
  step.argv = std::vector<std::string>{"/usr/bin/tool", "rm", "-", "it's"};
  step.item.label = "Tool's cache";
  plan.steps = {step};
  plan.copyOnly = {{step.item, "nvm uninstall\n18"}};
  const auto script = CleanupScript::render(plan, kNow);
  EXPECT_THAT(script, HasSubstr("print 'Glimmet will run 1 step and free about 2 MB.'\n"));
  EXPECT_THAT(script,
              HasSubstr("\nstep 'Tool'\\''s cache (2 MB)' '/usr/bin/tool' rm - 'it'\\''s'\n"));
  EXPECT_THAT(script, HasSubstr("(shell functions and choices Glimmet leaves to you):\n#   nvm "
                                "uninstall 18\n"));
  EXPECT_EQ(script.find("# Moves to the Trash"), std::string::npos);
}

TEST(CleanupScript, NamesAndDatesFollowTheLocalClock) {
  EXPECT_THAT(CleanupScript::fileName(kNow),
              ::testing::MatchesRegex("cleanup-[0-9]{4}-[0-9]{2}-[0-9]{2}-[0-9]{6}\\.command"));
  EXPECT_THAT(CleanupScript::madeAt(kNow),
              ::testing::MatchesRegex("[0-9]{1,2} [A-Z][a-z]{2,3} [0-9]{4} [0-9]{2}:[0-9]{2} .+"));
}

TEST(CleanupDryRun, LinesForCommandsMovesAndSkips) {
  CleanupPlan plan{.home = "/home/me"};
  auto command = trashStep("/home/me/x", 1);
  command.argv = std::vector<std::string>{"/bin/tool", "purge"};
  plan.steps = {command, trashStep("/home/me/.cache/pip", 5)};
  DiskItem skipped;
  skipped.label = "Old chats";
  plan.skipped = {{skipped, "Already gone"}};
  EXPECT_EQ(CleanupDryRun::lines(plan),
            (std::vector<std::string>{"Would run: '/bin/tool' purge",
                                      "Would move to the Trash: ~/.cache/pip",
                                      "Skipped Old chats: Already gone"}));
}

}  // namespace
}  // namespace glimmet
