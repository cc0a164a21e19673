// Bounded reads with poll(2) deadlines.
#include "platform/bounded_read.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "platform/files.h"

namespace glimmet::platform {

BoundedReader::BoundedReader(int fd, ReadBounds bounds)
    : fd_(fd), bounds_(bounds), ended_(fd < 0 || isTerminal(fd)) {
  if (!ended_) widenPipe(fd, bounds_.limit);
}

std::string_view BoundedReader::next() {
  if (ended_ || delivered_ >= bounds_.limit) return {};
  if (!buffer_) buffer_ = std::make_unique_for_overwrite<char[]>(bounds_.chunk);
  for (;;) {
    pollfd ready{.fd = fd_, .events = POLLIN, .revents = 0};
    const int polled = ::poll(&ready, 1, static_cast<int>(bounds_.silence.count()));
    if (polled < 0 && errno == EINTR) continue;
    if (polled <= 0 || (ready.revents & POLLNVAL) != 0) break;  // silence, or not open
    const ssize_t got = ::read(fd_, buffer_.get(), bounds_.chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    delivered_ += static_cast<size_t>(got);
    return {buffer_.get(), static_cast<size_t>(got)};
  }
  ended_ = true;
  return {};
}

}  // namespace glimmet::platform
