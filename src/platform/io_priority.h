// Disk I/O at the lowest priority for the calling thread while a guard lives, so
// that measuring a large tree doesn't slow the user's own work.
#pragma once

#include <optional>

namespace glimmet::platform {

class IoPriorityGuard {
 public:
  /// Moves this thread to the idle I/O class; a failure leaves it as it was.
  IoPriorityGuard();
  /// Restores the thread's previous priority when it could be read.
  ~IoPriorityGuard();
  IoPriorityGuard(const IoPriorityGuard&) = delete;
  IoPriorityGuard& operator=(const IoPriorityGuard&) = delete;

  /// Whether the idle class was applied (schedulers may still ignore it).
  bool throttled() const { return throttled_; }

 private:
  std::optional<int> previous_;
  bool throttled_ = false;
};

}  // namespace glimmet::platform
