#include "app/system_view.h"

#include "platform/paths.h"
#include "platform/service_units.h"

namespace glimmet {

SystemView::SystemView(const CommandInputs& inputs, const ProcessSnapshot& snapshot)
    : repos_(inputs.home, inputs.settings.folderAccessExplained,
             platform::consentFolders(inputs.home)) {
  facts_.listening = sockets_.listeningProcesses(snapshot, inputs.uid());
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
