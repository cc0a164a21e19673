#include "logic/companion/companion_setup_plan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace glimmet {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Step = CompanionSetupStep;

constexpr const char* kUnit = "glimmet-companion.service";

CompanionSetupFacts facts(UserManagerReach manager, LaunchFileState unit = {},
                          LaunchFileState autostart = {}) {
  return {.executable = "/usr/bin/glimmet",
          .unitPath = "~/.config/systemd/user/glimmet-companion.service",
          .autostartPath = "~/.config/autostart/glimmet-companion.desktop",
          .unit = std::move(unit),
          .autostart = std::move(autostart),
          .wantsLinkIsOurs = true,
          .manager = manager};
}

Step systemctl(std::vector<std::string> arguments) {
  return {Step::Kind::systemctl, std::move(arguments), {}};
}

Step file(Step::Kind kind) {
  return {kind, {}, {}};
}

std::vector<Step::Kind> kinds(const CompanionSetupPlan& plan) {
  std::vector<Step::Kind> out;
  for (const auto& step : plan.steps) out.push_back(step.kind);
  return out;
}

TEST(CompanionSetupPlan, InstallAgainStartsItOrMovesItToThisGlimmet) {
  const auto again = planCompanionInstall(
      facts(UserManagerReach::reachable, LaunchFileState::ours("/usr/bin/glimmet")));
  EXPECT_THAT(again.steps, ElementsAre(systemctl({"enable", "--now", kUnit})));
  EXPECT_THAT(again.closing, ElementsAre(HasSubstr("already installed")));
  EXPECT_EQ(again.status, ExitStatus::ok);

  const auto moved =
      planCompanionInstall(facts(UserManagerReach::reachable, LaunchFileState::ours("/old/glimmet"),
                                 LaunchFileState::ours("/old/glimmet")));
  EXPECT_THAT(moved.steps, ElementsAre(file(Step::Kind::writeUnit), systemctl({"daemon-reload"}),
                                       systemctl({"enable", kUnit}), systemctl({"restart", kUnit}),
                                       ::testing::Field(&Step::kind, Step::Kind::removeAutostart)));
  EXPECT_THAT(moved.closing,
              ElementsAre("Updated the companion's unit: it now runs /usr/bin/glimmet."));
}

TEST(CompanionSetupPlan, InstallRefusesAUnitNotAsWrittenAndAPathSystemdCantRun) {
  const auto foreign =
      planCompanionInstall(facts(UserManagerReach::reachable, LaunchFileState::foreign()));
  EXPECT_TRUE(foreign.steps.empty());
  EXPECT_THAT(foreign.closing, ElementsAre(HasSubstr("isn't as glimmet wrote it")));
  EXPECT_EQ(foreign.status, ExitStatus::cannotStart);

  auto quoted = facts(UserManagerReach::reachable);
  quoted.executable = "/opt/it's/glimmet";
  EXPECT_TRUE(planCompanionInstall(quoted).steps.empty());
  EXPECT_EQ(planCompanionInstall(quoted).status, ExitStatus::cannotStart);
}

// A unit installed while a manager ran starts at the next login: a second
// way to start the companion would only start one to be refused.
TEST(CompanionSetupPlan, AUnitOfOursWithoutAManagerNowIsNotDoubledByAnAutostartEntry) {
  const auto same = planCompanionInstall(
      facts(UserManagerReach::unreachable, LaunchFileState::ours("/usr/bin/glimmet")));
  EXPECT_TRUE(same.steps.empty());
  const auto moved = planCompanionInstall(
      facts(UserManagerReach::unreachable, LaunchFileState::ours("/old/glimmet")));
  EXPECT_THAT(kinds(moved), ElementsAre(Step::Kind::writeUnit));
}

TEST(CompanionSetupPlan, UninstallUndoesTheUnitThroughTheManagerOrByHand) {
  const auto managed = planCompanionUninstall(
      facts(UserManagerReach::reachable, LaunchFileState::ours("/old/glimmet")));
  EXPECT_THAT(kinds(managed),
              ElementsAre(Step::Kind::systemctl, Step::Kind::removeUnit, Step::Kind::systemctl));
  EXPECT_EQ(managed.steps.front(), systemctl({"disable", "--now", kUnit}));
  EXPECT_EQ(managed.steps.back(), systemctl({"daemon-reload"}));
  EXPECT_EQ(managed.status, ExitStatus::ok);

  const auto byHand = planCompanionUninstall(facts(UserManagerReach::unreachable,
                                                   LaunchFileState::ours("/usr/bin/glimmet"),
                                                   LaunchFileState::ours("/usr/bin/glimmet")));
  EXPECT_THAT(kinds(byHand), ElementsAre(Step::Kind::removeWantsLink, Step::Kind::removeUnit,
                                         Step::Kind::removeAutostart));
}

// End to end covers nothing to undo and a changed file alone; this is both.
TEST(CompanionSetupPlan, UninstallThatLeavesOneFileAndRemovesTheOtherIsPartial) {
  const auto partly = planCompanionUninstall(facts(
      UserManagerReach::unreachable, LaunchFileState::foreign(), LaunchFileState::ours("/x")));
  EXPECT_THAT(kinds(partly), ElementsAre(Step::Kind::removeAutostart));
  EXPECT_THAT(partly.closing, ElementsAre(HasSubstr("isn't as glimmet wrote it")));
  EXPECT_EQ(partly.status, ExitStatus::partial);
}

}  // namespace
}  // namespace glimmet
