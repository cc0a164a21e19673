// Which processes listen on which TCP ports: the user's own, joined to their
// snapshot records, and everyone else's, which the tool shows but never touches.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/process/process_snapshot.h"
#include "platform/sockets.h"

namespace glimmet {

struct ListeningProcess {
  ProcessIdentity identity;
  uid_t uid = 0;
  std::vector<std::uint16_t> ports;  ///< ascending, no duplicates, never empty
};

/// A listening port whose owner is another user or can't be told.
struct ForeignListener {
  std::uint16_t port = 0;
  pid_t pid = 0;            ///< 0 when no process holding the socket could be read
  std::string processName;  ///< the holder's name, or the owner's user name when pid is 0
  uid_t uid = 0;            ///< the socket's owner as the kernel records it

  friend bool operator==(const ForeignListener&, const ForeignListener&) = default;
};

class SocketScanner {
 public:
  /// A process holding a listening socket, as read when the scanner was made.
  struct Holder {
    std::uint64_t inode = 0;
    pid_t pid = 0;
    std::string name;
    uid_t uid = 0;                ///< the holder's effective uid
    std::uint64_t startTime = 0;  ///< tells this holder from a later process with its pid
  };

  /// Reads the kernel's listening-socket table when first asked (a `ghosts`
  /// run without ghosts never needs it). Who holds those sockets is read when
  /// first asked too: in one pass over the descriptors of every process we may
  /// read (ours; everyone's as root), the processes of `among` when given, or
  /// only the one process asked about by portsOf.
  explicit SocketScanner(const ProcessSnapshot* among = nullptr);
  SocketScanner(std::vector<platform::TcpListenRow> rows, std::vector<Holder> holders)
      : rows_(std::move(rows)), holders_(std::move(holders)) {}

  const std::vector<platform::TcpListenRow>& rows() const;

  /// The records of `uid` that aren't zombies and listen on a port, in snapshot order.
  /// A process replaced since the snapshot (another start time) contributes nothing.
  std::vector<ListeningProcess> listeningProcesses(const ProcessSnapshot& snapshot,
                                                   uid_t uid) const;

  /// The ports one of `uid`'s records listens on, ascending; reads only its
  /// descriptors unless every holder has been read already.
  std::vector<std::uint16_t> portsOf(const ProcessRecord& record, uid_t uid) const;

  /// Every listener of every user, with the holders we may read: sorted by port,
  /// then pid; each port and pid once (each port and owner once when pid is 0).
  std::vector<ForeignListener> allListeners() const;

  /// Joins sockets to holders: pure, for recorded tables.
  static std::vector<ForeignListener> joinListeners(
      const std::vector<platform::TcpListenRow>& rows, const std::vector<Holder>& holders,
      const std::function<std::string(uid_t)>& userName);

 private:
  const std::vector<Holder>& holders() const;

  mutable std::optional<std::vector<platform::TcpListenRow>> rows_;
  const ProcessSnapshot* among_ = nullptr;
  mutable std::optional<std::vector<Holder>> holders_;
};

class ForeignPortScanner {
 public:
  explicit ForeignPortScanner(uid_t currentUID) : currentUID_(currentUID) {}

  /// The listeners whose owner, as `ownerOf(pid)` tells it now, is unknown or
  /// another user; in the order of `listeners`.
  std::vector<ForeignListener> scan(
      const std::vector<ForeignListener>& listeners,
      const std::function<std::optional<uid_t>(pid_t)>& ownerOf) const;

 private:
  uid_t currentUID_;
};

}  // namespace glimmet
