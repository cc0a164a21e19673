// One request and its whole answer over a Unix-domain stream socket, within a
// deadline: how the tool talks to a local daemon without an HTTP library.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <variant>

namespace glimmet::platform {

enum class SocketExchangeFailure {
  pathTooLong,    ///< the socket's path doesn't fit a socket address
  notConnected,   ///< no socket, or nothing accepts on it (or not for this user)
  sendFailed,     ///< the peer went away while the request was sent
  timedOut,       ///< the deadline passed
  receiveFailed,  ///< reading the answer failed
  tooLarge,       ///< the answer grew past the limit
};

/// Connects to the socket at `path`, sends all of `request`, and reads until
/// the peer closes, everything by `deadline`. The answer, or why there is none.
std::variant<std::string, SocketExchangeFailure> exchangeOnUnixSocket(
    const std::filesystem::path& path, std::string_view request,
    std::chrono::steady_clock::time_point deadline, std::size_t maxAnswerBytes);

}  // namespace glimmet::platform
