#include "app/system_view.h"

#include "platform/paths.h"
#include "platform/service_units.h"

namespace glimmet {

SystemView::SystemView(const CommandInputs& inputs, const ProcessSnapshot& snapshot)
    : sockets_(&snapshot),
      repos_(inputs.home, inputs.settings.folderAccessExplained,
             platform::consentFolders(inputs.home)) {
  facts_.listening = Deferred<std::vector<ListeningProcess>>::later(
      [this, &snapshot, uid = inputs.uid()] { return sockets_.listeningProcesses(snapshot, uid); });
  facts_.portsOf = [this, &snapshot, uid = inputs.uid()](pid_t pid) {
    const auto* record = snapshot.record(pid);
    return record == nullptr ? std::vector<std::uint16_t>{} : sockets_.portsOf(*record, uid);
  };
  facts_.allListeners = [this] { return sockets_.allListeners(); };
  facts_.repoOf = [this, takenAt = snapshot.takenAt()](const std::string& cwd) {
    return repos_.resolve(cwd, takenAt);
  };
  facts_.cgroupOf = [](pid_t pid) -> std::optional<std::string> {
    const auto unit = platform::serviceUnit(pid);
    if (!unit) return std::nullopt;
    return unit->cgroupPath;
  };
  facts_.isManagedJob = [](pid_t pid) {
    const auto unit = platform::serviceUnit(pid);
    return unit && unit->managed;
  };
}

}  // namespace glimmet
