// The words the whole disk subsystem shares: where an item is totalled, how safe
// it is to remove, which Docker figure it stands for, and how a rule's real
// folder is asked of its tool. Raw values are the JSON spellings.
#pragma once

#include <optional>
#include <string_view>

namespace glimmet {

/// In sort order: items and context totals are listed in this order.
enum class DiskCategory {
  agentHistory,
  yourFiles,
  buildOutput,
  safeToClear,
  systemAndApps,
  docker,
  aiModels,
  notScanned,
};

/// From least to most cautious; a later value is always the stricter one.
enum class DiskSafety { safe, review, reportOnly };

enum class DockerKind { images, buildCache, containers, volumes };

/// A tool query that finds a cache the tool may keep somewhere unusual.
enum class PathLookup { pnpmStorePath, goEnvGomodcache, uvCacheDir, npmConfigCache };

inline constexpr DiskCategory kDiskCategories[] = {
    DiskCategory::agentHistory, DiskCategory::yourFiles,     DiskCategory::buildOutput,
    DiskCategory::safeToClear,  DiskCategory::systemAndApps, DiskCategory::docker,
    DiskCategory::aiModels,     DiskCategory::notScanned};
inline constexpr DiskSafety kDiskSafeties[] = {DiskSafety::safe, DiskSafety::review,
                                               DiskSafety::reportOnly};

inline DiskSafety stricter(DiskSafety a, DiskSafety b) {
  return a < b ? b : a;
}

std::string_view rawValue(DiskCategory category);
std::string_view rawValue(DiskSafety safety);
std::string_view rawValue(DockerKind kind);
std::string_view rawValue(PathLookup lookup);

std::optional<DiskCategory> diskCategoryFromRaw(std::string_view raw);
std::optional<DiskSafety> diskSafetyFromRaw(std::string_view raw);
std::optional<DockerKind> dockerKindFromRaw(std::string_view raw);
std::optional<PathLookup> pathLookupFromRaw(std::string_view raw);

}  // namespace glimmet
