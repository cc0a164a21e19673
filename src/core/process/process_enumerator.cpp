#include "core/process/process_enumerator.h"

#include <unordered_set>

#include "core/process/interpreter_script.h"

namespace glimmet {
namespace {

using Table = std::shared_ptr<const platform::ProcessTable>;

// A field read later through the process's folder, opened again: what is read
// counts only when the folder still belongs to the incarnation the snapshot
// saw (same start time), else the field is `gone`.
template <typename T, typename Read>
Deferred<T> readLater(Table table, ProcessIdentity identity, T gone, Read read) {
  return Deferred<T>::later(
      [table = std::move(table), identity, gone = std::move(gone), read = std::move(read)]() -> T {
        const auto handle = table->open(identity.pid);
        if (!handle) return gone;
        T value = read(*handle);
        if (handle->startTime() != identity.startTime) return gone;
        return value;
      });
}

// The script an interpreter runs, resolved against its working folder; only
// interpreters pay for this, one realpath each per incarnation.
Deferred<std::optional<std::string>> scriptOf(const Table& table, ProcessIdentity identity,
                                              Deferred<std::optional<std::string>> path,
                                              std::vector<std::string> argv) {
  return readLater<std::optional<std::string>>(
      table, identity, std::nullopt,
      [path = std::move(path), argv = std::move(argv)](
          const platform::ProcessHandle& handle) -> std::optional<std::string> {
        const auto script = scriptArgument(path.get(), argv);
        if (!script) return std::nullopt;
        return handle.resolvedPath(*script);
      });
}

}  // namespace

ProcessEnumerator::ProcessEnumerator(uid_t currentUID, platform::ProcRoot root)
    : currentUID_(currentUID),
      table_(std::make_shared<const platform::ProcessTable>(std::move(root))) {}

const ProcessEnumerator::Static* ProcessEnumerator::cached(
    pid_t pid, const platform::KernelSummary& summary) const {
  const auto found = staticCache_.find(pid);
  if (found == staticCache_.end()) return nullptr;
  const Static& entry = found->second;
  if (entry.startTime != summary.startTime || entry.kernelName != summary.name) return nullptr;
  return &entry;
}

std::optional<ProcessRecord> ProcessEnumerator::readRecord(const platform::ProcessHandle& handle,
                                                           SnapshotReads reads) {
  const auto summary = handle.summary();
  if (!summary) return std::nullopt;
  ProcessRecord record = recordFromSummary(*summary);
  // Other users' processes are known by their kernel summary alone: we never
  // read their arguments, environment, folder or memory.
  if (summary->uid != currentUID_) return record;

  const Static* hit = cached(handle.pid(), *summary);
  Static fresh;
  if (hit == nullptr) {
    // Arguments are read through the folder the summary came from: a process
    // that exited since reads as nothing and is left out. One that exec'd in
    // between has its new arguments under its old name; the cache, keyed by
    // name too, reads them again at the next snapshot.
    auto argv = handle.commandLine();
    if (!argv) return std::nullopt;
    fresh.startTime = summary->startTime;
    fresh.kernelName = summary->name;
    fresh.argv = std::move(*argv);
    if (reads.executables) {
      fresh.path = handle.executablePath();
    } else {
      fresh.path = readLater<std::optional<std::string>>(
          table_, record.identity, std::nullopt,
          [](const platform::ProcessHandle& later) { return later.executablePath(); });
    }
    fresh.environment = readLater<std::vector<std::string>>(
        table_, record.identity, {},
        [](const platform::ProcessHandle& later) { return later.environment(); });
    fresh.script = scriptOf(table_, record.identity, fresh.path, fresh.argv);
  }
  const Static& data = hit != nullptr ? *hit : fresh;
  record.path = data.path;
  record.argv = data.argv;
  record.environment = data.environment;
  record.script = data.script;
  // The kernel keeps 15 bytes of a name; the arguments usually complete it,
  // and only when they don't is the executable asked.
  constexpr std::size_t kKernelNameLimit = 15;
  if (record.name.size() == kKernelNameLimit) {
    auto completed = platform::completeProcessName(record.name, record.argv, std::nullopt);
    record.name = completed != record.name
                      ? std::move(completed)
                      : platform::completeProcessName(record.name, record.argv, record.path.get());
  }
  if (reads.detailed) {
    record.cwd = readLater<std::optional<std::string>>(
        table_, record.identity, std::nullopt,
        [](const platform::ProcessHandle& later) { return later.workingDirectory(); });
    const auto memory = readLater<platform::MemoryUsage>(
        table_, record.identity, {}, [](const platform::ProcessHandle& later) {
          return later.memory().value_or(platform::MemoryUsage{});
        });
    record.footprint = Deferred<std::uint64_t>::later([memory] { return memory.get().footprint; });
    record.residentSize =
        Deferred<std::uint64_t>::later([memory] { return memory.get().resident; });
  }
  // Mid-exec the kernel shows the new name before the new arguments, and the
  // name and start time no longer change afterwards: an empty argument list
  // is never kept, or the process would stay without arguments for good.
  if (hit == nullptr && !fresh.argv.empty()) staticCache_[handle.pid()] = std::move(fresh);
  return record;
}

ProcessSnapshot ProcessEnumerator::snapshot(std::chrono::system_clock::time_point now,
                                            bool detailed) {
  return snapshot(now, SnapshotReads{.detailed = detailed});
}

ProcessSnapshot ProcessEnumerator::snapshot(std::chrono::system_clock::time_point now,
                                            SnapshotReads reads) {
  std::vector<ProcessRecord> records;
  std::unordered_set<ProcessIdentity> seen;
  for (const pid_t pid : table_->allPIDs()) {
    const auto handle = table_->open(pid);
    if (!handle) continue;
    auto record = readRecord(*handle, reads);
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
  const auto handle = table_->open(record.pid());
  if (!handle) return record;
  const auto reading = handle->read();
  if (!reading || reading->summary.startTime != record.identity.startTime) return record;
  record.footprint = reading->memory.footprint;
  record.residentSize = reading->memory.resident;
  if (!record.cwd) record.cwd = handle->workingDirectory();
  return record;
}

}  // namespace glimmet
