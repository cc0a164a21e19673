// Deciding which processes are ghosts, over one snapshot and the recorded
// ancestry. Pure: what it needs of the system comes in as values and functions.
#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/ghosts/ghost.h"
#include "core/ghosts/match_cache.h"
#include "core/ports/repo_resolver.h"

namespace glimmet {

/// What the scan reads beyond the snapshot.
struct GhostScanFacts {
  /// The processes orphans are re-parented to (pid 1 and the user's manager).
  std::set<pid_t> reaperPIDs = {1};
  /// Whether the service manager runs this process (it restarts it; not ours).
  std::function<bool(pid_t)> isManagedJob = [](pid_t) { return false; };
  /// The listening ports of a process; asked only of the ghosts' trees.
  std::function<std::vector<std::uint16_t>(pid_t)> portsOf = [](pid_t) {
    return std::vector<std::uint16_t>{};
  };
  /// The repository of a working folder.
  std::function<std::optional<RepoInfo>(const std::string& cwd)> repoOf = [](const std::string&) {
    return std::nullopt;
  };
};

class GhostScanner {
 public:
  GhostScanner(const SignatureEngine& engine, AncestryRecorder recorder)
      : cache_(engine), recorder_(std::move(recorder)) {}

  GhostReport scan(const ProcessSnapshot& snapshot, const ProtectedList& protectedList,
                   const ProtectionContext& context, double minimumAge,
                   const GhostScanFacts& facts);

  MatchCache& cache() { return cache_; }
  const AncestryRecorder& recorder() const { return recorder_; }

 private:
  MatchCache cache_;
  AncestryRecorder recorder_;
};

}  // namespace glimmet
