// The one measuring routine behind every size the disk subsystem reports.
#pragma once

#include <filesystem>
#include <utility>

#include "core/disk/measurement.h"
#include "platform/io_priority.h"

namespace glimmet {

/// Walks `path` physically on its own device and measures it, on up to
/// `walkers` threads. A link is never followed: given as the path itself, it
/// measures as empty. Thread-safe.
Measurement measure(const std::filesystem::path& path, const CancelFlag& cancel,
                    size_t walkers = 1);

/// Runs `body` with this thread's disk I/O at idle priority, restored afterwards.
template <typename Body>
decltype(auto) withThrottledIO(Body&& body) {
  const platform::IoPriorityGuard guard;
  return std::forward<Body>(body)();
}

}  // namespace glimmet
