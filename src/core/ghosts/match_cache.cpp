#include "core/ghosts/match_cache.h"

#include <unordered_set>

namespace glimmet {
namespace {

template <typename Value, typename Compute>
Value remembered(std::unordered_map<ProcessIdentity, Value>& map, const ProcessIdentity& identity,
                 Compute compute) {
  if (const auto found = map.find(identity); found != map.end()) return found->second;
  return map.emplace(identity, compute()).first->second;
}

template <typename IsRoot>
bool walkAncestors(const ProcessRecord& record, const ProcessSnapshot& snapshot, IsRoot isRoot) {
  std::unordered_set<pid_t> visited = {record.pid()};
  for (pid_t pid = record.ppid; pid > 1 && visited.insert(pid).second;) {
    const ProcessRecord* ancestor = snapshot.record(pid);
    if (ancestor == nullptr) return false;
    if (isRoot(*ancestor)) return true;
    pid = ancestor->ppid;
  }
  return false;
}

}  // namespace

std::optional<AgentEntryMatch> MatchCache::agentEntry(const ProcessRecord& record) {
  return remembered(roots_, record.identity,
                    [&] { return engine_.agentEntry(MatchInput::of(record)); });
}

std::optional<AgentRootMatch> MatchCache::agentRoot(const ProcessRecord& record) {
  auto match = agentEntry(record);
  if (!match || match->isHelper) return std::nullopt;
  return std::move(match->entry);
}

std::optional<AgentRootMatch> MatchCache::agentHelper(const ProcessRecord& record) {
  auto match = agentEntry(record);
  if (!match || !match->isHelper) return std::nullopt;
  return std::move(match->entry);
}

std::optional<GhostSignatureMatch> MatchCache::ghostSignature(const ProcessRecord& record) {
  return remembered(ghosts_, record.identity,
                    [&] { return engine_.ghostSignature(MatchInput::of(record)); });
}

std::optional<std::string> MatchCache::framework(const ProcessRecord& record) {
  return remembered(frameworks_, record.identity,
                    [&] { return engine_.framework(MatchInput::of(record)); });
}

bool hasAgentRootAncestor(const ProcessRecord& record, const ProcessSnapshot& snapshot,
                          MatchCache& cache) {
  return walkAncestors(record, snapshot, [&](const ProcessRecord& ancestor) {
    return cache.agentRoot(ancestor).has_value();
  });
}

bool hasAgentRootAncestor(const ProcessRecord& record, const ProcessSnapshot& snapshot,
                          const SignatureEngine& engine) {
  return walkAncestors(record, snapshot, [&](const ProcessRecord& ancestor) {
    return engine.agentRoot(MatchInput::of(ancestor)).has_value();
  });
}

}  // namespace glimmet
