// scanDisk: find candidates by rule, measure them on the walker pool, then
// judge each item's safety, reasons and blocking.
#include "core/disk/disk_scanner.h"

#include <algorithm>

#include "core/disk/disk_finding.h"
#include "core/disk/disk_judging.h"
#include "core/disk/disk_measuring.h"
#include "platform/volume.h"

namespace glimmet {

std::string_view rawValue(NotScanned::Reason reason) {
  switch (reason) {
    case NotScanned::Reason::needsConsent:
      return "needsConsent";
    case NotScanned::Reason::noAccess:
      return "noAccess";
    case NotScanned::Reason::otherVolume:
      return "otherVolume";
    case NotScanned::Reason::cloud:
      return "cloud";
    case NotScanned::Reason::personalMedia:
      return "personalMedia";
  }
  return {};
}

DiskScanResult scanDisk(const LeftoverRuleSet& rules, const DiskScanOptions& options,
                        const LivenessInput& liveness) {
  DiskScanResult result;
  result.startedAt = options.now;
  result.home = options.home;
  result.rulesVersion = rules.version;
  result.freeBytes = platform::availableBytes(options.home);

  auto found = findLeftovers(rules, options);
  result.notScanned = std::move(found.notScanned);
  const auto walkers = static_cast<size_t>(std::max<int64_t>(options.rules.maxWalkers, 1));
  const auto measured = measureFindings(found, walkers, *options.cancel);
  result.items = judgeCandidates(found.candidates, rules, options, liveness);

  // Docker figures, from the engine itself.
  if (options.docker) {
    auto stats = loadDockerDiskUsage(*options.docker);
    if (const auto* usage = std::get_if<DockerStats>(&stats)) {
      result.docker = DockerDiskState::running;
      for (auto& item : dockerItems(found.dockerRules, *usage))
        result.items.push_back(std::move(item));
    } else {
      result.docker = options.docker->socketPath() ? DockerDiskState::notRunning
                                                   : DockerDiskState::notInstalled;
    }
  }

  result.context = contextTotals(options.home, found.topLevel, measured.topLevel, result.items);
  result.trashBytes = measureTrash(options.trashRoots, walkers, *options.cancel);
  result.complete = !measured.cancelled && !options.cancel->isCancelled();
  return result;
}

}  // namespace glimmet
