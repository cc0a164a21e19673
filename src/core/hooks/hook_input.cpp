// Bounded reads of a hook's standard input.
#include "core/hooks/hook_input.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "platform/files.h"

namespace glimmet {

HookInput::HookInput(int fd, std::chrono::milliseconds silence)
    : fd_(fd), silence_(silence), ended_(fd < 0 || platform::isTerminal(fd)) {
  // A 1 MiB payload through the default 64 KiB pipe is sixteen rounds of the
  // agent waiting for us and us for it; with room for all of it the agent
  // writes once and our reads never wait. A file or socket is left alone.
  if (!ended_) platform::widenPipe(fd, kLargestHookPayload);
}

std::string_view HookInput::next() {
  if (ended_ || delivered_ >= kLargestHookPayload) return {};
  if (!buffer_) buffer_ = std::make_unique_for_overwrite<char[]>(kHookReadChunk);
  for (;;) {
    pollfd ready{.fd = fd_, .events = POLLIN, .revents = 0};
    const int polled = ::poll(&ready, 1, static_cast<int>(silence_.count()));
    if (polled < 0 && errno == EINTR) continue;
    if (polled <= 0 || (ready.revents & POLLNVAL) != 0) break;  // silence, or not open
    const ssize_t got = ::read(fd_, buffer_.get(), kHookReadChunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    delivered_ += static_cast<size_t>(got);
    return {buffer_.get(), static_cast<size_t>(got)};
  }
  ended_ = true;
  return {};
}

}  // namespace glimmet
