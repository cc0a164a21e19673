#include "platform/port_probe.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <string_view>

#include "platform/unique_fd.h"

namespace glimmet::platform {
namespace {

bool waitFor(int fd, short events, std::chrono::milliseconds wait) {
  pollfd ready{.fd = fd, .events = events, .revents = 0};
  int result = 0;
  do {
    result = poll(&ready, 1, static_cast<int>(wait.count()));
  } while (result < 0 && errno == EINTR);
  return result > 0;
}

}  // namespace

ProbeOutcome probeLoopbackPort(std::uint16_t port, ProbeFamily family,
                               std::chrono::milliseconds wait) {
  const bool v6 = family == ProbeFamily::ipv6;
  const UniqueFd fd(socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd) return ProbeOutcome::unreachable;

  sockaddr_storage storage{};
  socklen_t length = 0;
  if (v6) {
    auto* address = reinterpret_cast<sockaddr_in6*>(&storage);
    address->sin6_family = AF_INET6;
    address->sin6_port = htons(port);
    address->sin6_addr = in6addr_loopback;
    length = sizeof *address;
  } else {
    auto* address = reinterpret_cast<sockaddr_in*>(&storage);
    address->sin_family = AF_INET;
    address->sin_port = htons(port);
    address->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    length = sizeof *address;
  }
  if (connect(fd.get(), reinterpret_cast<const sockaddr*>(&storage), length) != 0) {
    if (errno != EINPROGRESS || !waitFor(fd.get(), POLLOUT, wait)) return ProbeOutcome::unreachable;
    int pending = 0;
    socklen_t size = sizeof pending;
    if (getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &pending, &size) != 0 || pending != 0) {
      return ProbeOutcome::unreachable;
    }
  }

  constexpr std::string_view kRequest =
      "HEAD / HTTP/1.0\r\nHost: localhost\r\nUser-Agent: Glimmet\r\n\r\n";
  // MSG_NOSIGNAL: a peer that hung up must not kill us with SIGPIPE.
  (void)send(fd.get(), kRequest.data(), kRequest.size(), MSG_NOSIGNAL);
  if (!waitFor(fd.get(), POLLIN, wait)) return ProbeOutcome::noReply;

  unsigned char reply[16];
  const ssize_t got = recv(fd.get(), reply, sizeof reply, 0);
  if (got <= 0) return ProbeOutcome::tcpOnly;
  // A TLS server answers plain text with an alert (21) or a handshake record (22).
  if (reply[0] == 21 || reply[0] == 22) return ProbeOutcome::http;
  constexpr std::string_view kStatusLine = "HTTP/";
  if (static_cast<std::size_t>(got) >= kStatusLine.size() &&
      std::string_view(reinterpret_cast<const char*>(reply), kStatusLine.size()) == kStatusLine) {
    return ProbeOutcome::http;
  }
  return ProbeOutcome::tcpOnly;
}

}  // namespace glimmet::platform
