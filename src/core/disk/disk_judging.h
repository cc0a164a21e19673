// The last step of a disk scan: each measured candidate becomes an item with
// its rule, safety, reasons and, when something protects or uses it, the
// reason it is blocked; Docker's figures become items of their own; and the
// rest of the home folder is totalled by category.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "core/disk/disk_finding.h"
#include "core/safety/liveness_guard.h"

namespace glimmet {

/// What runs on the machine as the scan judges its items.
struct LiveState {
  LivenessInput liveness;
  /// Folders seen as working folders of running processes, with when: the
  /// scan cache's memory with this moment's added.
  std::map<std::string, SystemTime> lastSeenLive;
};

/// The items of the measured candidates, in candidate order. Project items
/// below the options' minimum size and chats newer than the history age are
/// left out. Checks the disk again for protected places.
std::vector<DiskItem> judgeCandidates(const std::vector<Candidate>& candidates,
                                      const LeftoverRuleSet& rules, const DiskScanOptions& options,
                                      const LiveState& live);

/// One item per Docker rule, from the engine's figures.
std::vector<DiskItem> dockerItems(const std::vector<const LeftoverRule*>& dockerRules,
                                  const DockerStats& stats);

/// Each top-level entry less the items measured inside it, totalled by
/// category in category order.
std::vector<DiskContext> contextTotals(const std::string& home,
                                       const std::vector<std::string>& topLevel,
                                       const std::vector<Measurement>& measurements,
                                       const std::vector<DiskItem>& items);

}  // namespace glimmet
