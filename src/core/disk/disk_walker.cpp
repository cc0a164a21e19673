// measure(): one physical walk, hard links counted once and kept apart when they
// lead outside the tree.
#include "core/disk/disk_walker.h"

#include <algorithm>
#include <cerrno>
#include <utility>
#include <vector>

#include "platform/parallel_tree_walk.h"

namespace glimmet {
namespace {

using platform::FileStatus;

SystemTime timeOf(const timespec& time) {
  return SystemTime(std::chrono::duration_cast<SystemTime::duration>(
      std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec)));
}

bool later(const timespec& a, const timespec& b) {
  return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

void noteNewest(Measurement& measurement, const timespec& modified) {
  const auto time = timeOf(modified);
  if (!measurement.newest || time > *measurement.newest) measurement.newest = time;
}

}  // namespace

Measurement measure(const std::filesystem::path& path, const CancelFlag& cancel, size_t walkers) {
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

  // Each worker tallies on its own; the tallies are merged once the walk ends.
  struct Tally {
    uint64_t bytes = 0;
    uint64_t files = 0;
    std::optional<timespec> newest;
    bool containsGit = false;
    std::vector<uint64_t> children;  ///< by first component
    std::vector<bool> counted;       ///< the first component holds a counted entry
    std::map<FileIdentity, std::pair<MultiLink, size_t>> links;  ///< with the child credited
  };
  std::vector<Tally> tallies(std::max<size_t>(walkers, 1));
  const auto outcome = platform::walkTreeInParallel(
      path, tallies.size(),
      [&](size_t worker, const platform::TallyEntry& entry) {
        auto& tally = tallies[worker];
        if (entry.name == ".git") tally.containsGit = true;
        if (!entry.status) return;
        const auto& status = *entry.status;
        const uint64_t bytes = status.blocks512 * 512;
        if (status.kind == FileStatus::Kind::file && status.links >= 2) {
          auto [found, inserted] = tally.links.try_emplace(
              FileIdentity{status.device, status.inode},
              std::pair{MultiLink{bytes, status.links, 0}, entry.firstComponent});
          ++found->second.first.seen;
          if (!inserted) return;  // the same file under another name counts once
        }
        ++tally.files;
        if (!tally.newest || later(status.modified, *tally.newest)) tally.newest = status.modified;
        tally.bytes += bytes;
        if (entry.firstComponent >= tally.children.size()) {
          tally.children.resize(entry.firstComponent + 1);
          tally.counted.resize(entry.firstComponent + 1);
        }
        tally.children[entry.firstComponent] += bytes;
        tally.counted[entry.firstComponent] = true;
      },
      [&] { return cancel.isCancelled(); });
  measurement.noAccess = outcome.noAccess;
  measurement.cancelled = outcome.stopped;

  std::vector<uint64_t> children(outcome.firstComponents.size());
  std::vector<bool> counted(children.size());
  for (auto& tally : tallies) {
    measurement.bytes += tally.bytes;
    measurement.files += tally.files;
    measurement.containsGit = measurement.containsGit || tally.containsGit;
    if (tally.newest) noteNewest(measurement, *tally.newest);
    for (size_t i = 0; i < tally.children.size() && i < children.size(); ++i) {
      children[i] += tally.children[i];
      counted[i] = counted[i] || tally.counted[i];
    }
    for (auto& [identity, link] : tally.links) {
      auto [found, inserted] = measurement.multiLinks.try_emplace(identity, link.first);
      if (inserted) continue;
      // Two workers met the same file: it was counted by both, so once comes off.
      found->second.seen += link.first.seen;
      measurement.bytes -= link.first.bytes;
      --measurement.files;
      if (link.second < children.size()) children[link.second] -= link.first.bytes;
    }
  }
  for (size_t i = 0; i < children.size(); ++i)
    if (counted[i]) measurement.children[outcome.firstComponents[i]] = children[i];

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
