#include "core/ports/socket_scanner.h"

#include <algorithm>
#include <set>
#include <tuple>
#include <unordered_map>

#include "platform/process_info.h"

namespace glimmet {

namespace {

// Other users' descriptor folders refuse us at once unless we are root, so the
// pass costs little beyond the user's own processes.
std::vector<SocketScanner::Holder> readHolders(const std::vector<platform::TcpListenRow>& rows) {
  std::vector<SocketScanner::Holder> holders;
  if (rows.empty()) return holders;
  std::set<std::uint64_t> listening;
  for (const auto& row : rows) listening.insert(row.inode);
  const platform::ProcessTable table;
  for (const pid_t pid : table.allPIDs()) {
    const auto handle = table.open(pid);
    if (!handle) continue;
    std::optional<platform::KernelReading> reading;
    for (const auto inode : handle->socketInodes()) {
      if (!listening.contains(inode)) continue;
      // Read after the descriptors, through the same handle: a process that
      // exited or was replaced meanwhile reads as nothing.
      if (!reading && !(reading = handle->read())) break;
      const auto& summary = reading->summary;
      holders.push_back({inode, pid, summary.name, summary.uid, summary.startTime});
    }
  }
  return holders;
}

}  // namespace

SocketScanner::SocketScanner()
    : rows_(platform::listeningSockets()), holders_(readHolders(rows_)) {}

std::vector<ListeningProcess> SocketScanner::listeningProcesses(const ProcessSnapshot& snapshot,
                                                                uid_t uid) const {
  std::unordered_map<std::uint64_t, std::uint16_t> portByInode;
  for (const auto& row : rows_) portByInode.emplace(row.inode, row.port);
  std::unordered_map<pid_t, std::set<std::uint16_t>> portsByPID;
  for (const auto& holder : holders_) {
    if (holder.uid != uid) continue;
    const auto record = snapshot.record(holder.pid);
    if (!record || record->identity.startTime != holder.startTime) continue;
    if (const auto found = portByInode.find(holder.inode); found != portByInode.end()) {
      portsByPID[holder.pid].insert(found->second);
    }
  }
  std::vector<ListeningProcess> result;
  if (portsByPID.empty()) return result;
  for (const auto& record : snapshot.records()) {
    if (record.uid != uid || record.status == ProcessStatus::zombie) continue;
    const auto found = portsByPID.find(record.pid());
    if (found == portsByPID.end()) continue;
    result.push_back({record.identity, record.uid, {found->second.begin(), found->second.end()}});
  }
  return result;
}

std::vector<ForeignListener> SocketScanner::joinListeners(
    const std::vector<platform::TcpListenRow>& rows, const std::vector<Holder>& holders,
    const std::function<std::string(uid_t)>& userName) {
  std::unordered_multimap<std::uint64_t, const Holder*> holdersByInode;
  for (const auto& holder : holders) holdersByInode.emplace(holder.inode, &holder);

  std::vector<ForeignListener> listeners;
  std::set<std::tuple<std::uint16_t, pid_t, uid_t>> seen;
  for (const auto& row : rows) {
    const auto [first, last] = holdersByInode.equal_range(row.inode);
    if (first == last) {
      if (seen.emplace(row.port, 0, row.uid).second) {
        listeners.push_back({row.port, 0, userName(row.uid), row.uid});
      }
      continue;
    }
    for (auto it = first; it != last; ++it) {
      const Holder& holder = *it->second;
      // A pid listed once per port, whichever address family it listens on.
      if (seen.emplace(row.port, holder.pid, 0).second) {
        listeners.push_back({row.port, holder.pid, holder.name, row.uid});
      }
    }
  }
  std::stable_sort(listeners.begin(), listeners.end(), [](const auto& a, const auto& b) {
    return std::tie(a.port, a.pid) < std::tie(b.port, b.pid);
  });
  return listeners;
}

std::vector<ForeignListener> SocketScanner::allListeners() const {
  return joinListeners(rows_, holders_, platform::userName);
}

std::vector<ForeignListener> ForeignPortScanner::scan(
    const std::vector<ForeignListener>& listeners,
    const std::function<std::optional<uid_t>(pid_t)>& ownerOf) const {
  std::vector<ForeignListener> foreign;
  for (const auto& listener : listeners) {
    const auto owner = listener.pid > 0 ? ownerOf(listener.pid) : std::nullopt;
    if (!owner || *owner != currentUID_) foreign.push_back(listener);
  }
  return foreign;
}

}  // namespace glimmet
