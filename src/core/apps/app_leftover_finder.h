// Finding the files each installed app keeps in the user's library folders, and
// what is left alone.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/apps/app_leftover.h"
#include "core/apps/app_lister.h"
#include "core/apps/installed_app.h"
#include "platform/apps_environment.h"

namespace glimmet {

/// One entry of a leftover folder, listed once for every app. Only entries whose
/// names tie them to an app (and launch agents) are looked at: `identity`,
/// `owner` and `modified` hold when `lookedAt` does.
struct LibraryCandidate {
  enum class Kind { file, folder, link };
  std::filesystem::path path;
  Kind kind = Kind::file;
  size_t folderIndex = 0;
  bool lookedAt = false;
  FileIdentity identity;
  uid_t owner = 0;
  SystemTime modified{};
  std::string lowerName;
  /// For launch agents: the job's label and the programs it runs.
  std::optional<std::string> label;
  std::vector<std::string> programs;
};

class AppLeftoverFinder {
 public:
  /// Lists every folder of `environment.leftoverFolders` once and ties each entry
  /// to the apps of `listing` that it names. Both must outlive the finder.
  AppLeftoverFinder(const AppsEnvironment& environment, const AppListing& listing);

  /// How many leftovers `app` has (an excluded app has none: it is not searched).
  size_t count(const InstalledApp& app) const;
  /// The leftovers of `app`, each measured, and what is left alone.
  AppLeftoverReport report(const InstalledApp& app) const;

  const std::vector<LibraryCandidate>& candidates() const { return candidates_; }

 private:
  struct Claim {
    size_t app;
    LeftoverConfidence confidence;
    std::string identifier;
  };
  void listFolders();
  static bool lookAt(LibraryCandidate& candidate);
  void indexApps();
  std::vector<Claim> claimsFor(const LibraryCandidate& candidate) const;
  std::optional<size_t> indexOf(const InstalledApp& app) const;
  bool isLeftoverOf(size_t candidate) const;

  const AppsEnvironment& environment_;
  const AppListing& listing_;
  std::vector<LibraryCandidate> candidates_;
  // Lower-cased names to the listing indices of the apps they name.
  std::unordered_map<std::string, std::vector<size_t>> identifiers_;
  std::unordered_map<std::string, std::vector<size_t>> groups_;
  std::unordered_map<std::string, std::vector<size_t>> names_;
  // Per candidate, the apps that claim it with the best confidence any app has.
  std::vector<std::vector<Claim>> claims_;
  // Per app, the candidates it claims, in folder order.
  std::vector<std::vector<size_t>> byApp_;
};

}  // namespace glimmet
