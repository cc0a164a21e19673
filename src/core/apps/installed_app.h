// One installed application as the listing sees it: an application bundle or, on
// desktops without bundles, a desktop entry, with why the uninstaller would refuse it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/disk/measurement.h"
#include "core/output/iso8601.h"

namespace glimmet {

/// Why the application's uninstaller refuses an app.
enum class AppExclusion { system, apple, glimmet, symlink, alias, noBundleID };

/// "noBundleID": the form written in documents.
std::string_view rawValue(AppExclusion exclusion);
/// "Part of macOS": the form shown to people.
std::string_view label(AppExclusion exclusion);

/// The keys of a bundle's Contents/Info.plist that the listing uses.
struct BundleInfo {
  std::optional<std::string> identifier;    ///< CFBundleIdentifier
  std::optional<std::string> displayName;   ///< CFBundleDisplayName
  std::optional<std::string> name;          ///< CFBundleName
  std::optional<std::string> shortVersion;  ///< CFBundleShortVersionString
};

/// Where an app came from, which decides how it is measured and matched.
enum class AppKind { bundle, desktopEntry };

struct InstalledApp {
  std::filesystem::path path;          ///< as found in the scanned folder
  std::filesystem::path resolvedPath;  ///< links resolved
  std::string name;                    ///< display name
  std::string fileName;                ///< last path component
  std::optional<std::string> bundleName;
  std::optional<std::string> bundleID;  ///< a desktop entry's desktop-file id
  std::optional<std::string> version;
  FileIdentity identity;
  bool isAppStore = false;  ///< Mac App Store receipt; on Linux, Flatpak or Snap
  bool ownedByUser = false;
  bool needsAdmin = false;  ///< not the user's and not writable
  std::optional<AppExclusion> exclusion;
  std::vector<std::string> applicationGroups;  ///< from code-signing entitlements
  SystemTime modified{};

  AppKind kind = AppKind::bundle;
  /// How the app's own files are measured: a file or tree at `installRoot` or
  /// `path`, or the files of a distribution package.
  enum class SizeSource { unknown, tree, package };
  SizeSource sizeSource = SizeSource::unknown;
  std::filesystem::path sizePath;  ///< for SizeSource::tree
  std::string package;             ///< for SizeSource::package
  /// Allocated bytes of the app's own files, measured once by the listing.
  std::optional<uint64_t> bytes;
  /// Where the app's files live when that differs from `path` (a Flatpak
  /// deployment, /opt/<vendor>, an AppImage); launch agents that run from here
  /// belong to the app.
  std::optional<std::filesystem::path> installRoot;
  /// Further names the app goes by on disk (its Exec basename, its window class),
  /// matched as "likely".
  std::vector<std::string> nameHints;
  /// Further identifiers that name the app exactly (a snap's name for ~/snap).
  std::vector<std::string> extraIdentifiers;

  /// Whether the application's uninstaller would accept the app.
  bool uninstallable() const { return !exclusion.has_value(); }
};

/// The name an app is listed under: display name, then bundle name, then the file
/// name without its ".app" or ".desktop".
std::string displayNameFor(const BundleInfo& info, std::string_view fileName);

}  // namespace glimmet
