// The steps of install and uninstall, against the files and systemctl.
#include "app/companion_setup_steps.h"

#include <optional>

#include "logic/companion/companion_launch_files.h"
#include "platform/system_error.h"

namespace glimmet {
namespace {

using Step = CompanionSetupStep;

std::string commandText(const std::vector<std::string>& arguments) {
  std::string text = "systemctl --user";
  for (const auto& argument : arguments) text += " " + argument;
  return text;
}

// The plan was made from a read a moment ago; a file is removed only if it
// is still exactly as glimmet wrote it now, so an edit made since survives.
std::optional<std::string> removeIfOurs(const std::filesystem::path& path,
                                        LaunchFileState (*stateOf)(const LaunchFileContent&)) {
  if (stateOf(readLaunchFile(path)).kind != LaunchFileState::Kind::ours)
    return path.string() + " changed just now, so glimmet leaves it alone.";
  removeLaunchFile(path);
  return std::nullopt;
}

// What went wrong, in a sentence; nothing when the step succeeded.
std::optional<std::string> perform(const Step& step, const LaunchFilePlaces& places,
                                   const SystemdUserManager& manager,
                                   const std::string& executable) {
  try {
    switch (step.kind) {
      case Step::Kind::writeUnit:
        writeLaunchFile(places.unit, companion_files::unitFileText(executable));
        return std::nullopt;
      case Step::Kind::writeAutostart:
        writeLaunchFile(places.autostart, companion_files::autostartEntryText(executable));
        return std::nullopt;
      case Step::Kind::removeUnit:
        return removeIfOurs(places.unit, companion_files::unitFileState);
      case Step::Kind::removeAutostart:
        return removeIfOurs(places.autostart, companion_files::autostartEntryState);
      case Step::Kind::removeWantsLink:
        if (isLinkTo(places.wantsLink, places.unit)) removeLaunchFile(places.wantsLink);
        return std::nullopt;
      case Step::Kind::systemctl: {
        const auto outcome = manager.run(step.arguments);
        if (outcome.succeeded) return std::nullopt;
        return commandText(step.arguments) + " failed" +
               (outcome.lastLine.empty() ? "." : ": " + outcome.lastLine);
      }
    }
  } catch (const platform::SystemError& failure) {
    return std::string(failure.what()) + ".";
  }
  return std::nullopt;
}

}  // namespace

ExitStatus carryOutCompanionSetup(const CompanionSetupPlan& plan, const LaunchFilePlaces& places,
                                  const SystemdUserManager& manager, const std::string& executable,
                                  Output& out) {
  for (const auto& line : plan.preface) out.line(line);
  bool changedSomething = false;
  for (const auto& step : plan.steps) {
    if (const auto failure = perform(step, places, manager, executable)) {
      out.line(*failure);
      return changedSomething ? ExitStatus::partial : ExitStatus::cannotStart;
    }
    changedSomething = true;
    if (!step.doneLine.empty()) out.line(step.doneLine);
  }
  for (const auto& line : plan.closing) out.line(line);
  return plan.status;
}

}  // namespace glimmet
