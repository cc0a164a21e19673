// A non-blocking AF_UNIX stream socket: connect, send and recv, each waited
// for with poll against one deadline.
#include "platform/unix_socket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "platform/unique_fd.h"

namespace glimmet::platform {
namespace {

using Clock = std::chrono::steady_clock;

int remainingMillis(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Waits for `events` on `fd` until the deadline; false when time ran out.
bool waitFor(int fd, short events, Clock::time_point deadline) {
  while (true) {
    pollfd entry{fd, events, 0};
    const int ready = ::poll(&entry, 1, remainingMillis(deadline));
    if (ready > 0) return true;
    if (ready == 0) return false;
    if (errno != EINTR) return true;  // let the next call report the error
  }
}

}  // namespace

std::variant<std::string, SocketExchangeFailure> exchangeOnUnixSocket(
    const std::filesystem::path& path, std::string_view request, Clock::time_point deadline,
    std::size_t maxAnswerBytes) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const auto& text = path.native();
  if (text.size() >= sizeof(address.sun_path)) return SocketExchangeFailure::pathTooLong;
  std::memcpy(address.sun_path, text.c_str(), text.size() + 1);

  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd) return SocketExchangeFailure::notConnected;
  if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    if (errno != EINPROGRESS && errno != EAGAIN) return SocketExchangeFailure::notConnected;
    if (!waitFor(fd.get(), POLLOUT, deadline)) return SocketExchangeFailure::timedOut;
    int error = 0;
    socklen_t length = sizeof(error);
    if (::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
      return SocketExchangeFailure::notConnected;
  }

  size_t sent = 0;
  while (sent < request.size()) {
    const auto wrote = ::send(fd.get(), request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (wrote > 0) {
      sent += static_cast<size_t>(wrote);
      continue;
    }
    if (wrote < 0 && errno != EAGAIN && errno != EINTR) return SocketExchangeFailure::sendFailed;
    if (!waitFor(fd.get(), POLLOUT, deadline)) return SocketExchangeFailure::timedOut;
  }

  std::string answer;
  std::array<char, 64 * 1024> buffer{};
  while (true) {
    if (!waitFor(fd.get(), POLLIN, deadline)) return SocketExchangeFailure::timedOut;
    const auto got = ::recv(fd.get(), buffer.data(), buffer.size(), 0);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      return SocketExchangeFailure::receiveFailed;
    }
    answer.append(buffer.data(), static_cast<size_t>(got));
    if (answer.size() > maxAnswerBytes) return SocketExchangeFailure::tooLarge;
  }
  return answer;
}

}  // namespace glimmet::platform
