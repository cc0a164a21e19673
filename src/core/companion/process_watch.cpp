#include "core/companion/process_watch.h"

#include <algorithm>
#include <unordered_set>

#include "core/process/interpreter_script.h"

namespace glimmet {
namespace {

ProcessRecord recordFromSummary(const platform::KernelSummary& summary) {
  ProcessRecord record;
  record.identity = {summary.pid, summary.startTime};
  record.ppid = summary.ppid;
  record.pgid = summary.pgid;
  record.uid = summary.uid;
  record.status = summary.status;
  record.name = summary.name;
  record.hasControllingTTY = summary.hasControllingTTY;
  return record;
}

}  // namespace

ProcessWatch::ProcessWatch(uid_t currentUID, platform::ProcRoot root)
    : currentUID_(currentUID), scanner_(std::move(root)) {}

// Reads a process as the snapshot does, without its environment, working folder
// or memory: the summary, then (for the user's own) the arguments and the
// executable, then the summary again through the same descriptor, so that an
// exec in between is noticed and nothing of two programs is mixed.
std::optional<ProcessWatch::Entry> ProcessWatch::readNew(pid_t pid, std::uint64_t entryID,
                                                         bool& kernelThread) const {
  kernelThread = false;
  const auto handle = scanner_.table().open(pid);
  if (!handle) return std::nullopt;
  auto reading = handle->read();
  if (!reading) {
    const auto stat = scanner_.stat(pid);
    kernelThread = stat && stat->kernelThread;
    return std::nullopt;
  }
  Entry entry;
  entry.entryID = entryID;
  entry.lookSeen = look_;
  if (reading->summary.uid != currentUID_) {
    entry.record = recordFromSummary(reading->summary);
    entry.kernelName = reading->summary.name;
    return entry;
  }
  for (int attempt = 0; attempt < 2; ++attempt) {
    ProcessRecord record = recordFromSummary(reading->summary);
    if (auto arguments = handle->arguments()) record.argv = std::move(arguments->argv);
    record.path = handle->executablePath();
    if (const auto script = scriptArgument(record.path, record.argv))
      record.script = handle->resolvedPath(*script);
    auto again = handle->read();
    if (!again || again->summary.startTime != reading->summary.startTime) return std::nullopt;
    if (again->summary.name != reading->summary.name) {
      reading = std::move(again);
      continue;
    }
    record.name = platform::completeProcessName(record.name, record.argv, record.path);
    entry.record = std::move(record);
    entry.kernelName = reading->summary.name;
    return entry;
  }
  return std::nullopt;  // still changing: the next look reads it
}

void ProcessWatch::add(pid_t pid, std::uint64_t entryID, ProcessChanges& changes) {
  bool kernelThread = false;
  auto entry = readNew(pid, entryID, kernelThread);
  if (kernelThread) ignored_[pid] = {entryID, look_};
  if (!entry) return;
  entries_.insert_or_assign(pid, std::move(*entry));
  ++changes.added;
}

void ProcessWatch::recheck(pid_t pid, std::uint64_t entryID, ProcessChanges& changes,
                           std::vector<pid_t>& vacated) {
  const auto found = entries_.find(pid);
  if (found == entries_.end()) return;
  Entry& entry = found->second;
  entry.lookSeen = look_;
  const auto stat = scanner_.stat(pid);
  if (!stat || stat->kernelThread || stat->startTime != entry.record.identity.startTime) {
    entries_.erase(found);
    ++changes.removed;
    vacated.push_back(pid);
    if (stat) add(pid, entryID, changes);  // the pid went to another process
    return;
  }
  if (entry.looksWhileNew > 0) --entry.looksWhileNew;
  entry.entryID = entryID;
  // The same process runs another program now, or was caught mid-exec with no
  // arguments yet: read it whole again.
  const bool ownWithoutArguments = entry.record.uid == currentUID_ && entry.record.argv.empty() &&
                                   entry.record.status != ProcessStatus::zombie &&
                                   entry.looksWhileNew > 0;
  if (stat->name != entry.kernelName || ownWithoutArguments) {
    bool kernelThread = false;
    auto fresh = readNew(pid, entryID, kernelThread);
    if (fresh && fresh->record.identity == entry.record.identity) {
      const bool reparented = fresh->record.ppid != entry.record.ppid;
      fresh->looksWhileNew = kLooksWhileNew;
      entry = std::move(*fresh);
      changes.replacedPrograms.push_back(entry.record.identity);
      if (reparented) ++changes.reparented;
      return;
    }
    if (!fresh) return;  // changing still: the next look tries again
  }
  if (stat->ppid != entry.record.ppid) {
    entry.record.ppid = stat->ppid;
    ++changes.reparented;
  }
  entry.record.pgid = stat->pgid;
  entry.record.status = stat->status;
  entry.record.hasControllingTTY = stat->hasControllingTTY;
}

void ProcessWatch::sweep(ProcessChanges& changes, std::vector<pid_t>& vacated) {
  const std::size_t share = (entries_.size() + kSweepLooks - 1) / kSweepLooks;
  for (std::size_t done = 0; done < share;) {
    if (sweepNext_ >= sweepOrder_.size()) {
      sweepOrder_.clear();
      for (const auto& [pid, entry] : entries_) sweepOrder_.push_back(pid);
      sweepNext_ = 0;
      if (sweepOrder_.empty()) return;
    }
    const pid_t pid = sweepOrder_[sweepNext_++];
    const auto found = entries_.find(pid);
    if (found == entries_.end()) continue;
    recheck(pid, found->second.entryID, changes, vacated);
    ++done;
  }
}

ProcessChanges ProcessWatch::look() {
  ProcessChanges changes;
  if (!scanner_.list(listing_)) {
    changes.listingFailed = true;
    return changes;
  }
  ++look_;
  std::vector<pid_t> vacated;
  for (const auto& [pid, entryID] : listing_) {
    if (const auto found = entries_.find(pid); found != entries_.end()) {
      if (found->second.entryID != entryID || found->second.looksWhileNew > 0)
        recheck(pid, entryID, changes, vacated);
      else
        found->second.lookSeen = look_;
      continue;
    }
    if (const auto ignored = ignored_.find(pid); ignored != ignored_.end()) {
      if (ignored->second.entryID == entryID) {
        ignored->second.lookSeen = look_;
        continue;
      }
      ignored_.erase(ignored);
    }
    add(pid, entryID, changes);
  }
  std::erase_if(entries_, [&](const auto& item) {
    if (item.second.lookSeen == look_) return false;
    ++changes.removed;
    vacated.push_back(item.first);
    return true;
  });
  std::erase_if(ignored_, [&](const auto& item) { return item.second.lookSeen != look_; });
  sweep(changes, vacated);

  // A process whose parent went away was re-parented: its parent link is read again.
  if (!vacated.empty()) {
    const std::unordered_set<pid_t> gone(vacated.begin(), vacated.end());
    std::vector<std::pair<pid_t, std::uint64_t>> orphans;
    for (const auto& [pid, entry] : entries_)
      if (gone.contains(entry.record.ppid)) orphans.emplace_back(pid, entry.entryID);
    std::vector<pid_t> more;
    for (const auto& [pid, entryID] : orphans) recheck(pid, entryID, changes, more);
  }
  return changes;
}

ProcessSnapshot ProcessWatch::snapshot(std::chrono::system_clock::time_point takenAt) const {
  std::vector<ProcessRecord> records;
  records.reserve(entries_.size());
  for (const auto& [pid, entry] : entries_) records.push_back(entry.record);
  std::sort(records.begin(), records.end(),
            [](const ProcessRecord& a, const ProcessRecord& b) { return a.pid() < b.pid(); });
  return ProcessSnapshot(takenAt, std::move(records));
}

}  // namespace glimmet
