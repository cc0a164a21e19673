// Listing installed apps: one pass over each root, one Info.plist or desktop entry
// read per app, and at most one size measurement per app.
#include "core/apps/app_lister.h"

#include <algorithm>
#include <cctype>

#include "core/apps/bundle_info.h"
#include "core/apps/desktop_entry.h"
#include "core/apps/path_names.h"
#include "core/apps/tree_size.h"
#include "platform/file_system.h"
#include "platform/files.h"

namespace glimmet {
namespace fs = std::filesystem;
namespace {

constexpr size_t kMaxDesktopEntryBytes = 1 << 20;
// Desktop entries may sit in vendor subfolders (applications/kde/okular.desktop),
// never deep ones.
constexpr int kMaxDesktopEntryDepth = 3;

using platform::FileStatus;

SystemTime modificationTime(const FileStatus& status) {
  return SystemTime(std::chrono::seconds(status.modified.tv_sec));
}

bool leadsToFolder(const fs::path& path) {
  const auto status = platform::targetStatus(path);
  return status && status->kind == FileStatus::Kind::directory;
}

// The desktop entries below `folder`, `depth` folders below the root. Links to
// folders are not walked into, and a folder that can't be read is passed over.
void collectDesktopFiles(const fs::path& folder, int depth, std::vector<fs::path>& files) {
  const auto entries = platform::listFolder(folder);
  if (!entries) return;
  for (const auto& entry : *entries) {
    const auto path = folder / entry.name;
    if (entry.kind == FileStatus::Kind::directory && depth < kMaxDesktopEntryDepth)
      collectDesktopFiles(path, depth + 1, files);
    if (path.extension() != ".desktop") continue;
    if (entry.kind == FileStatus::Kind::directory ||
        (entry.kind == FileStatus::Kind::symlink && leadsToFolder(path)))
      continue;
    files.push_back(path);
  }
}

// A macOS alias is a regular file holding a bookmark, which begins "book", four
// zero bytes, "mark".
bool isAliasFile(const fs::path& path) {
  auto head = platform::readFile(path, 1 << 20);
  return head && head->size() >= 12 && head->compare(0, 4, "book") == 0 &&
         head->compare(4, 4, std::string(4, '\0')) == 0 && head->compare(8, 4, "mark") == 0;
}

void fillOwnership(InstalledApp& app, const FileStatus& status, uid_t userID,
                   const std::function<bool(const fs::path&)>& isWritable,
                   const fs::path& removablePath) {
  app.identity = {static_cast<uint64_t>(status.device), static_cast<uint64_t>(status.inode)};
  app.modified = modificationTime(status);
  app.ownedByUser = status.owner == userID;
  // Moving an item to the Trash changes the item and its folder.
  app.needsAdmin = !app.ownedByUser && !(isWritable && isWritable(removablePath) &&
                                         isWritable(removablePath.parent_path()));
}

}  // namespace

std::optional<AppExclusion> AppLister::exclusionByIdentity(const InstalledApp& app) const {
  if (app.kind == AppKind::bundle)
    for (const auto& root : environment_.systemAppRoots)
      if (isSameOrInside(app.resolvedPath, root)) return AppExclusion::system;
  const auto id = lowercase(app.bundleID.value_or(""));
  if (app.kind == AppKind::bundle && id.starts_with("com.apple.")) return AppExclusion::apple;
  if (!id.empty() && (id == lowercase(environment_.ownBundleID) ||
                      (!environment_.makerIDPrefix.empty() &&
                       id.starts_with(lowercase(environment_.makerIDPrefix)))))
    return AppExclusion::glimmet;
  if (environment_.selfBundlePath && app.kind == AppKind::bundle &&
      (app.path == *environment_.selfBundlePath ||
       app.resolvedPath == *environment_.selfBundlePath))
    return AppExclusion::glimmet;
  return std::nullopt;
}

std::optional<InstalledApp> AppLister::bundle(const fs::path& entry,
                                              const std::optional<fs::path>& resolvedRoot) const {
  const auto own = platform::linkStatus(entry);
  if (!own) return std::nullopt;
  const bool isLink = own->kind == FileStatus::Kind::symlink;
  InstalledApp app;
  app.kind = AppKind::bundle;
  app.path = entry;
  app.fileName = entry.filename().string();
  if (isLink) {
    app.exclusion = AppExclusion::symlink;
  } else if (own->kind == FileStatus::Kind::file && isAliasFile(entry)) {
    app.exclusion = AppExclusion::alias;
  } else if (own->kind != FileStatus::Kind::directory) {
    return std::nullopt;
  }
  // Only a link needs resolving on its own: a real bundle lies in its resolved root.
  auto resolved = !isLink && resolvedRoot ? std::optional(*resolvedRoot / entry.filename())
                  : environment_.resolve  ? environment_.resolve(entry)
                                          : std::nullopt;
  app.resolvedPath = resolved.value_or(entry);

  const auto info = readBundleInfo(entry).value_or(BundleInfo{});
  app.name = displayNameFor(info, app.fileName);
  app.bundleName = info.name;
  app.bundleID = info.identifier;
  if (app.bundleID && app.bundleID->empty()) app.bundleID.reset();
  app.version = info.shortVersion;
  if (!app.exclusion && !app.bundleID) app.exclusion = AppExclusion::noBundleID;
  if (!app.exclusion) app.exclusion = exclusionByIdentity(app);

  // A link or an alias is described by what it points at, but only the bundle
  // itself is measured, so a linked app never counts twice.
  const auto described = platform::targetStatus(entry).value_or(*own);
  fillOwnership(app, described, environment_.userID, environment_.isWritable, entry);
  app.isAppStore =
      platform::targetStatus(app.resolvedPath / "Contents" / "_MASReceipt").has_value();
  if (own->kind == FileStatus::Kind::directory) {
    app.sizeSource = InstalledApp::SizeSource::tree;
    app.sizePath = entry;
  }
  return app;
}

// Whether the program an entry runs is the app's own, so that its name may name
// the app's files: a program in the app's own folder, or one in a shared program
// folder that the app's own package installed. "Exec=git gui" runs git, which
// another package installed, so ~/.config/git is no leftover of Git GUI.
bool AppLister::programIsTheApps(const std::string& program, const InstalledApp& app) const {
  if (program.empty()) return false;
  fs::path path(program);
  if (!path.is_absolute()) {
    const auto found = std::find_if(environment_.programDirs.begin(),
                                    environment_.programDirs.end(), [&](const fs::path& folder) {
                                      return platform::targetStatus(folder / program).has_value();
                                    });
    if (found == environment_.programDirs.end()) return false;
    path = *found / program;
  }
  if (app.installRoot && isSameOrInside(path, *app.installRoot)) return true;
  const auto resolved = environment_.resolve ? environment_.resolve(path) : std::nullopt;
  const bool shared = std::any_of(environment_.programDirs.begin(), environment_.programDirs.end(),
                                  [&](const fs::path& folder) {
                                    return path.parent_path() == folder ||
                                           (resolved && resolved->parent_path() == folder);
                                  });
  if (!shared) return true;  // a folder of its own, outside the shared ones
  if (app.package.empty()) return false;
  std::vector<fs::path> names = {path};
  if (resolved) names.push_back(*resolved);
  return packages_.installs(app.package, names);
}

std::optional<InstalledApp> AppLister::desktopApp(const DesktopEntryRoot& root,
                                                  const fs::path& file,
                                                  const std::string& id) const {
  auto text = platform::readFile(file, kMaxDesktopEntryBytes);
  if (!text) return std::nullopt;
  auto entry = parseDesktopEntry(*text);
  if (!entry || !entry->isListedApplication()) return std::nullopt;

  InstalledApp app;
  app.kind = AppKind::desktopEntry;
  app.path = file;
  auto resolved = environment_.resolve ? environment_.resolve(file) : std::nullopt;
  app.resolvedPath = resolved.value_or(file);
  app.fileName = file.filename().string();
  app.bundleID = id;
  app.bundleName = entry->name;
  app.name = entry->name && !entry->name->empty() ? *entry->name : id;
  const auto program = execProgram(entry->exec.value_or(""));

  switch (root.source) {
    case DesktopEntryRoot::Source::flatpak: {
      app.isAppStore = true;
      const auto active = root.installation / "app" / id / "current" / "active";
      auto deployed = environment_.resolve ? environment_.resolve(active) : std::nullopt;
      app.installRoot = deployed.value_or(active);
      app.sizeSource = InstalledApp::SizeSource::tree;
      app.sizePath = *app.installRoot;
      break;
    }
    case DesktopEntryRoot::Source::snap: {
      // Snap entries are named <snap>_<app>.desktop; the snap's files are one
      // squashfs image per revision.
      app.isAppStore = true;
      const auto snap = id.substr(0, id.find('_'));
      app.extraIdentifiers.push_back(snap);
      app.installRoot = environment_.snapMountDir / snap / "current";
      if (const auto revision = platform::linkTarget(*app.installRoot)) {
        app.sizeSource = InstalledApp::SizeSource::tree;
        app.sizePath = environment_.snapFilesDir / (snap + "_" + revision->string() + ".snap");
      }
      break;
    }
    case DesktopEntryRoot::Source::plain: {
      const fs::path programPath(program);
      if (programPath.is_absolute() && lowercase(program).ends_with(".appimage")) {
        app.installRoot = programPath;
      } else if (programPath.is_absolute() && isSameOrInside(programPath, environment_.optDir)) {
        const auto below = programPath.lexically_relative(environment_.optDir);
        if (!below.empty() && below.begin() != below.end() && *below.begin() != "..")
          app.installRoot = environment_.optDir / *below.begin();
      }
      if (app.installRoot) {
        app.sizeSource = InstalledApp::SizeSource::tree;
        app.sizePath = *app.installRoot;
      } else if (!isSameOrInside(file, environment_.home)) {
        if (auto package = packages_.packageOwning(file)) {
          app.sizeSource = InstalledApp::SizeSource::package;
          app.package = *package;
          app.version = packages_.version(*package);
        }
      }
      break;
    }
  }

  // A Flatpak entry runs "flatpak run ID": its program names the launcher, not the app.
  if (root.source == DesktopEntryRoot::Source::plain && programIsTheApps(program, app))
    app.nameHints.push_back(fs::path(program).filename().string());
  if (entry->startupWMClass && !entry->startupWMClass->empty())
    app.nameHints.push_back(*entry->startupWMClass);

  const auto& described = app.installRoot ? *app.installRoot : file;
  auto info = platform::targetStatus(described);
  if (!info) info = platform::targetStatus(file);
  if (!info) return std::nullopt;
  fillOwnership(app, *info, environment_.userID, environment_.isWritable, described);
  // The desktop file's owner says whose app it is (a Flatpak export belongs to
  // whoever installed it, the root folder to root).
  if (const auto fileInfo = platform::targetStatus(file)) {
    app.ownedByUser = fileInfo->owner == environment_.userID;
    app.needsAdmin =
        !app.ownedByUser && !(environment_.isWritable && environment_.isWritable(described) &&
                              environment_.isWritable(described.parent_path()));
  }
  app.exclusion = exclusionByIdentity(app);
  return app;
}

void AppLister::addDesktopEntries(const DesktopEntryRoot& root, std::vector<InstalledApp>& apps,
                                  std::set<std::string>& seenIDs) const {
  std::vector<fs::path> files;
  collectDesktopFiles(root.path, 0, files);
  // The same id in an earlier root shadows this one, even when that entry hides
  // itself: that is how a user hides a system app.
  std::sort(files.begin(), files.end());
  for (const auto& file : files) {
    const auto id = desktopFileID(file.lexically_relative(root.path));
    if (id.empty() || !seenIDs.insert(id).second) continue;
    if (auto app = desktopApp(root, file, id)) apps.push_back(std::move(*app));
  }
}

void AppLister::measure(InstalledApp& app) const {
  switch (app.sizeSource) {
    case InstalledApp::SizeSource::unknown:
      return;
    case InstalledApp::SizeSource::tree:
      app.bytes = allocatedBytes(app.sizePath);
      return;
    case InstalledApp::SizeSource::package:
      app.bytes = packages_.installedBytes(app.package);
      return;
  }
}

AppListing AppLister::list(Sizes sizes) const {
  AppListing listing;
  for (const auto& root : environment_.roots) {
    const auto entries = platform::listFolder(root);
    if (!entries) continue;
    listing.scannedRoots.push_back(root);
    std::vector<fs::path> names;
    for (const auto& entry : *entries)
      if (fs::path(entry.name).extension() == ".app") names.push_back(root / entry.name);
    std::sort(names.begin(), names.end());
    const auto resolvedRoot = environment_.resolve ? environment_.resolve(root) : std::nullopt;
    for (const auto& entry : names)
      if (auto app = bundle(entry, resolvedRoot)) listing.apps.push_back(std::move(*app));
  }
  std::set<std::string> seenIDs;
  for (const auto& root : environment_.desktopEntryRoots) {
    if (!leadsToFolder(root.path)) continue;
    listing.scannedRoots.push_back(root.path);
    addDesktopEntries(root, listing.apps, seenIDs);
  }
  std::stable_sort(listing.apps.begin(), listing.apps.end(),
                   [](const InstalledApp& a, const InstalledApp& b) {
                     const auto left = lowercase(a.name), right = lowercase(b.name);
                     return left != right ? left < right : a.path < b.path;
                   });
  for (auto& app : listing.apps) {
    if (sizes == Sizes::measure) measure(app);
    for (const auto& group : app.applicationGroups) listing.groupClaims[group].push_back(app.path);
  }
  return listing;
}

}  // namespace glimmet
