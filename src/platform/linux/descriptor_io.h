// Descriptor reads and writes shared by this backend's file code: system calls
// retried when a signal interrupts them, and writes that finish or fail whole.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>
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

/// Everything `fd` holds up to its end, or nothing when a read fails or it holds
/// more than `maxBytes`. The file may grow while it is read: the cap holds for
/// what is read, not only for what fstat saw.
inline std::optional<std::string> readToEnd(int fd, size_t maxBytes) {
  std::string contents;
  char buffer[65536];
  for (;;) {
    const ssize_t got = retryOnInterrupt([&] { return ::read(fd, buffer, sizeof buffer); });
    if (got < 0) return std::nullopt;
    if (got == 0) break;
    if (contents.size() + static_cast<size_t>(got) > maxBytes) return std::nullopt;
    contents.append(buffer, static_cast<size_t>(got));
  }
  return contents;
}

}  // namespace glimmet::platform
