// The kernel's table of listening TCP sockets, and who holds them.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/proc_root.h"

namespace glimmet::platform {

struct TcpListenRow {
  int family = 0;                          ///< AF_INET or AF_INET6
  std::array<std::uint8_t, 16> address{};  ///< network order; the first 4 bytes for IPv4
  std::uint16_t port = 0;
  uid_t uid = 0;
  std::uint64_t inode = 0;
};

/// Every listening TCP socket of our network namespace, IPv4 first, then IPv6
/// (root/net/tcp, then root/net/tcp6, which a host without IPv6 doesn't have).
std::vector<TcpListenRow> listeningSockets(const ProcRoot& root = ProcRoot::system());

/// The user's name, or the decimal uid when the system doesn't know it.
std::string userName(uid_t uid);

}  // namespace glimmet::platform
