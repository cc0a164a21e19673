// /system/df into the four reclaimable figures.
#include "core/disk/docker_disk_usage.h"

#include <algorithm>
#include <chrono>
#include <nlohmann/json.hpp>

namespace glimmet {
namespace {

uint64_t number(const nlohmann::json& object, const char* key) {
  if (!object.is_object()) return 0;
  const auto found = object.find(key);
  if (found == object.end()) return 0;
  if (found->is_number_unsigned()) return found->get<uint64_t>();
  if (found->is_number_integer())
    return static_cast<uint64_t>(std::max<int64_t>(found->get<int64_t>(), 0));
  if (found->is_number_float()) {
    const double value = found->get<double>();
    return value > 0 && value < 1.8e19 ? static_cast<uint64_t>(value) : 0;
  }
  return 0;
}

const nlohmann::json& list(const nlohmann::json& body, const char* key) {
  static const nlohmann::json empty = nlohmann::json::array();
  const auto found = body.find(key);
  return found != body.end() && found->is_array() ? *found : empty;
}

bool flag(const nlohmann::json& object, const char* key) {
  const auto found = object.is_object() ? object.find(key) : object.end();
  return found != object.end() && found->is_boolean() && found->get<bool>();
}

}  // namespace

const DockerFigure& DockerStats::figure(DockerKind kind) const {
  switch (kind) {
    case DockerKind::images:
      return unusedImages;
    case DockerKind::buildCache:
      return buildCache;
    case DockerKind::containers:
      return stoppedContainers;
    case DockerKind::volumes:
      return volumes;
  }
  return unusedImages;
}

std::optional<DockerStats> DockerStats::fromDiskUsage(std::string_view body) {
  const auto json = nlohmann::json::parse(body, nullptr, false);
  if (!json.is_object()) return std::nullopt;
  DockerStats stats;
  for (const auto& image : list(json, "Images")) {
    const uint64_t size = number(image, "Size");
    stats.unusedImages.bytes += size;
    if (number(image, "Containers") == 0) {
      // Layers shared with other images stay after this one goes.
      const uint64_t shared = std::min(number(image, "SharedSize"), size);
      stats.unusedImages.reclaimableBytes += size - shared;
      ++stats.unusedImages.count;
    }
  }
  for (const auto& entry : list(json, "BuildCache")) {
    const uint64_t size = number(entry, "Size");
    stats.buildCache.bytes += size;
    if (!flag(entry, "InUse")) {
      stats.buildCache.reclaimableBytes += size;
      ++stats.buildCache.count;
    }
  }
  for (const auto& container : list(json, "Containers")) {
    const uint64_t size = number(container, "SizeRw");
    stats.stoppedContainers.bytes += size;
    std::string state = "running";
    if (container.is_object() && container.contains("State") && container["State"].is_string())
      state = container["State"].get<std::string>();
    if (state != "running" && state != "paused") {
      stats.stoppedContainers.reclaimableBytes += size;
      ++stats.stoppedContainers.count;
    }
  }
  for (const auto& volume : list(json, "Volumes")) {
    const auto usage =
        volume.is_object() && volume.contains("UsageData") ? volume["UsageData"] : nlohmann::json();
    const uint64_t size = number(usage, "Size");
    stats.volumes.bytes += size;
    if (number(usage, "RefCount") == 0) {
      stats.volumes.reclaimableBytes += size;
      ++stats.volumes.count;
    }
  }
  return stats;
}

std::string_view rawValue(DockerDiskState state) {
  // notInstalled is written as notRunning: documents know only the two.
  return state == DockerDiskState::running ? "running" : "notRunning";
}

DockerResult<DockerStats> loadDockerDiskUsage(const DockerClient& client) {
  // A live engine answers its ping at once, while adding up disk use may take
  // a few seconds; so a socket that never answers costs at most this, and
  // only an engine that answered gets the client's full limit for the figures.
  constexpr std::chrono::seconds kPingLimit{1};
  if (auto ping = client.get("/_ping", kPingLimit); std::holds_alternative<DockerError>(ping))
    return std::get<DockerError>(ping);
  auto body = client.get("/system/df");
  if (auto* error = std::get_if<DockerError>(&body)) return *error;
  auto stats = DockerStats::fromDiskUsage(std::get<std::string>(body));
  if (!stats) return DockerError{DockerError::Kind::badResponse};
  return *stats;
}

}  // namespace glimmet
