// Install and uninstall, decided.
#include "logic/companion/companion_setup_plan.h"

#include "logic/companion/companion_launch_files.h"

namespace glimmet {
namespace {

using Step = CompanionSetupStep;
using Kind = LaunchFileState::Kind;

Step systemctl(std::vector<std::string> arguments, std::string doneLine = {}) {
  return {Step::Kind::systemctl, std::move(arguments), std::move(doneLine)};
}

Step fileStep(Step::Kind kind, std::string doneLine = {}) {
  return {kind, {}, std::move(doneLine)};
}

std::string leftAlone(const std::string& path) {
  return path + " isn't as glimmet wrote it, so glimmet leaves it alone.";
}

std::string whyNoUnit(UserManagerReach manager) {
  return manager == UserManagerReach::noSystemctl
             ? "There is no systemctl here, so no systemd user manager to run the companion."
             : "systemctl --user can't reach a systemd user manager here (a container, say, or SSH "
               "without lingering).";
}

CompanionSetupPlan refusal(std::vector<std::string> preface, std::string line) {
  return {std::move(preface), {}, {std::move(line)}, ExitStatus::cannotStart};
}

CompanionSetupPlan installUnit(const CompanionSetupFacts& facts) {
  const std::string unit(companion_files::unitName);
  if (facts.unit.kind == Kind::foreign)
    return refusal({}, leftAlone(facts.unitPath) + " Move it away and install again.");
  if (!companion_files::unitCanName(facts.executable))
    return refusal({},
                   "systemd can't run a program from a path with a quote, a backslash, a "
                   "control character or bytes that aren't UTF-8: " +
                       facts.executable + ". Move glimmet and install again.");

  CompanionSetupPlan plan;
  if (facts.unit.kind == Kind::absent) {
    plan.steps = {fileStep(Step::Kind::writeUnit), systemctl({"daemon-reload"}),
                  systemctl({"enable", "--now", unit})};
    plan.closing = {"Installed the companion as a systemd user unit: " + facts.unitPath + ".",
                    "It runs now and whenever you log in."};
  } else if (facts.unit.executable != facts.executable) {
    // The companion running now is the old glimmet: restart it on the new one.
    plan.steps = {fileStep(Step::Kind::writeUnit), systemctl({"daemon-reload"}),
                  systemctl({"enable", unit}), systemctl({"restart", unit})};
    plan.closing = {"Updated the companion's unit: it now runs " + facts.executable + "."};
  } else {
    // Nothing to write, but a unit someone disabled or stopped runs again.
    plan.steps = {systemctl({"enable", "--now", unit})};
    plan.closing = {"The companion is already installed: " + facts.unitPath + "."};
  }
  // Two ways to start it would start two companions, the second only to be refused.
  if (facts.autostart.kind == Kind::ours)
    plan.steps.push_back(fileStep(
        Step::Kind::removeAutostart,
        "Removed the autostart entry of an earlier install: " + facts.autostartPath + "."));
  return plan;
}

CompanionSetupPlan installAutostart(const CompanionSetupFacts& facts) {
  CompanionSetupPlan plan;
  plan.preface = {whyNoUnit(facts.manager)};
  if (facts.unit.kind == Kind::ours) {
    // Installed while a manager ran: it starts the unit at the next login.
    if (facts.unit.executable == facts.executable) {
      plan.closing = {"The companion is already installed as a systemd user unit: " +
                      facts.unitPath + ". It starts when your user manager next runs."};
    } else {
      plan.steps = {fileStep(Step::Kind::writeUnit)};
      plan.closing = {"Updated the companion's unit: it runs " + facts.executable +
                      " from when your user manager next starts."};
    }
    return plan;
  }
  if (facts.autostart.kind == Kind::foreign)
    return refusal(plan.preface,
                   leftAlone(facts.autostartPath) + " Move it away and install again.");
  if (!companion_files::autostartCanName(facts.executable))
    return refusal(plan.preface,
                   "An autostart entry can't start a program from a path with a "
                   "%, a control character or bytes that aren't UTF-8: " +
                       facts.executable + ". Move glimmet and install again.");
  if (facts.autostart.kind == Kind::absent) {
    plan.steps = {fileStep(Step::Kind::writeAutostart)};
    plan.closing = {"Wrote an autostart entry instead: " + facts.autostartPath + ".",
                    "It starts the companion when you log in to a desktop; until then, run "
                    "glimmet companion run yourself."};
  } else if (facts.autostart.executable != facts.executable) {
    plan.steps = {fileStep(Step::Kind::writeAutostart)};
    plan.closing = {"Updated the companion's autostart entry: it now runs " + facts.executable +
                    "."};
  } else {
    plan.closing = {
        "The companion is already installed as an autostart entry: " + facts.autostartPath + "."};
  }
  return plan;
}

}  // namespace

CompanionSetupPlan planCompanionInstall(const CompanionSetupFacts& facts) {
  return facts.manager == UserManagerReach::reachable ? installUnit(facts)
                                                      : installAutostart(facts);
}

CompanionSetupPlan planCompanionUninstall(const CompanionSetupFacts& facts) {
  const std::string unit(companion_files::unitName);
  CompanionSetupPlan plan;
  if (facts.unit.kind == Kind::ours) {
    if (facts.manager == UserManagerReach::reachable) {
      plan.steps = {systemctl({"disable", "--now", unit}),
                    fileStep(Step::Kind::removeUnit,
                             "Stopped the companion and removed its unit: " + facts.unitPath + "."),
                    systemctl({"daemon-reload"})};
    } else {
      // Without a manager to disable it, its enable link goes by hand, or it
      // would be left pointing at nothing.
      if (facts.wantsLinkIsOurs) plan.steps.push_back(fileStep(Step::Kind::removeWantsLink));
      plan.steps.push_back(fileStep(Step::Kind::removeUnit,
                                    "Removed the companion's unit: " + facts.unitPath + "."));
    }
  } else if (facts.unit.kind == Kind::foreign) {
    plan.closing.push_back(leftAlone(facts.unitPath));
  }
  if (facts.autostart.kind == Kind::ours) {
    plan.steps.push_back(
        fileStep(Step::Kind::removeAutostart,
                 "Removed the companion's autostart entry: " + facts.autostartPath + "."));
  } else if (facts.autostart.kind == Kind::foreign) {
    plan.closing.push_back(leftAlone(facts.autostartPath));
  }

  if (plan.steps.empty() && plan.closing.empty()) {
    plan.closing = {"The companion isn't installed, so there is nothing to undo."};
    plan.status = ExitStatus::nothingFound;
  } else if (!plan.closing.empty()) {
    plan.status = plan.steps.empty() ? ExitStatus::cannotStart : ExitStatus::partial;
  }
  return plan;
}

}  // namespace glimmet
