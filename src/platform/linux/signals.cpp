// sigaction handlers that do nothing but set an atomic flag or write(2) one
// byte: anything more (locks, allocation, output) isn't safe inside a handler.
#include "platform/signals.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "platform/system_error.h"
#include "platform/unique_fd.h"

namespace glimmet::platform {
namespace {

// A handler can reach nothing but static state, so this is the one piece of
// process-wide state, and it means something only while a guard lives.
std::atomic<bool> gInterrupted{false};
// The same for StopSignals: the signal that came, and the pipe end that wakes
// its wait. Lock-free atomics are safe to touch in a handler.
std::atomic<int> gStopSignal{0};
std::atomic<int> gWakeFd{-1};

void noteStop(int number) {
  const int saved = errno;
  gStopSignal.store(number);
  if (const int fd = gWakeFd.load(); fd >= 0) {
    // A full pipe already holds a wake-up: a failed write loses nothing.
    [[maybe_unused]] const ssize_t ignored = ::write(fd, "x", 1);
  }
  errno = saved;
}

// Sends SIGINT and SIGTERM to `handler`, keeping the handlers they had.
void takeInterrupts(void (*handler)(int), struct sigaction& interrupt,
                    struct sigaction& terminate) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, &interrupt);
  ::sigaction(SIGTERM, &action, &terminate);
}

void giveInterruptsBack(const struct sigaction& interrupt, const struct sigaction& terminate) {
  ::sigaction(SIGINT, &interrupt, nullptr);
  ::sigaction(SIGTERM, &terminate, nullptr);
}

}  // namespace

struct InterruptGuard::PreviousHandlers {
  struct sigaction interrupt {};
  struct sigaction terminate {};
};

InterruptGuard::InterruptGuard() : previous_(std::make_unique<PreviousHandlers>()) {
  gInterrupted.store(false);
  takeInterrupts([](int) { gInterrupted.store(true); }, previous_->interrupt, previous_->terminate);
}

InterruptGuard::~InterruptGuard() {
  giveInterruptsBack(previous_->interrupt, previous_->terminate);
}

const std::atomic<bool>& InterruptGuard::flag() const {
  return gInterrupted;
}

struct StopSignals::State {
  UniqueFd readEnd;
  UniqueFd writeEnd;
  struct sigaction interrupt {};
  struct sigaction terminate {};
};

StopSignals::StopSignals() : state_(std::make_unique<State>()) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
    throw SystemError("Couldn't make the pipe that wakes the companion", errno);
  state_->readEnd.reset(ends[0]);
  state_->writeEnd.reset(ends[1]);
  gStopSignal.store(0);
  gWakeFd.store(ends[1]);
  takeInterrupts(noteStop, state_->interrupt, state_->terminate);
}

StopSignals::~StopSignals() {
  giveInterruptsBack(state_->interrupt, state_->terminate);
  gWakeFd.store(-1);
}

int StopSignals::received() const {
  return gStopSignal.load();
}

bool StopSignals::wait(std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (received() == 0) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd wake{state_->readEnd.get(), POLLIN, 0};
    // A signal interrupts poll (EINTR) or leaves its byte to read: either way
    // the loop looks at the flag again.
    if (::poll(&wake, 1, static_cast<int>(left.count())) > 0) {
      char drained[64];
      while (::read(state_->readEnd.get(), drained, sizeof drained) > 0) {
      }
    }
  }
  return received() != 0;
}

const char* signalName(int number) {
  switch (number) {
    case SIGTERM:
      return "SIGTERM";
    case SIGINT:
      return "SIGINT";
    case SIGHUP:
      return "SIGHUP";
    case SIGKILL:
      return "SIGKILL";
    default:
      return "another signal";
  }
}

void ignoreBrokenPipes() {
  ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace glimmet::platform
