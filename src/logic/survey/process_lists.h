// The two lists a process command derives from one snapshot: dev servers and
// ghosts, under the user's rules. `ls` and `ghosts` take one each; the survey
// takes both from the same snapshot so that they describe the same instant.
#pragma once

#include <sys/types.h>

#include <optional>
#include <set>
#include <vector>

#include "core/ghosts/ghost_scanner.h"
#include "core/ghosts/protection.h"
#include "core/ports/dev_server.h"
#include "core/process/process_snapshot.h"
#include "core/process/system_process_table.h"
#include "logic/survey/system_facts.h"

namespace glimmet {

/// The rules every list applies: what is protected, who runs this command, and
/// the ghosts' minimum age.
struct ListRules {
  const ProtectedList& protectedList;
  const ProtectionContext& context;
  const SystemProcessTable& system;
  double ghostMinimumAge = 0;

  uid_t uid() const { return context.currentUID; }
};

/// Every listener of `snapshot` as a dev server. With a cache the signatures name
/// frameworks and agents; `ghostPIDs` marks the servers that are ghosts too.
std::vector<DevServer> devServers(const ProcessSnapshot& snapshot, const SystemFacts& facts,
                                  const ListRules& rules, MatchCache* cache,
                                  const std::set<pid_t>& ghostPIDs);

/// The ghosts of `snapshot`. `minimumAge` replaces the rules' one when given.
GhostReport ghostReport(const ProcessSnapshot& snapshot, const SystemFacts& facts,
                        const ListRules& rules, GhostScanner& scanner,
                        std::optional<double> minimumAge = std::nullopt);

}  // namespace glimmet
