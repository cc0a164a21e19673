// Descriptor reads and writes shared by this backend's file code: system calls
// retried when a signal interrupts them, and writes that finish or fail whole.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <string_view>

namespace glimmet::platform {

template <typename Call>
auto retryOnInterrupt(Call call) {
  decltype(call()) result;
  do {
    result = call();
  } while (result == -1 && errno == EINTR);
  return result;
}

/// Writes every byte or fails with errno set.
inline bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written =
        retryOnInterrupt([&] { return ::write(fd, bytes.data(), bytes.size()); });
    if (written < 0) return false;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

}  // namespace glimmet::platform
