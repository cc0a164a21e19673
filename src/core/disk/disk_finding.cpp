// findLeftovers: what is known before the walk (rule folders, folders left
// out, extra roots) is laid out as a map of the home folder; one walk of the
// home folder and of the roots it can't reach finds and measures the rest;
// git's worktree records and the tools' answers settle the last items.
#include "core/disk/disk_finding.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

#include "core/disk/disk_paths.h"
#include "core/disk/disk_walker.h"
#include "core/disk/scan_walk.h"
#include "platform/file_system.h"

namespace glimmet {
namespace {

using Match = LeftoverRule::Match;
using Kind = platform::FileStatus::Kind;

// Top-level folders of the home folder that are never walked as part of it.
const std::set<std::string> kNeverWalked = {"Library", ".Trash"};
const std::set<std::string> kPersonalMedia = {"Pictures", "Music", "Movies", "Videos"};

// A rule folder and how it gets measured: in the walk of the home folder, or
// as a root of its own where that walk can't reach it.
struct Planned {
  size_t candidate;
  std::shared_ptr<TreeTally> tally;
};

class Finder {
 public:
  Finder(const LeftoverRuleSet& rules, const DiskScanOptions& options,
         const std::vector<const LeftoverRule*>& asking)
      : rules_(rules),
        options_(options),
        asking_(asking),
        home_(options.home),
        paths_(options.home, options.environment),
        walkers_(static_cast<size_t>(std::max<int64_t>(options.rules.maxWalkers, 1))) {
    setup_.home = home_;
    setup_.discoveryDepth = static_cast<int>(options.rules.discoveryDepth);
    setup_.excludePatterns = options.rules.excludePatterns;
    setup_.walkers = walkers_;
    setup_.cancel = options.cancel.get();
    setup_.progress = options.progress;
  }

  DiskFindings run(const LookupAnswers& answers) {
    leaveOut();
    addRuleFolders();
    addExtraRoots();
    addTrash();
    walk();
    addWorktrees();
    settleLookups(answers);
    measureTheRest();
    finish();
    return std::move(found_);
  }

 private:
  bool excluded(const std::string& path) const {
    return excludedByPattern(options_.rules.excludePatterns, home_,
                             std::filesystem::path(path).filename().string(), path);
  }

  // Folders left out of the home walk, and why.
  void leaveOut() {
    auto leave = [&](const std::string& path) {
      leftOut_.insert(path);
      if (auto* place = placeInHome(path, /*create=*/true)) place->leftOut = true;
    };
    for (const auto& name : kNeverWalked) leave(home_ + "/" + name);
    for (const auto& name : kPersonalMedia)
      if (platform::entryExists(home_ + "/" + name)) {
        leave(home_ + "/" + name);
        found_.notScanned.push_back({home_ + "/" + name, NotScanned::Reason::personalMedia});
      }
    if (!options_.rules.includeProtectedFolders)
      for (const auto& folder : options_.consentFolders)
        if (platform::entryExists(folder)) {
          leave(folder);
          found_.notScanned.push_back({folder, NotScanned::Reason::needsConsent});
        }
    for (const auto& trash : options_.trashRoots) leave(trash);
  }

  // The place of `path` in the map of the home folder; null outside it.
  KnownFolder* placeInHome(const std::string& path, bool create) {
    if (!disk_path::isWithin(path, home_) || path.size() <= home_.size()) return nullptr;
    KnownFolder* place = &known_;
    for (const auto& part : std::filesystem::path(path.substr(home_.size() + 1)))
      if (const auto name = part.string(); !name.empty()) {
        if (!create && !place->find(name)) return nullptr;
        place = &place->at(name);
      }
    return place;
  }

  // Whether the walk of the home folder gets to `path`: below it, through
  // real folders on its volume, none of them left out or excluded.
  bool reachedByHomeWalk(const std::string& path) {
    if (!disk_path::isWithin(path, home_) || path.size() <= home_.size()) return false;
    const auto homeDevice = deviceOf(home_);
    if (!homeDevice) return false;
    std::string folder = home_;
    for (const auto& part : std::filesystem::path(path.substr(home_.size() + 1))) {
      folder += "/" + part.string();
      if (leftOut_.count(folder) || excluded(folder) || deviceOf(folder) != homeDevice)
        return false;
    }
    return true;
  }

  // The device of a real folder at `path`, asked once per scan.
  std::optional<uint64_t> deviceOf(const std::string& path) {
    const auto known = devices_.find(path);
    if (known != devices_.end()) return known->second;
    const auto status = platform::linkStatus(path);
    std::optional<uint64_t> device;
    if (status && status->kind == Kind::directory) device = status->device;
    devices_[path] = device;
    return device;
  }

  size_t addCandidate(Candidate candidate) {
    found_.candidates.push_back(std::move(candidate));
    return found_.candidates.size() - 1;
  }

  // A rule folder to measure: where the walk gets to it, it is marked on the
  // map; otherwise it is a root of its own.
  void measureFolder(size_t candidate, const std::string& path) {
    auto tally = std::make_shared<TreeTally>(walkers_);
    planned_.push_back({candidate, tally});
    if (reachedByHomeWalk(path))
      placeInHome(path, true)->items.push_back(tally);
    else
      roots_.push_back({path, tally, {}});
  }

  // A path rule's folder, or file, when one stands there.
  struct Present {
    Candidate candidate;
    bool folder;
  };

  // A rule's folder, or file, standing at `path`: nothing when it is excluded,
  // already found, absent or a link. A file is measured at once.
  std::optional<Present> presentAt(const LeftoverRule& rule, const std::string& path) {
    if (excluded(path) || !seen_.insert({rule.id, path}).second) return std::nullopt;
    const auto status = platform::linkStatus(path);
    if (!status || status->kind == Kind::symlink) return std::nullopt;
    Present present{{&rule, path, false, {}, status->identity()}, status->kind == Kind::directory};
    if (present.folder)
      devices_[path] = status->device;  // asked again when its reach is judged
    else
      present.candidate.measurement = measureEntry(*status, path.ends_with("/.git"));
    return present;
  }

  // A path rule's folder, measured by the walk, or file.
  void addIfPresent(const LeftoverRule& rule, const std::string& path, bool lookupFailed,
                    bool tentative) {
    auto present = presentAt(rule, path);
    if (!present) return;
    present->candidate.lookupFailed = lookupFailed;
    present->candidate.tentative = tentative;
    const auto index = addCandidate(std::move(present->candidate));
    ruleOrder_[index] = {ruleIndex(rule), sequence_++};
    if (present->folder) measureFolder(index, path);
  }

  // Path and children rules name their folders; the others are kept for the
  // walk (project), the worktree index (worktree) and the engine (docker).
  void addRuleFolders() {
    for (const auto& rule : rules_.rules) {
      switch (rule.match) {
        case Match::path:
          if (const auto remembered = rememberedFolder(rule)) {
            addIfPresent(rule, disk_path::normal(*remembered), false, false);
            break;
          }
          for (const auto& pathTemplate : rule.paths)
            addIfPresent(rule, disk_path::normal(paths_.expand(pathTemplate)), false,
                         isAsked(rule));
          break;
        case Match::children:
          addChildrenRoots(rule);
          break;
        case Match::project:
          setup_.projectRules.push_back(&rule);
          break;
        case Match::docker:
          found_.dockerRules.push_back(&rule);
          break;
        case Match::worktree:
          setup_.findWorktrees = true;
          break;
      }
    }
  }

  // The folder the rule's tool named lately, used as its answer.
  std::optional<std::string> rememberedFolder(const LeftoverRule& rule) const {
    if (!rule.resolveWith || !options_.allowLookups) return std::nullopt;
    const auto found = options_.rememberedLookups.find(*rule.resolveWith);
    if (found == options_.rememberedLookups.end()) return std::nullopt;
    return found->second;
  }

  bool isAsked(const LeftoverRule& rule) const {
    return std::find(asking_.begin(), asking_.end(), &rule) != asking_.end();
  }

  void addChildrenRoots(const LeftoverRule& rule) {
    const int depth = static_cast<int>(std::clamp<int64_t>(rule.childDepth.value_or(1), 1, 8));
    for (const auto& pathTemplate : rule.paths) {
      const auto root = disk_path::normal(paths_.expand(pathTemplate));
      if (excluded(root) || !deviceOf(root)) continue;
      const ChildrenRuleWalk childrenWalk{&rule, depth};
      if (reachedByHomeWalk(root))
        placeInHome(root, true)->childrenRules.push_back(childrenWalk);
      else
        roots_.push_back({root, nullptr, {childrenWalk}});
    }
  }

  // Extra roots for project discovery, on the home folder's volume.
  void addExtraRoots() {
    const auto homeStatus = platform::linkStatus(home_);
    std::set<std::string> added;
    for (const auto& extra : options_.rules.extraRoots) {
      const auto root = disk_path::normal(paths_.expand(extra));
      const auto status = platform::linkStatus(root);
      if (!status) continue;
      if (homeStatus && status->device != homeStatus->device) {
        found_.notScanned.push_back({root, NotScanned::Reason::otherVolume});
        continue;
      }
      if (root == home_ || !added.insert(root).second) continue;
      if (reachedByHomeWalk(root))
        placeInHome(root, true)->discoveryRoot = true;
      else
        discoveryRoots_.push_back(root);
    }
  }

  void addTrash() {
    for (const auto& trash : options_.trashRoots)
      if (platform::entryExists(trash)) {
        trashTallies_.push_back(std::make_shared<TreeTally>(walkers_));
        roots_.push_back({trash, trashTallies_.back(), {}});
      }
  }

  void walk() {
    ScanWalk scan(setup_, known_, seen_);
    std::vector<platform::WalkRoot> roots = {{home_, scan.homeScope()}};
    for (const auto& root : discoveryRoots_) roots.push_back({root, scan.discoveryScope(root)});
    for (auto& root : roots_)
      roots.push_back({root.path, scan.itemScope(root.path, root.tally.get(), root.childrenRules)});
    cancelled_ = platform::walkTreesInParallel(roots, walkers_, scan);

    for (auto& folder : scan.takeFound()) {
      Candidate candidate{folder.rule, folder.path, folder.project};
      candidate.projectPath = std::move(folder.projectPath);
      candidate.identity = folder.identity;
      const auto index = addCandidate(std::move(candidate));
      if (!folder.project) ruleOrder_[index] = {ruleIndex(*folder.rule), 0};
      planned_.push_back({index, std::move(folder.tally)});
    }
    gitFolders_ = scan.takeGitFolders();
    worktreeTallies_ = scan.takeWorktreeTallies();
    topLevel_ = scan.takeTopLevel();
  }

  // Worktrees: the ones met on the walk and every one their repositories
  // list, measured by the walk where it passed them.
  void addWorktrees() {
    const auto* rule = rules_.rule(rule_ids::gitWorktree);
    if (!setup_.findWorktrees || !rule || rule->match != Match::worktree) return;
    for (auto& entry : WorktreeIndex::build(gitFolders_)) {
      if (leftOut_.count(entry.path) || excluded(entry.path)) continue;
      if (!seen_.insert({rule->id, entry.path}).second) continue;
      Candidate candidate{rule, entry.path, false, {}, std::nullopt, false, entry, {}};
      if (!entry.exists) candidate.measuredPath = entry.adminPath;
      const auto measured = candidate.measuredFolder();
      const auto index = addCandidate(std::move(candidate));
      if (const auto tally = worktreeTallies_.find(measured); tally != worktreeTallies_.end())
        planned_.push_back({index, tally->second});
    }
  }

  // A tool's answer replaces its rule's own paths; without one, they stand,
  // marked as such.
  void settleLookups(const LookupAnswers& answers) {
    if (asking_.empty() || !answers) return;
    for (const auto& [rule, answer] : answers()) {
      const auto reported = answer ? std::optional(disk_path::normal(*answer)) : std::nullopt;
      if (reported) found_.toolFolders[*rule->resolveWith] = *reported;
      bool kept = false;
      for (size_t i = 0; i < found_.candidates.size(); ++i) {
        auto& candidate = found_.candidates[i];
        if (candidate.rule != rule || !candidate.tentative) continue;
        candidate.tentative = false;
        if (!reported) {
          candidate.lookupFailed = true;
        } else if (candidate.path == *reported) {
          kept = true;
        } else {
          dropped_.insert(i);
        }
      }
      if (reported && !kept) {
        seen_.erase({rule->id, *reported});
        addIfPresentLater(*rule, *reported);
      }
    }
  }

  size_t ruleIndex(const LeftoverRule& rule) const {
    return static_cast<size_t>(&rule - rules_.rules.data());
  }

  // A folder a tool reported that the walk didn't measure in passing.
  void addIfPresentLater(const LeftoverRule& rule, const std::string& path) {
    auto present = presentAt(rule, path);
    if (!present) return;
    if (present->folder) present->candidate.measurement = measure(path, *options_.cancel, walkers_);
    ruleOrder_[addCandidate(std::move(present->candidate))] = {ruleIndex(rule), 0};
  }

  // What the walk couldn't measure in passing: worktrees outside its reach.
  void measureTheRest() {
    std::set<size_t> planned;
    for (const auto& plan : planned_) planned.insert(plan.candidate);
    for (size_t i = 0; i < found_.candidates.size(); ++i) {
      auto& candidate = found_.candidates[i];
      if (planned.count(i) || !candidate.worktree) continue;
      candidate.measurement = measure(candidate.measuredFolder(), *options_.cancel, walkers_);
    }
  }

  void finish() {
    for (const auto& plan : planned_) {
      auto& candidate = found_.candidates[plan.candidate];
      candidate.measurement = plan.tally->finish(cancelled_);
    }
    for (auto& candidate : found_.candidates) {
      if (!candidate.identity && candidate.measuredPath.empty())
        candidate.identity = platform::linkIdentity(candidate.path);
      found_.cancelled = found_.cancelled || candidate.measurement.cancelled;
    }
    // Rule folders in rule order, then projects and worktrees by path: the
    // walk meets them in no fixed order. Ranked once, then sorted as ranks.
    using Rank = std::tuple<int, std::pair<size_t, size_t>, std::string_view, size_t>;
    std::vector<Rank> ranks;
    for (size_t i = 0; i < found_.candidates.size(); ++i) {
      if (dropped_.count(i)) continue;
      const auto& candidate = found_.candidates[i];
      const auto order = ruleOrder_.find(i);
      const int group = order != ruleOrder_.end() ? 0 : candidate.worktree ? 2 : 1;
      const auto place = order != ruleOrder_.end() ? order->second : std::pair<size_t, size_t>{};
      ranks.emplace_back(group, place, candidate.path, i);  // the index keeps equal ranks in order
    }
    std::sort(ranks.begin(), ranks.end());
    std::vector<Candidate> sorted;
    sorted.reserve(ranks.size());
    for (const auto& rank : ranks)
      sorted.push_back(std::move(found_.candidates[std::get<3>(rank)]));
    found_.candidates = std::move(sorted);

    // Context: the top-level entries no candidate stands at, in listing order.
    std::set<std::string> itemPaths;
    for (const auto& candidate : found_.candidates) itemPaths.insert(candidate.path);
    for (auto& entry : topLevel_) {
      if (itemPaths.count(entry.path)) continue;
      found_.topLevel.push_back(entry.path);
      found_.topLevelMeasurements.push_back(entry.tally ? entry.tally->finish(cancelled_)
                                                        : std::move(*entry.measurement));
    }
    for (const auto& tally : trashTallies_)
      found_.trashBytes = found_.trashBytes.value_or(0) + tally->finish(cancelled_).bytes;
    found_.cancelled = found_.cancelled || cancelled_ || options_.cancel->isCancelled();
  }

  // A root the walk of the home folder doesn't get to.
  struct OwnRoot {
    std::string path;
    std::shared_ptr<TreeTally> tally;  ///< null for a children rule's root
    std::vector<ChildrenRuleWalk> childrenRules;
  };

  const LeftoverRuleSet& rules_;
  const DiskScanOptions& options_;
  const std::vector<const LeftoverRule*>& asking_;
  const std::string& home_;
  const DiskPaths paths_;
  const size_t walkers_;

  ScanWalkSetup setup_;
  KnownFolder known_;
  DiskFindings found_;
  std::set<std::string> leftOut_;
  std::map<std::string, std::optional<uint64_t>> devices_;
  std::set<std::pair<std::string, std::string>> seen_;  // (rule id, path)
  std::vector<Planned> planned_;
  std::vector<OwnRoot> roots_;
  std::vector<std::string> discoveryRoots_;
  std::vector<std::shared_ptr<TreeTally>> trashTallies_;
  /// Rule folders: candidate -> (rule's place in the file, path's place in the rule).
  std::map<size_t, std::pair<size_t, size_t>> ruleOrder_;
  size_t sequence_ = 0;
  std::set<size_t> dropped_;
  bool cancelled_ = false;
  std::vector<std::string> gitFolders_;
  std::map<std::string, std::shared_ptr<TreeTally>> worktreeTallies_;
  std::vector<ScanWalk::TopLevel> topLevel_;
};

}  // namespace

DiskCategory contextCategory(const std::string& name) {
  static const std::map<std::string, DiskCategory> kNames = [] {
    std::map<std::string, DiskCategory> names;
    for (const char* n : {".codex", ".claude", ".cursor", ".gemini", ".codeium", ".aider"})
      names[n] = DiskCategory::agentHistory;
    for (const char* n : {".ollama", ".lmstudio"}) names[n] = DiskCategory::aiModels;
    for (const char* n : {".docker", ".orbstack", ".colima"}) names[n] = DiskCategory::docker;
    for (const char* n :
         {".cargo",  ".rustup",        ".nvm",    ".pyenv", ".gradle", ".android",    ".volta",
          ".bun",    ".npm",           ".cache",  ".local", ".yarn",   ".pnpm-store", ".deno",
          "Library", "Applications",   ".config", ".var",   "snap",    ".mozilla",    ".m2",
          ".vscode", ".vscode-server", ".java",   ".conda", ".sdkman", ".steam",      ".wine"})
      names[n] = DiskCategory::systemAndApps;
    return names;
  }();
  const auto found = kNames.find(name);
  return found == kNames.end() ? DiskCategory::yourFiles : found->second;
}

DiskFindings findLeftovers(const LeftoverRuleSet& rules, const DiskScanOptions& options,
                           const std::vector<const LeftoverRule*>& asking,
                           const LookupAnswers& answers) {
  return Finder(rules, options, asking).run(answers);
}

}  // namespace glimmet
