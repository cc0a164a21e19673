// Extra sleeping processes for the benchmarks that measure how a command grows
// with the process table: children of the benchmark, killed and reaped when
// it is done, so nothing of another program is ever signalled. A benchmark
// that dies early (a closed pipe, Ctrl-C) takes them with it.
#pragma once

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace glimmet::bench {

class Sleepers {
 public:
  explicit Sleepers(int count) {
    const pid_t parent = getpid();
    for (int i = 0; i < count; ++i) {
      const pid_t pid = fork();
      if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(0);  // the benchmark died before the line above
        while (true) pause();
      }
      if (pid > 0) pids_.push_back(pid);
    }
  }
  Sleepers(const Sleepers&) = delete;
  Sleepers& operator=(const Sleepers&) = delete;
  ~Sleepers() {
    for (const pid_t pid : pids_) kill(pid, SIGKILL);
    for (const pid_t pid : pids_) waitpid(pid, nullptr, 0);
  }

  std::size_t size() const { return pids_.size(); }

 private:
  std::vector<pid_t> pids_;
};

}  // namespace glimmet::bench
