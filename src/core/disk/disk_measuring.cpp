// measureFindings: one measurement at a time, each shared out between up to
// `walkers` threads, so that a single huge folder gets every walker and no
// more than `walkers` threads ever read the disk at once.
#include "core/disk/disk_measuring.h"

#include "core/disk/disk_walker.h"
#include "platform/file_system.h"

namespace glimmet {

DiskMeasurements measureFindings(DiskFindings& findings, size_t walkers, const CancelFlag& cancel) {
  DiskMeasurements measured;
  for (auto& candidate : findings.candidates) {
    candidate.measurement = measure(candidate.measuredFolder(), cancel, walkers);
    if (candidate.measuredPath.empty())
      if (const auto status = platform::linkStatus(candidate.path))
        candidate.identity = FileIdentity{status->device, status->inode};
  }
  for (const auto& path : findings.topLevel)
    measured.topLevel.push_back(measure(path, cancel, walkers));
  measured.cancelled = cancel.isCancelled();
  for (const auto& candidate : findings.candidates)
    measured.cancelled = measured.cancelled || candidate.measurement.cancelled;
  for (const auto& measurement : measured.topLevel)
    measured.cancelled = measured.cancelled || measurement.cancelled;
  return measured;
}

std::optional<uint64_t> measureTrash(const std::vector<std::string>& trashRoots, size_t walkers,
                                     const CancelFlag& cancel) {
  std::optional<uint64_t> bytes;
  for (const auto& trash : trashRoots)
    if (platform::entryExists(trash))
      bytes = bytes.value_or(0) + measure(trash, cancel, walkers).bytes;
  return bytes;
}

}  // namespace glimmet
