// Matching library entries to installed apps. Every folder is listed once and every
// entry is looked up by name in maps built from the listing, so the cost grows with
// entries plus apps, not their product. An entry that two apps claim equally is
// left alone: removing it with one app could break the other.
#include "core/apps/app_leftover_finder.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <functional>
#include <set>

#include "core/apps/desktop_entry.h"
#include "core/apps/display_path.h"
#include "core/apps/path_names.h"
#include "core/apps/property_list.h"
#include "core/apps/tree_size.h"
#include "platform/file_system.h"
#include "platform/files.h"

namespace glimmet {
namespace fs = std::filesystem;
namespace {

constexpr size_t kMinNameLength = 3;
constexpr size_t kMaxUnitBytes = 1 << 20;

// What follows a bundle identifier in a file the app itself names after it.
constexpr std::array kLeftoverExtensions = {
    "plist", "savedstate", "binarycookies", "desktop", "service", "timer", "socket", "log",
    "json",  "db",         "sqlite",        "conf",    "cfg",     "ini",   "toml",   "yaml",
    "yml",   "xml",        "lock",          "txt",     "list"};

// Folders and files that belong to the desktop, not to any one app.
constexpr std::array kNeverReported = {"applications",   "autostart",
                                       "systemd",        "icons",
                                       "fonts",          "mime",
                                       "menus",          "trash",
                                       "flatpak",        "keyrings",
                                       "dconf",          "pulse",
                                       "fontconfig",     "gtk-2.0",
                                       "gtk-3.0",        "gtk-4.0",
                                       "gvfs-metadata",  "recently-used.xbel",
                                       "user-dirs.dirs", "user-dirs.locale",
                                       "mimeapps.list",  "glimmet"};

// Programs that launch other programs: their names say nothing about the app.
constexpr std::array kLauncherNames = {"flatpak",    "snap", "env",      "bash", "python",
                                       "python3",    "java", "electron", "wine", "xdg-open",
                                       "gtk-launch", "sudo", "pkexec",   "sh"};

bool isNeverReported(const std::string& lowerName) {
  if (lowerName.starts_with("com.apple.")) return true;
  return std::find(kNeverReported.begin(), kNeverReported.end(), lowerName) != kNeverReported.end();
}

bool isLauncher(const std::string& lowerName) {
  return std::find(kLauncherNames.begin(), kLauncherNames.end(), lowerName) != kLauncherNames.end();
}

// "com.vendor.app.plist" without its known extension; empty when it has none.
std::string withoutExtension(const std::string& lowerName) {
  const auto dot = lowerName.rfind('.');
  if (dot == std::string::npos || dot == 0) return {};
  const auto extension = std::string_view(lowerName).substr(dot + 1);
  for (std::string_view known : kLeftoverExtensions)
    if (extension == known) return lowerName.substr(0, dot);
  return {};
}

// systemd unit lines: ExecStart=-/usr/bin/app --flag (prefixes -, @, +, ! and : change
// how it runs, not what).
void readUnitPrograms(const std::string& text, std::vector<std::string>& programs) {
  size_t at = 0;
  while (at < text.size()) {
    auto end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + at, end - at);
    at = end + 1;
    if (!line.starts_with("ExecStart=")) continue;
    line.remove_prefix(10);
    while (!line.empty() && std::string_view("-@+!:").find(line.front()) != std::string_view::npos)
      line.remove_prefix(1);
    if (auto program = execProgram(line); !program.empty()) programs.push_back(program);
  }
}

void readLaunchAgent(LibraryCandidate& candidate) {
  const auto& name = candidate.lowerName;
  if (candidate.kind != LibraryCandidate::Kind::file) return;
  if (name.ends_with(".plist")) {
    auto list = PropertyList::read(candidate.path);
    if (!list) return;
    candidate.label = list->string("Label");
    if (auto program = list->string("Program")) candidate.programs.push_back(*program);
    auto arguments = list->strings("ProgramArguments");
    if (!arguments.empty()) candidate.programs.push_back(arguments.front());
  } else if (name.ends_with(".desktop")) {
    auto text = platform::readFile(candidate.path, kMaxUnitBytes);
    auto entry = text ? parseDesktopEntry(*text) : std::nullopt;
    if (entry && entry->exec)
      if (auto program = execProgram(*entry->exec); !program.empty())
        candidate.programs.push_back(program);
  } else if (name.ends_with(".service")) {
    if (auto text = platform::readFile(candidate.path, kMaxUnitBytes))
      readUnitPrograms(*text, candidate.programs);
  }
}

LibraryCandidate::Kind candidateKind(platform::FileStatus::Kind kind) {
  switch (kind) {
    case platform::FileStatus::Kind::symlink:
      return LibraryCandidate::Kind::link;
    case platform::FileStatus::Kind::directory:
      return LibraryCandidate::Kind::folder;
    default:
      return LibraryCandidate::Kind::file;
  }
}

void addKey(std::unordered_map<std::string, std::vector<size_t>>& map, const std::string& key,
            size_t app) {
  if (key.empty()) return;
  auto& apps = map[key];
  if (apps.empty() || apps.back() != app) apps.push_back(app);
}

}  // namespace

AppLeftoverFinder::AppLeftoverFinder(const AppsEnvironment& environment, const AppListing& listing)
    : environment_(environment), listing_(listing), byApp_(listing.apps.size()) {
  listFolders();
  indexApps();
  claims_.reserve(candidates_.size());
  for (size_t index = 0; index < candidates_.size(); ++index) {
    claims_.push_back(claimsFor(candidates_[index]));
    // An entry that vanished since the folder was listed is nobody's.
    if (!claims_.back().empty() && !candidates_[index].lookedAt && !lookAt(candidates_[index]))
      claims_.back().clear();
    for (const auto& claim : claims_.back()) byApp_[claim.app].push_back(index);
  }
}

void AppLeftoverFinder::listFolders() {
  for (size_t folderIndex = 0; folderIndex < environment_.leftoverFolders.size(); ++folderIndex) {
    const auto& folder = environment_.leftoverFolders[folderIndex];
    auto entries = platform::listFolder(folder.path);
    if (!entries) continue;
    std::sort(entries->begin(), entries->end(),
              [](const auto& left, const auto& right) { return left.name < right.name; });
    for (const auto& entry : *entries) {
      LibraryCandidate candidate;
      candidate.path = folder.path / entry.name;
      candidate.lowerName = lowercase(entry.name);
      candidate.folderIndex = folderIndex;
      if (isNeverReported(candidate.lowerName)) continue;
      candidate.kind = candidateKind(entry.kind);
      // Launch agents are read for what they run; everything else is looked at
      // only once its name ties it to an app.
      if (folder.kind == LibraryFolder::launchAgents) {
        if (!lookAt(candidate)) continue;
        readLaunchAgent(candidate);
      }
      candidates_.push_back(std::move(candidate));
    }
  }
}

bool AppLeftoverFinder::lookAt(LibraryCandidate& candidate) {
  const auto status = platform::linkStatus(candidate.path);
  if (!status) return false;
  candidate.kind = candidateKind(status->kind);
  candidate.identity = {static_cast<uint64_t>(status->device),
                        static_cast<uint64_t>(status->inode)};
  candidate.owner = status->owner;
  candidate.modified = SystemTime(std::chrono::seconds(status->modified.tv_sec));
  candidate.lookedAt = true;
  return true;
}

void AppLeftoverFinder::indexApps() {
  for (size_t index = 0; index < listing_.apps.size(); ++index) {
    const auto& app = listing_.apps[index];
    // Excluded apps are not searched, and without an identifier nothing is sure.
    if (app.exclusion || !app.bundleID) continue;
    const auto id = lowercase(*app.bundleID);
    if (id.starts_with("com.apple.")) continue;
    addKey(identifiers_, id, index);
    for (const auto& extra : app.extraIdentifiers) addKey(identifiers_, lowercase(extra), index);
    for (const auto& group : app.applicationGroups) addKey(groups_, lowercase(group), index);

    std::set<std::string> names;
    if (const auto dot = id.rfind('.'); dot != std::string::npos) names.insert(id.substr(dot + 1));
    for (const auto& hint : app.nameHints) names.insert(lowercase(hint));
    auto joined = lowercase(app.name), dashed = joined;
    std::erase(joined, ' ');
    std::replace(dashed.begin(), dashed.end(), ' ', '-');
    names.insert(joined);
    names.insert(dashed);
    for (const auto& name : names)
      if (name.size() >= kMinNameLength && name != id && !isLauncher(name) &&
          !isNeverReported(name))
        addKey(names_, name, index);
  }
}

std::vector<AppLeftoverFinder::Claim> AppLeftoverFinder::claimsFor(
    const LibraryCandidate& candidate) const {
  const auto& folder = environment_.leftoverFolders[candidate.folderIndex];
  std::vector<Claim> exact, likely;
  auto claim = [](std::vector<Claim>& into, const std::vector<size_t>& apps,
                  LeftoverConfidence confidence, const std::string& identifier) {
    for (auto app : apps)
      if (std::none_of(into.begin(), into.end(), [&](const Claim& c) { return c.app == app; }))
        into.push_back({app, confidence, identifier});
  };
  auto lookup = [](const auto& map, const std::string& key) -> const std::vector<size_t>* {
    if (key.empty()) return nullptr;
    auto found = map.find(key);
    return found == map.end() ? nullptr : &found->second;
  };
  auto idOf = [&](size_t app) { return *listing_.apps[app].bundleID; };
  auto claimExact = [&](const std::vector<size_t>* apps) {
    if (apps)
      for (auto app : *apps) claim(exact, {app}, LeftoverConfidence::exact, idOf(app));
  };
  auto claimLikely = [&](const std::vector<size_t>* apps) {
    if (apps)
      for (auto app : *apps) claim(likely, {app}, LeftoverConfidence::likely, idOf(app));
  };

  const auto& name = candidate.lowerName;
  const auto stem = withoutExtension(name);
  if (folder.kind == LibraryFolder::groupContainers) {
    // Group containers belong to apps through their signature's app groups only.
    claimExact(lookup(groups_, name));
    return exact;
  }
  claimExact(lookup(identifiers_, name));
  claimExact(lookup(identifiers_, stem));
  if (folder.kind == LibraryFolder::launchAgents) {
    if (candidate.label) {
      // A job labelled com.vendor.app.helper belongs to com.vendor.app.
      auto label = lowercase(*candidate.label);
      while (label.find('.') != std::string::npos) {
        claimExact(lookup(identifiers_, label));
        label.resize(label.rfind('.'));
      }
    }
    for (const auto& program : candidate.programs) {
      const fs::path path(program);
      if (path.is_absolute())
        for (size_t app = 0; app < listing_.apps.size(); ++app) {
          const auto& installed = listing_.apps[app];
          if (installed.exclusion || !installed.bundleID) continue;
          const auto& root = installed.kind == AppKind::bundle
                                 ? installed.resolvedPath
                                 : installed.installRoot.value_or(fs::path());
          if (!root.empty() && isSameOrInside(path, root))
            claim(exact, {app}, LeftoverConfidence::exact, *installed.bundleID);
        }
      claimLikely(lookup(names_, lowercase(path.filename().string())));
    }
  }
  if (!exact.empty()) return exact;
  claimLikely(lookup(names_, name));
  claimLikely(lookup(names_, stem));
  return likely;
}

std::optional<size_t> AppLeftoverFinder::indexOf(const InstalledApp& app) const {
  // The listing's own element needs no search; a copy (measured on its own) does.
  const auto* first = listing_.apps.data();
  const std::less<const InstalledApp*> before;
  if (!listing_.apps.empty() && !before(&app, first) && before(&app, first + listing_.apps.size()))
    return static_cast<size_t>(&app - first);
  for (size_t index = 0; index < listing_.apps.size(); ++index)
    if (listing_.apps[index].path == app.path) return index;
  return std::nullopt;
}

bool AppLeftoverFinder::isLeftoverOf(size_t candidate) const {
  return claims_[candidate].size() == 1 && candidates_[candidate].owner == environment_.userID;
}

size_t AppLeftoverFinder::count(const InstalledApp& app) const {
  const auto index = indexOf(app);
  if (!index) return 0;
  return static_cast<size_t>(std::count_if(byApp_[*index].begin(), byApp_[*index].end(),
                                           [&](size_t c) { return isLeftoverOf(c); }));
}

AppLeftoverReport AppLeftoverFinder::report(const InstalledApp& app) const {
  AppLeftoverReport report{.app = app};
  const auto index = indexOf(app);
  if (app.exclusion || !app.bundleID || !index) return report;
  for (const auto& folder : environment_.leftoverFolders)
    report.searchedFolders.push_back(folder.path);
  for (auto candidateIndex : byApp_[*index]) {
    const auto& candidate = candidates_[candidateIndex];
    const auto shown = displayPath(candidate.path, environment_.home);
    if (claims_[candidateIndex].size() > 1) {
      std::string others;
      for (const auto& claim : claims_[candidateIndex]) {
        if (claim.app == *index) continue;
        others += (others.empty() ? "" : ", ") + listing_.apps[claim.app].name;
      }
      report.notRemoved.push_back(shown + " (also used by " + others + ")");
      continue;
    }
    if (candidate.owner != environment_.userID) {
      report.notRemoved.push_back(shown + " (owned by another user)");
      continue;
    }
    const auto& claim = claims_[candidateIndex].front();
    const auto& folder = environment_.leftoverFolders[candidate.folderIndex];
    report.leftovers.push_back({
        .path = candidate.path,
        .folder = folder.kind,
        .folderName = folder.displayName,
        .confidence = claim.confidence,
        .bundleID = claim.identifier,
        .identity = candidate.identity,
        .bytes = allocatedBytes(candidate.path),
        .modified = candidate.modified,
    });
  }
  return report;
}

}  // namespace glimmet
