// getrandom(2), looped until full; the seeded fallback covers kernels and
// sandboxes that refuse the call.
#include "platform/random.h"

#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <random>

namespace glimmet::platform {

void randomBytes(std::span<std::byte> out) {
  std::size_t filled = 0;
  while (filled < out.size()) {
    const auto got = ::getrandom(out.data() + filled, out.size() - filled, 0);
    if (got > 0) {
      filled += static_cast<std::size_t>(got);
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    break;
  }
  if (filled == out.size()) return;
  std::mt19937_64 fallback(
      static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
      static_cast<uint64_t>(::getpid()));
  for (auto& byte : out.subspan(filled)) byte = static_cast<std::byte>(fallback());
}

}  // namespace glimmet::platform
