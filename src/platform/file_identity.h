// Device and inode: tells hard links apart, and lets cleaning confirm that a path
// still names the folder that was measured. A platform value, since every file
// the seam hands out is named by one; it is recorded in the scan and clean files.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>

namespace glimmet {

struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;

  auto operator<=>(const FileIdentity&) const = default;

  static std::optional<FileIdentity> fromJson(const nlohmann::json& json);
  nlohmann::json toJson() const;
};

}  // namespace glimmet
