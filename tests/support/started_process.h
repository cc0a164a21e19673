// A process a test started indirectly (through a stand-in agent, detached from
// the test's own process groups): held by a pidfd opened while it was surely
// the test's, and killed through it if it outlives the test.
#pragma once

#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/unique_fd.h"

namespace glimmet::testing {

class StartedProcess {
 public:
  explicit StartedProcess(pid_t pid)
      : pid_(pid), pidfd_(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0))) {}
  ~StartedProcess() {
    if (pidfd_) ::syscall(SYS_pidfd_send_signal, pidfd_.get(), SIGKILL, nullptr, 0);
  }
  StartedProcess(const StartedProcess&) = delete;
  StartedProcess& operator=(const StartedProcess&) = delete;

  pid_t pid() const { return pid_; }

 private:
  pid_t pid_;
  platform::UniqueFd pidfd_;
};

}  // namespace glimmet::testing
