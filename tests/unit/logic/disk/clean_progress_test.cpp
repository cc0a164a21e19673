// What disk clean says on a terminal as each step starts and ends.
#include "logic/disk/clean_progress.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

CleanupStep step(CleanupStep::Action action, std::string path) {
  CleanupStep s;
  s.action = action;
  s.item.path = std::move(path);
  return s;
}

TEST(CleanProgress, StartLinesSayWhatTheStepDoesWithTheHomeAsTilde) {
  EXPECT_EQ(stepStartLine(step(CleanupStep::Action::trash, "/home/me/.cache/x"), 1, 3, "/home/me"),
            "[1/3] Moving ~/.cache/x to the Trash...");
  auto tool = step(CleanupStep::Action::toolCommand, "/home/me/.npm");
  tool.argv = std::vector<std::string>{"/usr/bin/npm", "cache", "clean"};
  EXPECT_EQ(stepStartLine(tool, 2, 3, "/home/me"), "[2/3] Running npm to clean ~/.npm...");
  auto archive = step(CleanupStep::Action::trash, "/srv/chats\x1b[2J");
  archive.archiveTo = "/home/me/keep";
  EXPECT_EQ(stepStartLine(archive, 3, 3, "/home/me"),
            "[3/3] Archiving /srv/chats?[2J, then moving it to the Trash...");
}

TEST(CleanProgress, EndLinesSayHowItEndedAndHowLongItTook) {
  EXPECT_EQ(stepEndLine({.kind = StepOutcome::Kind::trashed}, 1, 2, 0.04),
            "[1/2] Finished in 0.0 s.");
  EXPECT_EQ(stepEndLine({.kind = StepOutcome::Kind::failed, .reason = "exit 3"}, 2, 2, 1.25),
            "[2/2] Failed after 1.2 s.");
  EXPECT_EQ(stepEndLine({.kind = StepOutcome::Kind::timedOut}, 1, 1, 600),
            "[1/1] Timed out after 600.0 s.");
  EXPECT_EQ(stepEndLine({.kind = StepOutcome::Kind::skipped, .reason = "x"}, 1, 1, 0),
            "[1/1] Skipped.");
}

}  // namespace
}  // namespace glimmet
