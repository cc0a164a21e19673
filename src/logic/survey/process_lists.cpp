#include "logic/survey/process_lists.h"

#include "core/ghosts/reapers.h"

namespace glimmet {
namespace {

// Other users' listeners, and those whose holder can't be read, with owners as
// the snapshot saw them.
std::vector<ForeignListener> foreignListeners(const ProcessSnapshot& snapshot,
                                              const SystemFacts& facts, uid_t uid) {
  return ForeignPortScanner(uid).scan(facts.allListeners(), [&](pid_t pid) -> std::optional<uid_t> {
    const auto* record = snapshot.record(pid);
    if (record == nullptr) return std::nullopt;
    return record->uid;
  });
}

}  // namespace

std::vector<DevServer> devServers(const ProcessSnapshot& snapshot, const SystemFacts& facts,
                                  const ListRules& rules, MatchCache* cache,
                                  const std::set<pid_t>& ghostPIDs) {
  DevServerSources sources;
  sources.repoLookup = facts.repoOf;
  sources.protection = [&](const ProcessRecord& record, const std::vector<std::uint16_t>& ports) {
    std::optional<std::string> repo;
    if (record.cwd) {
      const auto status = facts.repoOf(*record.cwd);
      if (status.info) repo = status.info->mainRepoPath;
    }
    const auto subject = cache != nullptr
                             ? protectionSubject(record, ports, repo, cache->agentRoot(record))
                             : protectionSubject(record, ports, repo);
    return checkProtection(subject, rules.context, rules.protectedList, rules.system);
  };
  sources.framework = [&](const ProcessRecord& record) -> std::optional<std::string> {
    if (cache == nullptr) return std::nullopt;
    return cache->framework(record);
  };
  return DevServerList::build(snapshot, facts.listening,
                              foreignListeners(snapshot, facts, rules.uid()), sources, ghostPIDs,
                              rules.uid(), snapshot.takenAt());
}

GhostReport ghostReport(const ProcessSnapshot& snapshot, const SystemFacts& facts,
                        const ListRules& rules, GhostScanner& scanner,
                        std::optional<double> minimumAge) {
  GhostScanFacts scanFacts;
  scanFacts.reaperPIDs = reaperPIDs(rules.uid(), snapshot, facts.cgroupOf);
  scanFacts.isManagedJob = facts.isManagedJob;
  scanFacts.portsOf = [&](pid_t pid) { return facts.portsOfPID(pid); };
  scanFacts.repoOf = [&](const std::string& cwd) { return facts.repoOf(cwd).info; };
  return scanner.scan(snapshot, rules.protectedList, rules.context,
                      minimumAge.value_or(rules.ghostMinimumAge), scanFacts);
}

}  // namespace glimmet
