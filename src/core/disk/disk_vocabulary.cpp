// Raw values of the disk vocabulary.
#include "core/disk/disk_vocabulary.h"

namespace glimmet {
namespace {

template <typename Enum, size_t N>
std::optional<Enum> fromRaw(const Enum (&values)[N], std::string_view raw) {
  for (const auto value : values)
    if (rawValue(value) == raw) return value;
  return std::nullopt;
}

constexpr DockerKind kDockerKinds[] = {DockerKind::images, DockerKind::buildCache,
                                       DockerKind::containers, DockerKind::volumes};
constexpr PathLookup kPathLookups[] = {PathLookup::pnpmStorePath, PathLookup::goEnvGomodcache,
                                       PathLookup::uvCacheDir, PathLookup::npmConfigCache};

}  // namespace

std::string_view rawValue(DiskCategory category) {
  switch (category) {
    case DiskCategory::agentHistory:
      return "agentHistory";
    case DiskCategory::yourFiles:
      return "yourFiles";
    case DiskCategory::buildOutput:
      return "buildOutput";
    case DiskCategory::safeToClear:
      return "safeToClear";
    case DiskCategory::systemAndApps:
      return "systemAndApps";
    case DiskCategory::docker:
      return "docker";
    case DiskCategory::aiModels:
      return "aiModels";
    case DiskCategory::notScanned:
      return "notScanned";
  }
  return {};
}

std::string_view rawValue(DiskSafety safety) {
  switch (safety) {
    case DiskSafety::safe:
      return "safe";
    case DiskSafety::review:
      return "review";
    case DiskSafety::reportOnly:
      return "reportOnly";
  }
  return {};
}

std::string_view rawValue(DockerKind kind) {
  switch (kind) {
    case DockerKind::images:
      return "images";
    case DockerKind::buildCache:
      return "buildCache";
    case DockerKind::containers:
      return "containers";
    case DockerKind::volumes:
      return "volumes";
  }
  return {};
}

std::string_view rawValue(PathLookup lookup) {
  switch (lookup) {
    case PathLookup::pnpmStorePath:
      return "pnpm-store-path";
    case PathLookup::goEnvGomodcache:
      return "go-env-gomodcache";
    case PathLookup::uvCacheDir:
      return "uv-cache-dir";
    case PathLookup::npmConfigCache:
      return "npm-config-cache";
  }
  return {};
}

std::optional<DiskCategory> diskCategoryFromRaw(std::string_view raw) {
  return fromRaw(kDiskCategories, raw);
}
std::optional<DiskSafety> diskSafetyFromRaw(std::string_view raw) {
  return fromRaw(kDiskSafeties, raw);
}
std::optional<DockerKind> dockerKindFromRaw(std::string_view raw) {
  return fromRaw(kDockerKinds, raw);
}
std::optional<PathLookup> pathLookupFromRaw(std::string_view raw) {
  return fromRaw(kPathLookups, raw);
}

}  // namespace glimmet
