// stop --idle's plan as it is shown, and what stopping each planned server
// needs beyond what the plan shows. Pure, over the survey's servers and snapshot.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/output/document.h"
#include "core/ports/dev_server.h"
#include "core/process/process_snapshot.h"
#include "logic/idle/idle_plan.h"

namespace glimmet {

/// The plan in either form: the whole answer in JSON, what comes before the
/// question in text.
struct StopPlanDocument {
  IdlePlan plan;
  double minimumAgeSeconds = 0;

  nlohmann::json toJson() const { return plan.document(minimumAgeSeconds); }
  /// The plan, or the sentence that says there is nothing to stop.
  std::vector<std::string> lines() const;
  /// Status 1 when nothing is planned; otherwise 0, and in text the question follows.
  ExitStatus status(OutputFormat) const {
    return plan.stop.empty() ? ExitStatus::nothingFound : ExitStatus::ok;
  }
};

/// A planned server with the facts the killer and the kill log need.
struct PlannedServer {
  IdleCandidate candidate;
  ProcessIdentity identity;
  std::optional<std::string> repoPath;
  std::optional<std::string> worktree;
  std::optional<std::string> branch;
};

/// The plan's servers as the survey saw them, in plan order; a server missing
/// from the survey's list or snapshot is left out.
std::vector<PlannedServer> plannedServers(const IdlePlan& plan,
                                          const std::vector<DevServer>& servers,
                                          const ProcessSnapshot& snapshot);

/// "Freed :3000 and 120 MB." or "Couldn't stop :3000."
std::string stopLine(const PlannedServer& server, bool stopped);

}  // namespace glimmet
