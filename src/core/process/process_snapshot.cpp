#include "core/process/process_snapshot.h"

#include <deque>
#include <unordered_set>

namespace glimmet {

ProcessSnapshot::ProcessSnapshot(std::chrono::system_clock::time_point takenAt,
                                 std::vector<ProcessRecord> records)
    : takenAt_(takenAt) {
  records_.reserve(records.size());
  for (auto& record : records) {
    const auto [slot, inserted] = indexByPID_.try_emplace(record.pid(), records_.size());
    if (inserted) {
      records_.push_back(std::move(record));
    } else {
      records_[slot->second] = std::move(record);
    }
  }
  for (const auto& record : records_) children_[record.ppid].push_back(record.pid());
}

const ProcessRecord* ProcessSnapshot::record(pid_t pid) const {
  const auto found = indexByPID_.find(pid);
  return found == indexByPID_.end() ? nullptr : &records_[found->second];
}

const std::vector<pid_t>& ProcessSnapshot::childPIDs(pid_t pid) const {
  static const std::vector<pid_t> kNone;
  const auto found = children_.find(pid);
  return found == children_.end() ? kNone : found->second;
}

std::vector<const ProcessRecord*> ProcessSnapshot::children(pid_t pid) const {
  std::vector<const ProcessRecord*> result;
  for (const pid_t child : childPIDs(pid)) {
    if (const auto* found = record(child)) result.push_back(found);
  }
  return result;
}

std::vector<const ProcessRecord*> ProcessSnapshot::descendants(pid_t pid) const {
  std::vector<const ProcessRecord*> result;
  std::unordered_set<pid_t> visited{pid};
  std::deque<pid_t> queue(childPIDs(pid).begin(), childPIDs(pid).end());
  while (!queue.empty()) {
    const pid_t next = queue.front();
    queue.pop_front();
    if (!visited.insert(next).second) continue;
    if (const auto* found = record(next)) result.push_back(found);
    for (const pid_t child : childPIDs(next)) queue.push_back(child);
  }
  return result;
}

std::optional<int> ProcessSnapshot::depth(pid_t pid, pid_t ancestor) const {
  std::unordered_set<pid_t> visited;
  int steps = 0;
  pid_t current = pid;
  while (current != ancestor) {
    const auto* found = record(current);
    if (!visited.insert(current).second || found == nullptr || found->ppid == current) {
      return std::nullopt;
    }
    current = found->ppid;
    ++steps;
  }
  return steps;
}

}  // namespace glimmet
