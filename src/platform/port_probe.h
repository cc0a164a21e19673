// One connection to a loopback port, to tell a web server from a silent socket.
#pragma once

#include <chrono>
#include <cstdint>

namespace glimmet::platform {

enum class ProbeFamily { ipv4, ipv6 };

enum class ProbeOutcome {
  http,         ///< answered like an HTTP or TLS server
  tcpOnly,      ///< accepted, but answered something else or closed at once
  noReply,      ///< accepted, and said nothing in time
  unreachable,  ///< no connection
};

/// Never throws and never raises SIGPIPE; blocks for at most twice `wait`.
ProbeOutcome probeLoopbackPort(std::uint16_t port, ProbeFamily family,
                               std::chrono::milliseconds wait = std::chrono::milliseconds(1500));

}  // namespace glimmet::platform
