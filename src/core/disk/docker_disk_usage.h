// Docker's disk figures, from the engine's own accounting (GET /system/df): its
// data lives in a virtual disk or a root-owned folder the walker can't measure.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/disk/disk_vocabulary.h"
#include "core/disk/docker_client.h"

namespace glimmet {

struct DockerFigure {
  uint64_t bytes = 0;             ///< everything of this kind
  uint64_t reclaimableBytes = 0;  ///< what cleaning would free
  uint64_t count = 0;             ///< reclaimable entries
  bool operator==(const DockerFigure&) const = default;
};

struct DockerStats {
  DockerFigure unusedImages;
  DockerFigure buildCache;
  DockerFigure stoppedContainers;
  DockerFigure volumes;

  const DockerFigure& figure(DockerKind kind) const;

  /// Decodes the /system/df answer; missing or negative numbers count as 0.
  /// Nothing when the body is not a JSON object.
  static std::optional<DockerStats> fromDiskUsage(std::string_view body);
};

/// `notInstalled`: no engine socket exists at all. Documents and the cache
/// know only `running` and `notRunning`, which it is written as; the text
/// report tells the two apart.
enum class DockerDiskState { running, notRunning, notInstalled };
std::string_view rawValue(DockerDiskState state);

/// Asks the engine; every failure (no socket, refused, HTTP error, bad answer,
/// time limit) is a DockerError.
DockerResult<DockerStats> loadDockerDiskUsage(const DockerClient& client);

}  // namespace glimmet
