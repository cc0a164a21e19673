#include "core/ghosts/ghost_scanner.h"

#include <algorithm>
#include <unordered_set>

#include "core/process/system_process_table.h"
#include "core/util/path_text.h"
#include "core/util/secret_masker.h"

namespace glimmet {
namespace {

bool isAlive(const AncestorEntry& entry, const ProcessSnapshot& snapshot) {
  const ProcessRecord* record = snapshot.record(entry.pid);
  return record != nullptr && record->identity == entry.identity();
}

std::optional<std::vector<std::string>> knownOrNone(const std::vector<std::string>& values) {
  if (values.empty()) return std::nullopt;
  return values;
}

// A process that passed every test but protection, with what it would be shown as.
struct Candidate {
  const ProcessRecord* record;
  Origin origin;
  std::string label;
  std::optional<std::string> framework;
  std::vector<AncestorEntry> chain;
  std::optional<std::string> repo;
  std::optional<RepoInfo> repoInfo;
};

Origin originOf(const ProcessRecord& process, const AncestorEntry* deadRoot,
                const std::optional<AgentRootMatch>& helperOf,
                const std::optional<GhostSignatureMatch>& signature,
                const SignatureEngine& engine) {
  if (deadRoot != nullptr) return Origin::exact(deadRoot->root->agent, deadRoot->identity());
  // Its own signature names the agent, more surely than what it inherited.
  if (helperOf) return Origin::likely(helperOf->agent, "command line");
  if (auto agent = engine.agentFromEnvironment(knownOrNone(process.environment)))
    return Origin::likely(std::move(*agent), "environment");
  if (auto agent = engine.agentFromPaths(knownOrNone(process.argv), process.cwd))
    return Origin::likely(std::move(*agent), "command line");
  return Origin::of(signature ? Origin::Kind::unknownAgent : Origin::Kind::orphanedDevServer);
}

bool hasCandidateAncestor(const ProcessRecord& record, const ProcessSnapshot& snapshot,
                          const std::unordered_set<pid_t>& candidates) {
  std::unordered_set<pid_t> visited = {record.pid()};
  for (pid_t pid = record.ppid; pid > 1 && visited.insert(pid).second;) {
    if (candidates.contains(pid)) return true;
    const ProcessRecord* ancestor = snapshot.record(pid);
    if (ancestor == nullptr) return false;
    pid = ancestor->ppid;
  }
  return false;
}

Ghost treeOf(Candidate candidate, const ProcessSnapshot& snapshot, const GhostScanFacts& facts) {
  Ghost ghost;
  ghost.root = *candidate.record;
  ghost.label = std::move(candidate.label);
  ghost.framework = std::move(candidate.framework);
  ghost.origin = std::move(candidate.origin);
  ghost.chainAtBirth = std::move(candidate.chain);
  ghost.repo = std::move(candidate.repo);
  if (candidate.repoInfo) {
    ghost.worktree = candidate.repoInfo->worktreeName;
    ghost.branch = candidate.repoInfo->headText();
  }
  std::vector<const ProcessRecord*> tree = {candidate.record};
  for (const ProcessRecord* member : snapshot.descendants(candidate.record->pid())) {
    ghost.members.push_back(member->identity);
    tree.push_back(member);
  }
  for (const ProcessRecord* process : tree) {
    ghost.footprint += process->footprint;
    const auto ports = facts.portsOf(process->pid());
    ghost.ports.insert(ghost.ports.end(), ports.begin(), ports.end());
  }
  std::sort(ghost.ports.begin(), ghost.ports.end());
  ghost.ports.erase(std::unique(ghost.ports.begin(), ghost.ports.end()), ghost.ports.end());
  return ghost;
}

}  // namespace

std::string displayCommand(const ProcessRecord& record) {
  if (record.argv.empty()) return record.name;
  const auto masked = SecretMasker::maskArguments(record.argv);
  std::string text(lastPathComponent(masked.front()));
  const auto operand = std::find_if(masked.begin() + 1, masked.end(),
                                    [](const std::string& word) { return !word.starts_with("-"); });
  if (operand != masked.end()) text.append(" ").append(lastPathComponent(*operand));
  return text;
}

GhostReport GhostScanner::scan(const ProcessSnapshot& snapshot, const ProtectedList& protectedList,
                               const ProtectionContext& context, double minimumAge,
                               const GhostScanFacts& facts) {
  // The recorder is not asked to observe this snapshot: whatever it would
  // record now lives under a live root, which is never a ghost. The tests run
  // cheapest first, so the signatures (and what they read of a process: its
  // executable, its script) are asked only of processes that could be ghosts.
  const auto now = snapshot.takenAt();
  const auto& system = systemProcessTable();
  GhostReport report;
  std::vector<Candidate> candidates;
  std::unordered_set<pid_t> candidatePIDs;
  // The programs with a live root: their helpers and daemons are still in use.
  // Only a helper asks, so they are looked for when one does.
  std::optional<std::unordered_set<std::string>> liveAgents;
  const auto agentIsLive = [&](const std::string& agent) {
    if (!liveAgents) {
      liveAgents.emplace();
      for (const auto& process : snapshot.records())
        if (process.uid == context.currentUID && process.status != ProcessStatus::zombie)
          if (const auto root = cache_.agentRoot(process)) liveAgents->insert(root->agent);
    }
    return liveAgents->contains(agent);
  };

  for (const auto& process : snapshot.records()) {
    if (process.uid != context.currentUID || process.status == ProcessStatus::zombie) continue;
    if (process.age(now) < minimumAge) continue;
    const auto* record = recorder_.recordFor(process.identity);
    const std::vector<AncestorEntry> none;
    const auto& chain = record != nullptr ? record->chain : none;
    // A terminal closed under a live agent or IDE leaves nothing behind.
    const auto nearestAgent = std::find_if(chain.begin(), chain.end(), [](const auto& entry) {
      return entry.root && entry.root->kind != SignatureSet::AgentRoot::Kind::terminal;
    });
    if (nearestAgent != chain.end() && isAlive(*nearestAgent, snapshot)) continue;
    const auto deadRoot = std::find_if(chain.begin(), chain.end(), [&](const auto& entry) {
      return entry.root && !isAlive(entry, snapshot);
    });
    if (deadRoot == chain.end() && !facts.reaperPIDs.contains(process.ppid)) continue;
    // Its agent is still running: nothing was left behind.
    if (hasAgentRootAncestor(process, snapshot, cache_)) continue;
    if (facts.isManagedJob(process.pid())) continue;
    // An agent's daemon serves every session of that agent, so it is left behind
    // only once none of them runs.
    const auto helperOf = cache_.agentHelper(process);
    if (helperOf && agentIsLive(helperOf->agent)) continue;

    auto signature = cache_.ghostSignature(process);
    // Such kinds are only ever caught inside an ancestor's tree.
    if (signature && signature->requiresGhostAncestor) signature.reset();
    auto framework = cache_.framework(process);
    const AncestorEntry* dead = deadRoot == chain.end() ? nullptr : &*deadRoot;
    if (dead == nullptr && !signature && !framework && !helperOf) continue;

    Candidate candidate{&process, originOf(process, dead, helperOf, signature, cache_.engine()),
                        {},       framework,
                        chain,    std::nullopt};
    candidate.label = helperOf    ? helperOf->agent + " helper"
                      : signature ? signature->label
                      : framework ? *framework + " dev server"
                                  : displayCommand(process);
    if (process.cwd) candidate.repoInfo = facts.repoOf(*process.cwd);
    // The main repository, so a rule for a repository covers its worktrees.
    if (candidate.repoInfo) candidate.repo = candidate.repoInfo->mainRepoPath;
    candidatePIDs.insert(process.pid());

    const auto subject = protectionSubject(process, facts.portsOf(process.pid()), candidate.repo,
                                           cache_.agentRoot(process));
    if (auto reason = checkProtection(subject, context, protectedList, system)) {
      report.protectedMatches.push_back({process, std::move(*reason)});
      continue;
    }
    candidates.push_back(std::move(candidate));
  }

  // A candidate inside another candidate's tree (protected ones included, so that
  // nothing below a protected process is stopped) goes with that tree.
  for (auto& candidate : candidates)
    if (!hasCandidateAncestor(*candidate.record, snapshot, candidatePIDs))
      report.ghosts.push_back(treeOf(std::move(candidate), snapshot, facts));
  std::sort(report.ghosts.begin(), report.ghosts.end(), [](const Ghost& a, const Ghost& b) {
    if (a.root.identity.startTime != b.root.identity.startTime)
      return a.root.identity.startTime < b.root.identity.startTime;
    return a.root.pid() < b.root.pid();
  });
  return report;
}

}  // namespace glimmet
