// A pure parser for /proc/net/tcp and /proc/net/tcp6, so recorded tables
// (including truncated ones) can be tested without a live socket.
#pragma once

#include <string_view>
#include <vector>

#include "platform/sockets.h"

namespace glimmet::platform::procfs {

/// The rows in the LISTEN state (0A). A row that is cut short is dropped whole.
/// IPv4-mapped IPv6 addresses are returned as IPv4.
std::vector<TcpListenRow> parseTcpTable(std::string_view text, int family);

}  // namespace glimmet::platform::procfs
