// The tool's signal handling, in one place: what an interrupt does while a
// cleanup runs, how a long-running command is asked to stop, and broken pipes
// turned into errors instead of deaths.
#pragma once

#include <atomic>
#include <chrono>
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

/// While it lives, SIGTERM and SIGINT ask a long-running command to end
/// cleanly: the handler notes the signal and wakes `wait` at once, through a
/// pipe it writes one byte to. The previous handlers come back when it ends.
/// One at a time, like InterruptGuard.
class StopSignals {
 public:
  /// Throws SystemError when the pipe can't be made.
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  /// The signal that asked to stop; 0 while none has.
  int received() const;
  /// Sleeps until `timeout` has passed or a stop signal came; true when one has.
  bool wait(std::chrono::milliseconds timeout) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

/// "SIGTERM", "SIGINT", "SIGHUP", "SIGKILL", or "another signal".
const char* signalName(int number);

/// A write to a closed pipe then fails with EPIPE instead of ending the
/// process, so `glimmet ls | head` ends quietly. Spawned children get the
/// default back.
void ignoreBrokenPipes();

}  // namespace glimmet::platform
