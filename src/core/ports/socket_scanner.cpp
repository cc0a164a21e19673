#include "core/ports/socket_scanner.h"

#include <algorithm>
#include <set>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include "platform/own_process.h"
#include "platform/process_info.h"

namespace glimmet {

namespace {

using Listening = std::unordered_set<std::uint64_t>;

// Whether we may read a process's descriptors at all: its folder must be ours,
// unless we are root. Asking the others would only be refused.
bool mayReadDescriptors(uid_t owner) {
  const uid_t self = platform::effectiveUID();
  return self == 0 || owner == self;
}

// The holders among one process's descriptors, read through its folder opened
// again; they count only while the folder still belongs to the incarnation
// that was seen (same start time).
void addHoldersOf(const platform::ProcessTable& table, pid_t pid, const std::string& name,
                  uid_t uid, std::uint64_t startTime, const Listening& listening,
                  std::vector<SocketScanner::Holder>& holders) {
  const auto handle = table.open(pid);
  if (!handle) return;
  const auto first = holders.size();
  for (const auto inode : handle->socketInodes())
    if (listening.contains(inode)) holders.push_back({inode, pid, name, uid, startTime});
  if (holders.size() > first && handle->startTime() != startTime)
    holders.erase(holders.begin() + static_cast<std::ptrdiff_t>(first), holders.end());
}

std::vector<SocketScanner::Holder> readHolders(const std::vector<platform::TcpListenRow>& rows,
                                               const ProcessSnapshot* among) {
  std::vector<SocketScanner::Holder> holders;
  if (rows.empty()) return holders;
  Listening listening;
  for (const auto& row : rows) listening.insert(row.inode);
  const platform::ProcessTable table;
  if (among != nullptr) {
    for (const auto& record : among->records())
      if (mayReadDescriptors(record.uid) && record.status != ProcessStatus::zombie)
        addHoldersOf(table, record.pid(), record.name, record.uid, record.identity.startTime,
                     listening, holders);
    return holders;
  }
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

SocketScanner::SocketScanner(const ProcessSnapshot* among) : among_(among) {}

const std::vector<platform::TcpListenRow>& SocketScanner::rows() const {
  if (!rows_) rows_ = platform::listeningSockets();
  return *rows_;
}

const std::vector<SocketScanner::Holder>& SocketScanner::holders() const {
  if (!holders_) holders_ = readHolders(rows(), among_);
  return *holders_;
}

std::vector<ListeningProcess> SocketScanner::listeningProcesses(const ProcessSnapshot& snapshot,
                                                                uid_t uid) const {
  std::unordered_map<std::uint64_t, std::uint16_t> portByInode;
  for (const auto& row : rows()) portByInode.emplace(row.inode, row.port);
  std::unordered_map<pid_t, std::set<std::uint16_t>> portsByPID;
  for (const auto& holder : holders()) {
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

std::vector<std::uint16_t> SocketScanner::portsOf(const ProcessRecord& record, uid_t uid) const {
  if (record.uid != uid || record.status == ProcessStatus::zombie || rows().empty()) return {};
  std::vector<Holder> own;
  if (!holders_) {
    Listening listening;
    for (const auto& row : rows()) listening.insert(row.inode);
    if (mayReadDescriptors(record.uid))
      addHoldersOf(platform::ProcessTable(), record.pid(), record.name, record.uid,
                   record.identity.startTime, listening, own);
  }
  const auto& candidates = holders_ ? *holders_ : own;
  std::set<std::uint16_t> ports;
  for (const auto& holder : candidates) {
    if (holder.pid != record.pid() || holder.startTime != record.identity.startTime) continue;
    for (const auto& row : rows())
      if (row.inode == holder.inode) ports.insert(row.port);
  }
  return {ports.begin(), ports.end()};
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
  return joinListeners(rows(), holders(), platform::userName);
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
