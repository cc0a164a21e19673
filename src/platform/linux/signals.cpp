// sigaction handlers that do nothing but set an atomic flag: anything more
// (locks, allocation, output) isn't safe inside a handler.
#include "platform/signals.h"

#include <signal.h>

namespace glimmet::platform {
namespace {

// A handler can reach nothing but static state, so this is the one piece of
// process-wide state, and it means something only while a guard lives.
std::atomic<bool> gInterrupted{false};

}  // namespace

struct InterruptGuard::PreviousHandlers {
  struct sigaction interrupt {};
  struct sigaction terminate {};
};

InterruptGuard::InterruptGuard() : previous_(std::make_unique<PreviousHandlers>()) {
  gInterrupted.store(false);
  struct sigaction action {};
  action.sa_handler = [](int) { gInterrupted.store(true); };
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, &previous_->interrupt);
  ::sigaction(SIGTERM, &action, &previous_->terminate);
}

InterruptGuard::~InterruptGuard() {
  ::sigaction(SIGINT, &previous_->interrupt, nullptr);
  ::sigaction(SIGTERM, &previous_->terminate, nullptr);
}

const std::atomic<bool>& InterruptGuard::flag() const {
  return gInterrupted;
}

void ignoreBrokenPipes() {
  ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace glimmet::platform
