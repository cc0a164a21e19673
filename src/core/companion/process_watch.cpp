#include "core/companion/process_watch.h"

#include <algorithm>
#include <unordered_set>

#include "core/process/interpreter_script.h"

namespace glimmet {

ProcessWatch::ProcessWatch(uid_t currentUID, platform::ProcRoot root)
    : currentUID_(currentUID), scanner_(std::move(root)) {}

// Reads a process as the snapshot does, without its environment, working folder
// or memory: the summary, then (for the user's own) the arguments and the
// executable, then the summary again through the same descriptor, so that an
// exec in between is noticed and nothing of two programs is mixed.
std::optional<ProcessWatch::Reading> ProcessWatch::readNew(pid_t pid, bool& kernelThread) const {
  kernelThread = false;
  const auto handle = scanner_.table().open(pid);
  if (!handle) return std::nullopt;
  auto reading = handle->read();
  if (!reading) {
    const auto stat = scanner_.stat(pid);
    kernelThread = stat && stat->kernelThread;
    return std::nullopt;
  }
  if (reading->summary.uid != currentUID_)
    return Reading{recordFromSummary(reading->summary), reading->summary.name};
  for (int attempt = 0; attempt < 2; ++attempt) {
    ProcessRecord record = recordFromSummary(reading->summary);
    if (auto arguments = handle->arguments()) record.argv = std::move(arguments->argv);
    record.path = handle->executablePath();
    if (const auto script = scriptArgument(record.path.get(), record.argv))
      record.script = handle->resolvedPath(*script);
    auto again = handle->read();
    if (!again || again->summary.startTime != reading->summary.startTime) return std::nullopt;
    if (again->summary.name != reading->summary.name) {
      reading = std::move(again);
      continue;
    }
    record.name = platform::completeProcessName(record.name, record.argv, record.path);
    return Reading{std::move(record), reading->summary.name};
  }
  return std::nullopt;  // still changing: the next look reads it
}

void ProcessWatch::put(pid_t pid, std::uint64_t entryID, Reading reading) {
  const auto [slot, inserted] = entries_.try_emplace(pid);
  Entry& entry = slot->second;
  if (inserted) {
    entry.index = records_.size();
    records_.push_back(std::move(reading.record));
  } else {
    records_[entry.index] = std::move(reading.record);
  }
  entry.kernelName = std::move(reading.kernelName);
  entry.entryID = entryID;
  entry.lookSeen = look_;
  entry.looksWhileNew = kLooksWhileNew;
}

void ProcessWatch::erase(pid_t pid) {
  const auto found = entries_.find(pid);
  if (found == entries_.end()) return;
  const std::size_t index = found->second.index;
  entries_.erase(found);
  // The last record takes the freed place.
  if (index + 1 != records_.size()) {
    records_[index] = std::move(records_.back());
    entries_.at(records_[index].pid()).index = index;
  }
  records_.pop_back();
}

void ProcessWatch::add(pid_t pid, std::uint64_t entryID, ProcessChanges& changes) {
  bool kernelThread = false;
  auto reading = readNew(pid, kernelThread);
  if (kernelThread) ignored_[pid] = {entryID, look_};
  if (!reading) return;
  put(pid, entryID, std::move(*reading));
  ++changes.added;
}

void ProcessWatch::recheck(pid_t pid, std::uint64_t entryID, ProcessChanges& changes,
                           std::vector<pid_t>& vacated) {
  const auto found = entries_.find(pid);
  if (found == entries_.end()) return;
  Entry& entry = found->second;
  entry.lookSeen = look_;
  ProcessRecord& record = records_[entry.index];
  const auto stat = scanner_.stat(pid);
  if (!stat || stat->kernelThread || stat->startTime != record.identity.startTime) {
    erase(pid);
    ++changes.removed;
    vacated.push_back(pid);
    if (stat) add(pid, entryID, changes);  // the pid went to another process
    return;
  }
  if (entry.looksWhileNew > 0) --entry.looksWhileNew;
  entry.entryID = entryID;
  // The same process runs another program now, or was caught mid-exec with no
  // arguments yet: it is read whole again.
  const bool ownWithoutArguments = record.uid == currentUID_ && record.argv.empty() &&
                                   record.status != ProcessStatus::zombie &&
                                   entry.looksWhileNew > 0;
  if (stat->name != entry.kernelName || ownWithoutArguments) {
    bool kernelThread = false;
    auto fresh = readNew(pid, kernelThread);
    if (!fresh) return;  // changing still: the next look tries again
    if (fresh->record.identity == record.identity) {
      if (fresh->record.ppid != record.ppid) ++changes.reparented;
      changes.replacedPrograms.push_back(record.identity);
      put(pid, entryID, std::move(*fresh));
      return;
    }
  }
  if (stat->ppid != record.ppid) {
    record.ppid = stat->ppid;
    ++changes.reparented;
  }
  if (stat->status != record.status) ++changes.restated;
  record.pgid = stat->pgid;
  record.status = stat->status;
  record.hasControllingTTY = stat->hasControllingTTY;
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
  std::vector<pid_t> unlisted;
  for (const auto& [pid, entry] : entries_)
    if (entry.lookSeen != look_) unlisted.push_back(pid);
  for (const pid_t pid : unlisted) erase(pid);
  changes.removed += unlisted.size();
  vacated.insert(vacated.end(), unlisted.begin(), unlisted.end());
  std::erase_if(ignored_, [&](const auto& item) { return item.second.lookSeen != look_; });
  for (const pid_t pid : closelyWatched_)
    if (const auto found = entries_.find(pid); found != entries_.end())
      recheck(pid, found->second.entryID, changes, vacated);
  sweep(changes, vacated);

  // A process whose parent went away was re-parented: its parent link is read again.
  if (!vacated.empty()) {
    const std::unordered_set<pid_t> gone(vacated.begin(), vacated.end());
    std::vector<std::pair<pid_t, std::uint64_t>> orphans;
    for (const auto& [pid, entry] : entries_)
      if (gone.contains(records_[entry.index].ppid)) orphans.emplace_back(pid, entry.entryID);
    std::vector<pid_t> more;
    for (const auto& [pid, entryID] : orphans) recheck(pid, entryID, changes, more);
  }
  return changes;
}

}  // namespace glimmet
