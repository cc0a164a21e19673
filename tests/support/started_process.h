// A process the test started indirectly (through a stand-in agent, or detached
// out of the test's own process groups), held by its pidfd: killed when the
// test ends if it outlived it, and never confused with a later process that
// reused its pid.
#pragma once

#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/unique_fd.h"

namespace glimmet::testing {

class Started {
 public:
  explicit Started(pid_t pid)
      : pid_(pid), pidfd_(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0))) {}
  ~Started() {
    if (pidfd_) ::syscall(SYS_pidfd_send_signal, pidfd_.get(), SIGKILL, nullptr, 0);
  }
  Started(Started&&) noexcept = default;
  Started& operator=(Started&&) = delete;

  pid_t pid() const { return pid_; }

 private:
  pid_t pid_;
  platform::UniqueFd pidfd_;
};

}  // namespace glimmet::testing
