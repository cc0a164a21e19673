#include "app/process_views.h"

#include "core/ghosts/ancestry_recorder.h"
#include "core/ghosts/reapers.h"
#include "platform/paths.h"
#include "platform/service_units.h"
#include "platform/system_processes.h"

namespace glimmet {

SystemView::SystemView(const CommandInputs& inputs, const ProcessSnapshot& snapshot)
    : snapshot_(snapshot),
      uid_(inputs.uid()),
      listening_(sockets_.listeningProcesses(snapshot, inputs.uid())),
      repos_(inputs.home, inputs.settings.folderAccessExplained,
             platform::consentFolders(inputs.home)) {}

std::unordered_map<pid_t, std::vector<std::uint16_t>> SystemView::portsByPid() const {
  std::unordered_map<pid_t, std::vector<std::uint16_t>> ports;
  for (const auto& listener : listening_) ports[listener.identity.pid] = listener.ports;
  return ports;
}

std::vector<ForeignListener> SystemView::foreignListeners() const {
  return ForeignPortScanner(uid_).scan(sockets_.allListeners(),
                                       [&](pid_t pid) -> std::optional<uid_t> {
                                         const auto* record = snapshot_.record(pid);
                                         if (record == nullptr) return std::nullopt;
                                         return record->uid;
                                       });
}

std::vector<DevServer> devServers(const CommandInputs& inputs, SystemView& view, MatchCache* cache,
                                  const std::set<pid_t>& ghostPIDs) {
  const auto now = view.snapshot().takenAt();
  const auto& system = platform::systemProcessTable();
  DevServerSources sources;
  sources.repoLookup = [&](const std::string& cwd) { return view.repos().resolve(cwd, now); };
  sources.protection = [&](const ProcessRecord& record, const std::vector<std::uint16_t>& ports) {
    std::optional<std::string> repo;
    if (record.cwd) {
      const auto status = view.repos().resolve(*record.cwd, now);
      if (status.info) repo = status.info->mainRepoPath;
    }
    const auto subject = cache != nullptr
                             ? protectionSubject(record, ports, repo, cache->agentRoot(record))
                             : protectionSubject(record, ports, repo);
    return checkProtection(subject, inputs.context, inputs.protectedList, system);
  };
  sources.framework = [&](const ProcessRecord& record) -> std::optional<std::string> {
    if (cache == nullptr) return std::nullopt;
    return cache->framework(record);
  };
  return DevServerList::build(view.snapshot(), view.listening(), view.foreignListeners(), sources,
                              ghostPIDs, inputs.uid(), now);
}

GhostReport ghostReport(const CommandInputs& inputs, SystemView& view, GhostScanner& scanner,
                        std::optional<double> minimumAge) {
  const auto& snapshot = view.snapshot();
  const auto now = snapshot.takenAt();
  GhostScanFacts facts;
  facts.reaperPIDs =
      reaperPids(inputs.uid(), snapshot, [](pid_t pid) -> std::optional<std::string> {
        const auto unit = platform::serviceUnit(pid);
        if (!unit) return std::nullopt;
        return unit->cgroupPath;
      });
  facts.isManagedJob = [](pid_t pid) {
    const auto unit = platform::serviceUnit(pid);
    return unit && unit->managed;
  };
  facts.portsByPid = view.portsByPid();
  facts.repoOf = [&](const std::string& cwd) { return view.repos().resolve(cwd, now).info; };
  return scanner.scan(snapshot, inputs.protectedList, inputs.context,
                      minimumAge.value_or(inputs.settings.ghostMinimumAge), facts);
}

}  // namespace glimmet
