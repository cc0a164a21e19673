// TreeTally: per-walker shares merged once, hard links counted once.
#include "core/disk/tree_tally.h"

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

void TreeTally::nameChildren(std::span<const platform::ListedEntry> entries) {
  children_.reserve(entries.size());
  for (const auto& entry : entries) children_.emplace_back(entry.name);
}

void TreeTally::count(size_t worker, size_t child, const FileStatus& status) {
  auto& share = shares_[worker];
  const uint64_t bytes = status.blocks512 * 512;
  if (status.kind == FileStatus::Kind::file && status.links >= 2) {
    auto [found, inserted] =
        share.links.try_emplace(FileIdentity{status.device, status.inode},
                                std::pair{MultiLink{bytes, status.links, 0}, child});
    ++found->second.first.seen;
    if (!inserted) return;  // the same file under another name counts once
  }
  ++share.files;
  if (!share.newest || later(status.modified, *share.newest)) share.newest = status.modified;
  share.bytes += bytes;
  if (child >= share.children.size()) {
    share.children.resize(child + 1);
    share.counted.resize(child + 1);
  }
  share.children[child] += bytes;
  share.counted[child] = true;
}

Measurement TreeTally::finish(bool cancelled) const {
  Measurement measurement;
  measurement.noAccess = noAccess_.load();
  measurement.cancelled = cancelled;
  std::vector<uint64_t> children(children_.size());
  std::vector<bool> counted(children.size());
  for (const auto& share : shares_) {
    measurement.bytes += share.bytes;
    measurement.files += share.files;
    measurement.containsGit = measurement.containsGit || share.containsGit;
    if (share.newest) noteNewest(measurement, *share.newest);
    for (size_t i = 0; i < share.children.size() && i < children.size(); ++i) {
      children[i] += share.children[i];
      counted[i] = counted[i] || share.counted[i];
    }
    for (const auto& [identity, link] : share.links) {
      auto [found, inserted] = measurement.multiLinks.try_emplace(identity, link.first);
      if (inserted) continue;
      // Two walkers met the same file: each counted it, so once comes off.
      found->second.seen += link.first.seen;
      measurement.bytes -= link.first.bytes;
      --measurement.files;
      if (link.second < children.size()) children[link.second] -= link.first.bytes;
    }
  }
  for (size_t i = 0; i < children.size(); ++i)
    if (counted[i]) measurement.children[children_[i]] = children[i];

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

Measurement measureEntry(const FileStatus& status, bool isGit) {
  Measurement measurement;
  if (status.kind == FileStatus::Kind::symlink) return measurement;  // never followed nor counted
  measurement.bytes = status.blocks512 * 512;
  measurement.files = 1;
  noteNewest(measurement, status.modified);
  if (status.links <= 1 || status.kind != FileStatus::Kind::file)
    measurement.uniqueBytes = measurement.bytes;
  else
    measurement.multiLinks[{status.device, status.inode}] = {measurement.bytes, status.links, 1};
  measurement.containsGit = isGit;
  return measurement;
}

}  // namespace glimmet
