// Install, uninstall and status of the companion: read what is there, decide
// with logic, then act or print.
#include "app/companion_setup_run.h"

#include <chrono>

#include "app/companion_setup_steps.h"
#include "core/companion/companion_lock_probe.h"
#include "core/companion/companion_state.h"
#include "core/ghosts/ancestry_recorder.h"
#include "core/settings/json_store.h"
#include "core/settings/shared_files.h"
#include "core/util/home_path.h"
#include "logic/companion/companion_launch_files.h"
#include "logic/companion/companion_status_document.h"
#include "platform/paths.h"

namespace glimmet {
namespace {

struct Setting {
  LaunchFilePlaces places;
  std::string home;
  std::string executable;

  explicit Setting(const RunContext& context)
      : places(LaunchFilePlaces::forUser(context.environment)),
        home(platform::homeDir(context.environment).string()),
        executable(context.executable.string()) {}

  std::string shown(const std::filesystem::path& path) const {
    return tildePath(path.string(), home);
  }
};

CompanionSetupFacts setupFacts(const Setting& setting) {
  if (setting.executable.empty())
    throw CommandFailure("Couldn't find where this glimmet lives, so there is nothing to start.",
                         ExitStatus::cannotStart);
  CompanionSetupFacts facts;
  facts.executable = setting.executable;
  facts.unitPath = setting.shown(setting.places.unit);
  facts.autostartPath = setting.shown(setting.places.autostart);
  facts.unit = companion_files::unitFileState(readLaunchFile(setting.places.unit));
  facts.autostart = companion_files::autostartEntryState(readLaunchFile(setting.places.autostart));
  facts.wantsLinkIsOurs = isLinkTo(setting.places.wantsLink, setting.places.unit);
  return facts;
}

std::optional<CompanionInstallation> installation(const Setting& setting) {
  const auto unit = companion_files::unitFileState(readLaunchFile(setting.places.unit));
  const auto autostart =
      companion_files::autostartEntryState(readLaunchFile(setting.places.autostart));
  const auto described = [&](CompanionInstallation::Kind kind, const LaunchFileState& state,
                             const std::filesystem::path& path) {
    CompanionInstallation found{kind, setting.shown(path), std::nullopt};
    if (state.kind == LaunchFileState::Kind::ours) found.runs = state.executable;
    return found;
  };
  if (unit.kind != LaunchFileState::Kind::absent)
    return described(CompanionInstallation::Kind::systemdUnit, unit, setting.places.unit);
  if (autostart.kind != LaunchFileState::Kind::absent)
    return described(CompanionInstallation::Kind::autostartEntry, autostart,
                     setting.places.autostart);
  return std::nullopt;
}

}  // namespace

ExitStatus runCompanionInstall(const CompanionInstallRequest&, RunContext& context) {
  const Setting setting(context);
  auto facts = setupFacts(setting);
  const SystemdUserManager manager(context.environment);
  facts.manager = manager.reach();
  return carryOutCompanionSetup(planCompanionInstall(facts), setting.places, manager,
                                setting.executable, context.out);
}

ExitStatus runCompanionUninstall(const CompanionInstallRequest&, RunContext& context) {
  const Setting setting(context);
  auto facts = setupFacts(setting);
  const SystemdUserManager manager(context.environment);
  // Only a unit of ours needs the manager; anything else is a file to remove.
  if (facts.unit.kind == LaunchFileState::Kind::ours) facts.manager = manager.reach();
  return carryOutCompanionSetup(planCompanionUninstall(facts), setting.places, manager,
                                setting.executable, context.out);
}

ExitStatus runCompanionStatus(const CompanionStatusRequest& request, RunContext& context) {
  const auto folder = platform::sharedDataDir(context.environment);
  const JSONStore store(folder);
  CompanionStatusFacts facts;
  facts.running = companionLockIsHeld(folder);
  facts.state = store.load<CompanionState>(shared_files::companionState);
  facts.heartbeat = store.loadJson(shared_files::mcpHeartbeat);
  facts.inbox = store.loadJson(shared_files::mcpInbox);
  // A running companion counts its records in companion.json; otherwise the
  // file it left is what ghosts would read.
  if (!facts.running || !facts.state)
    facts.ancestryFileRecords = AncestryRecorder::load(folder).size();
  facts.installation = installation(Setting(context));
  const auto document = CompanionStatusDocument::from(facts, std::chrono::system_clock::now());
  return printDocument(context.out, document, outputFormat(request.json));
}

}  // namespace glimmet
