#include "core/process/process_enumerator.h"

#include <unordered_set>

#include "core/process/interpreter_script.h"

namespace glimmet {

const ProcessEnumerator::Static* ProcessEnumerator::cached(
    pid_t pid, const platform::KernelSummary& summary) const {
  const auto found = staticCache_.find(pid);
  if (found == staticCache_.end()) return nullptr;
  const Static& entry = found->second;
  if (entry.startTime != summary.startTime || entry.kernelName != summary.name) return nullptr;
  return &entry;
}

std::optional<ProcessRecord> ProcessEnumerator::readRecord(const platform::ProcessHandle& handle,
                                                           bool detailed) {
  auto reading = handle.read();
  if (!reading) return std::nullopt;
  // Other users' processes are known by their kernel summary alone: we never
  // read their arguments, environment, folder or memory.
  if (reading->summary.uid != currentUID_) return recordFromSummary(reading->summary);

  // The summary is read again through the same handle after the other files: if
  // the process exited, that read fails; if it exec'd meanwhile, its name differs
  // and what was read may belong to two programs, so it is read once more.
  for (int attempt = 0; attempt < 2; ++attempt) {
    ProcessRecord record = recordFromSummary(reading->summary);
    const Static* hit = cached(handle.pid(), reading->summary);
    Static fresh;
    if (hit == nullptr) {
      fresh.startTime = reading->summary.startTime;
      fresh.kernelName = reading->summary.name;
      if (auto arguments = handle.arguments()) {
        fresh.argv = std::move(arguments->argv);
        fresh.environment = std::move(arguments->environment);
      }
      fresh.path = handle.executablePath();
      // Only interpreters pay for this, one realpath each per incarnation.
      if (const auto script = scriptArgument(fresh.path, fresh.argv))
        fresh.script = handle.resolvedPath(*script);
    }
    if (detailed) {
      record.cwd = handle.workingDirectory();
      record.footprint = reading->memory.footprint;
      record.residentSize = reading->memory.resident;
    }
    auto again = handle.read();
    if (!again || again->summary.startTime != reading->summary.startTime) return std::nullopt;
    if (again->summary.name != reading->summary.name) {
      reading = std::move(again);
      continue;
    }
    const Static& data = hit != nullptr ? *hit : fresh;
    record.path = data.path;
    record.argv = data.argv;
    record.environment = data.environment;
    record.script = data.script;
    record.name = platform::completeProcessName(record.name, record.argv, record.path);
    // Mid-exec the kernel shows the new name before the new arguments, and the
    // name and start time no longer change afterwards: an empty argument list
    // is never kept, or the process would stay without arguments for good.
    if (hit == nullptr && !fresh.argv.empty()) staticCache_[handle.pid()] = std::move(fresh);
    return record;
  }
  return std::nullopt;  // still changing under us: leave it to the next snapshot
}

ProcessSnapshot ProcessEnumerator::snapshot(std::chrono::system_clock::time_point now,
                                            bool detailed) {
  std::vector<ProcessRecord> records;
  std::unordered_set<ProcessIdentity> seen;
  for (const pid_t pid : table_.allPIDs()) {
    const auto handle = table_.open(pid);
    if (!handle) continue;
    auto record = readRecord(*handle, detailed);
    if (!record) continue;
    seen.insert(record->identity);
    records.push_back(std::move(*record));
  }
  std::erase_if(staticCache_, [&](const auto& entry) {
    return !seen.contains(ProcessIdentity{entry.first, entry.second.startTime});
  });
  return ProcessSnapshot(now, std::move(records));
}

ProcessRecord ProcessEnumerator::refresh(ProcessRecord record) const {
  if (record.uid != currentUID_) return record;
  const auto handle = table_.open(record.pid());
  if (!handle) return record;
  const auto reading = handle->read();
  if (!reading || reading->summary.startTime != record.identity.startTime) return record;
  record.footprint = reading->memory.footprint;
  record.residentSize = reading->memory.resident;
  if (!record.cwd) record.cwd = handle->workingDirectory();
  return record;
}

}  // namespace glimmet
