#include "core/process/system_process_inspector.h"

namespace glimmet {

std::optional<LiveProcessState> SystemProcessInspector::state(pid_t pid) const {
  const auto handle = table_.open(pid);
  if (!handle) return std::nullopt;
  const auto reading = handle->read();
  if (!reading) return std::nullopt;
  const auto& summary = reading->summary;
  return LiveProcessState{
      .startTime = summary.startTime,
      .uid = summary.uid,
      .pgid = summary.pgid,
      .status = summary.status,
      .path = summary.uid == currentUID_ ? handle->executablePath() : std::nullopt};
}

std::optional<LiveProcess> SystemProcessInspector::live(pid_t pid) const {
  const auto handle = table_.open(pid);
  if (!handle) return std::nullopt;
  return readLiveProcess(*handle, currentUID_);
}

bool hasExited(const ProcessInspector& inspector, const ProcessIdentity& process) {
  const auto live = inspector.state(process.pid);
  return !live || live->startTime != process.startTime || live->status == ProcessStatus::zombie;
}

std::vector<pid_t> SystemProcessInspector::childPIDs(pid_t ppid) const {
  std::vector<pid_t> pids;
  for (const pid_t pid : table_.allPIDs()) {
    const auto handle = table_.open(pid);
    if (!handle) continue;
    const auto reading = handle->read();
    if (reading && reading->summary.ppid == ppid) pids.push_back(pid);
  }
  return pids;
}

}  // namespace glimmet
