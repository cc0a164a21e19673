// The tool's signal handling, in one place: what an interrupt does while a
// cleanup runs, and broken pipes turned into errors instead of deaths.
#pragma once

#include <atomic>
#include <memory>

namespace glimmet::platform {

/// While a guard lives, SIGINT and SIGTERM only set its flag: the work in
/// progress decides how to stop (a cleanup lets a move finish and starts
/// nothing more). The previous handlers come back when it ends. One guard at
/// a time: a signal handler can reach only process-wide state.
class InterruptGuard {
 public:
  InterruptGuard();
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

  /// Set once an interrupt arrived while the guard lived.
  const std::atomic<bool>& flag() const;

 private:
  struct PreviousHandlers;
  std::unique_ptr<PreviousHandlers> previous_;
};

/// A write to a closed pipe then fails with EPIPE instead of ending the
/// process, so `glimmet ls | head` ends quietly. Spawned children get the
/// default back.
void ignoreBrokenPipes();

}  // namespace glimmet::platform
