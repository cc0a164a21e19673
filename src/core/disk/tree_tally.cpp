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
    auto [found, inserted] = share.links.try_emplace(
        status.identity(), std::pair{MultiLink{bytes, status.links, 0}, child});
    ++found->second.first.seen;
    if (!inserted) {
      // The same file under another name counts once, to the first of its
      // names' children in listing order, whichever a walker met first.
      auto& credited = found->second.second;
      if (child < credited) {
        auto& before = share.children[credited];
        before.bytes -= bytes;
        --before.files;
        credit(share, child, bytes);
        credited = child;
      }
      return;
    }
  }
  ++share.files;
  if (later(status.modified, share.newest)) share.newest = status.modified;
  share.bytes += bytes;
  credit(share, child, bytes);
}

void TreeTally::credit(Share& share, size_t child, uint64_t bytes) {
  if (child >= share.children.size()) share.children.resize(child + 1);
  share.children[child].bytes += bytes;
  ++share.children[child].files;
}

Measurement TreeTally::finish(bool cancelled) const {
  Measurement measurement;
  measurement.noAccess = noAccess_.load();
  measurement.cancelled = cancelled;
  std::vector<Share::Child> children(children_.size());
  std::map<FileIdentity, size_t> credited;  ///< the child each linked file counts to
  for (const auto& share : shares_) {
    measurement.bytes += share.bytes;
    measurement.files += share.files;
    measurement.containsGit = measurement.containsGit || share.containsGit;
    if (share.newest.tv_sec != kNoTime) noteNewest(measurement, share.newest);
    for (size_t i = 0; i < share.children.size() && i < children.size(); ++i) {
      children[i].bytes += share.children[i].bytes;
      children[i].files += share.children[i].files;
    }
    for (const auto& [identity, link] : share.links) {
      auto [found, inserted] = measurement.multiLinks.try_emplace(identity, link.first);
      auto& child = credited[identity];
      if (inserted) {
        child = link.second;
        continue;
      }
      // Two walkers met the same file: each counted it, so once comes off,
      // from the later of the two children in listing order.
      found->second.seen += link.first.seen;
      measurement.bytes -= link.first.bytes;
      --measurement.files;
      const size_t dropped = std::max(child, link.second);
      child = std::min(child, link.second);
      if (dropped < children.size()) {
        children[dropped].bytes -= link.first.bytes;
        --children[dropped].files;
      }
    }
  }
  for (size_t i = 0; i < children.size(); ++i)
    if (children[i].files > 0) measurement.children[children_[i]] = children[i].bytes;

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
