// measure(): one physical walk, hard links counted once and kept apart when they
// lead outside the tree.
#include "core/disk/disk_walker.h"

#include <cerrno>

#include "platform/tree_walk.h"

namespace glimmet {
namespace {

using platform::FileStatus;

SystemTime timeOf(const timespec& time) {
  return SystemTime(std::chrono::duration_cast<SystemTime::duration>(
      std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec)));
}

void noteNewest(Measurement& measurement, const timespec& modified) {
  const auto time = timeOf(modified);
  if (!measurement.newest || time > *measurement.newest) measurement.newest = time;
}

}  // namespace

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

Measurement measure(const std::filesystem::path& path, const CancelFlag& cancel) {
  Measurement measurement;
  int error = 0;
  const auto root = platform::lstatPath(path, error);
  if (!root) {
    measurement.noAccess = error == EACCES || error == EPERM;
    return measurement;
  }
  if (root->kind == FileStatus::Kind::symlink) return measurement;
  if (root->kind != FileStatus::Kind::directory) {
    measurement.bytes = root->blocks512 * 512;
    measurement.files = 1;
    noteNewest(measurement, root->modified);
    if (root->links <= 1 || root->kind != FileStatus::Kind::file)
      measurement.uniqueBytes = measurement.bytes;
    else
      measurement.multiLinks[{root->device, root->inode}] = {measurement.bytes, root->links, 1};
    if (path.filename() == ".git") measurement.containsGit = true;
    return measurement;
  }

  const auto outcome = platform::walkTree(path, [&](const platform::WalkEntry& entry) {
    if (cancel.isCancelled()) {
      measurement.cancelled = true;
      return platform::WalkAnswer::stop;
    }
    if (entry.name == ".git") measurement.containsGit = true;
    if (entry.isDirectory()) return platform::WalkAnswer::descend;
    const uint64_t bytes = entry.status.blocks512 * 512;
    ++measurement.files;
    noteNewest(measurement, entry.status.modified);
    if (entry.status.kind == FileStatus::Kind::file && entry.status.links >= 2) {
      auto [found, inserted] =
          measurement.multiLinks.try_emplace(FileIdentity{entry.status.device, entry.status.inode},
                                             MultiLink{bytes, entry.status.links, 0});
      ++found->second.seen;
      if (!inserted) {
        --measurement.files;  // the same file under another name counts once
        return platform::WalkAnswer::descend;
      }
    }
    measurement.bytes += bytes;
    measurement.children[std::string(entry.firstComponent)] += bytes;
    return platform::WalkAnswer::descend;
  });
  if (outcome.noAccess) measurement.noAccess = true;

  uint64_t sharedOutside = 0;
  for (auto it = measurement.multiLinks.begin(); it != measurement.multiLinks.end();) {
    if (it->second.seen >= it->second.links) {
      it = measurement.multiLinks.erase(it);
    } else {
      sharedOutside += it->second.bytes;
      ++it;
    }
  }
  measurement.uniqueBytes =
      measurement.bytes > sharedOutside ? measurement.bytes - sharedOutside : 0;
  return measurement;
}

}  // namespace glimmet
