#include "core/ports/socket_scanner.h"

#include <algorithm>
#include <set>
#include <tuple>
#include <unordered_map>

#include "platform/process_info.h"

namespace glimmet {

std::vector<ListeningProcess> SocketScanner::listeningProcesses(const ProcessSnapshot& snapshot,
                                                                uid_t uid) const {
  std::vector<ListeningProcess> result;
  if (rows_.empty()) return result;
  std::unordered_map<std::uint64_t, std::uint16_t> portByInode;
  for (const auto& row : rows_) portByInode.emplace(row.inode, row.port);

  const platform::ProcessTable table;
  for (const auto& record : snapshot.records()) {
    if (record.uid != uid || record.status == ProcessStatus::zombie) continue;
    const auto handle = table.open(record.pid());
    if (!handle) continue;
    // The handle is tied to one incarnation: check it is still the snapshot's.
    const auto reading = handle->read();
    if (!reading || reading->summary.startTime != record.identity.startTime) continue;
    std::set<std::uint16_t> ports;
    for (const auto inode : handle->socketInodes()) {
      if (const auto found = portByInode.find(inode); found != portByInode.end()) {
        ports.insert(found->second);
      }
    }
    if (ports.empty()) continue;
    result.push_back({record.identity, record.uid, {ports.begin(), ports.end()}});
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
  std::vector<Holder> holders;
  if (!rows_.empty()) {
    std::set<std::uint64_t> listening;
    for (const auto& row : rows_) listening.insert(row.inode);
    // Other users' descriptor folders refuse us at once unless we are root.
    const platform::ProcessTable table;
    for (const pid_t pid : table.allPids()) {
      const auto handle = table.open(pid);
      if (!handle) continue;
      std::optional<std::string> name;
      for (const auto inode : handle->socketInodes()) {
        if (!listening.contains(inode)) continue;
        if (!name) {
          const auto reading = handle->read();
          if (!reading) break;
          name = reading->summary.name;
        }
        holders.push_back({inode, pid, *name});
      }
    }
  }
  return joinListeners(rows_, holders, platform::userName);
}

std::vector<ForeignListener> ForeignPortScanner::scan(
    const std::vector<ForeignListener>& listeners,
    const std::function<std::optional<uid_t>(pid_t)>& ownerOf) const {
  std::vector<ForeignListener> foreign;
  for (const auto& listener : listeners) {
    const auto owner = listener.pid > 0 ? ownerOf(listener.pid) : std::nullopt;
    if (!owner || *owner != currentUid_) foreign.push_back(listener);
  }
  return foreign;
}

}  // namespace glimmet
