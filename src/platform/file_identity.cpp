#include "platform/file_identity.h"

#include "platform/file_system.h"

namespace glimmet {

std::optional<FileIdentity> FileIdentity::fromJson(const nlohmann::json& json) {
  if (!json.is_object()) return std::nullopt;
  const auto device = json.find("device");
  const auto inode = json.find("inode");
  if (device == json.end() || inode == json.end() || !device->is_number_unsigned() ||
      !inode->is_number_unsigned())
    return std::nullopt;
  return FileIdentity{device->get<uint64_t>(), inode->get<uint64_t>()};
}

nlohmann::json FileIdentity::toJson() const {
  return {{"device", device}, {"inode", inode}};
}

}  // namespace glimmet

namespace glimmet::platform {

FileIdentity FileStatus::identity() const {
  return {device, inode};
}

std::optional<FileIdentity> linkIdentity(const std::filesystem::path& path) {
  const auto status = linkStatus(path);
  return status ? std::optional(status->identity()) : std::nullopt;
}

}  // namespace glimmet::platform
