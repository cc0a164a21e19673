// scanDisk: find and measure the candidates in one walk while Docker and the
// tools are asked, then judge each item's safety, reasons and blocking.
#include "core/disk/disk_scanner.h"

#include <algorithm>
#include <future>
#include <map>

#include "core/disk/disk_finding.h"
#include "core/disk/disk_judging.h"
#include "platform/volume.h"

namespace glimmet {

namespace {

using LookupAnswerMap = std::map<const LeftoverRule*, std::optional<std::string>>;

// Rules whose tool decides where its folder is, and has left a trace here.
std::vector<const LeftoverRule*> rulesToAsk(const LeftoverRuleSet& rules,
                                            const DiskScanOptions& options) {
  std::vector<const LeftoverRule*> asking;
  if (!options.allowLookups || !options.lookups) return asking;
  for (const auto& rule : rules.rules)
    if (rule.match == LeftoverRule::Match::path && rule.resolveWith &&
        !options.rememberedLookups.count(*rule.resolveWith) &&
        options.lookups->shouldAsk(*rule.resolveWith))
      asking.push_back(&rule);
  return asking;
}

// Every tool at once: one login shell finds them all, then each answers on
// its own thread within its own time limit.
LookupAnswerMap askTools(const std::vector<const LeftoverRule*>& asking,
                         const DiskScanOptions& options) {
  if (options.prepareLookups) options.prepareLookups();
  std::vector<std::future<std::optional<std::string>>> answers;
  for (const auto* rule : asking)
    answers.push_back(std::async(
        std::launch::async, [&, rule] { return options.lookups->lookup(*rule->resolveWith); }));
  LookupAnswerMap found;
  for (size_t i = 0; i < asking.size(); ++i) found[asking[i]] = answers[i].get();
  return found;
}

}  // namespace

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
                        const std::function<LiveState()>& readLiveState) {
  DiskScanResult result;
  result.startedAt = options.now;
  result.home = options.home;
  result.rulesVersion = rules.version;
  result.freeBytes = platform::availableBytes(options.home);

  // What runs now is read, and the engine and the tools are asked (each
  // within its own time limit), while the walk runs, so that they cost
  // nothing when the walk takes longer.
  auto live = std::async(std::launch::async, readLiveState);
  std::future<DockerResult<DockerStats>> dockerStats;
  if (options.docker)
    dockerStats =
        std::async(std::launch::async, [&] { return loadDockerDiskUsage(*options.docker); });
  const auto asking = rulesToAsk(rules, options);
  std::future<LookupAnswerMap> lookups;
  if (!asking.empty())
    lookups = std::async(std::launch::async, [&] { return askTools(asking, options); });

  auto found = findLeftovers(rules, options, asking,
                             [&] { return lookups.valid() ? lookups.get() : LookupAnswerMap{}; });
  result.notScanned = std::move(found.notScanned);
  result.items = judgeCandidates(found.candidates, rules, options, live.get());

  if (dockerStats.valid()) {
    auto stats = dockerStats.get();
    if (const auto* usage = std::get_if<DockerStats>(&stats)) {
      result.docker = DockerDiskState::running;
      for (auto& item : dockerItems(found.dockerRules, *usage))
        result.items.push_back(std::move(item));
    } else {
      result.docker = options.docker->socketPath() ? DockerDiskState::notRunning
                                                   : DockerDiskState::notInstalled;
    }
  }

  result.context =
      contextTotals(options.home, found.topLevel, found.topLevelMeasurements, result.items);
  result.trashBytes = found.trashBytes;
  result.toolFolders = std::move(found.toolFolders);
  result.complete = !found.cancelled && !options.cancel->isCancelled();
  return result;
}

}  // namespace glimmet
