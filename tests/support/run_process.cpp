#include "support/run_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace glimmet::testing {
namespace {

std::vector<std::string> environmentStrings(const Environment& environment) {
  std::vector<std::string> entries;
  for (const auto& [name, value] : environment.variables()) entries.push_back(name + "=" + value);
  return entries;
}

// Everything execve needs, built before fork: the child of a multithreaded test
// may not allocate, since another thread may have held the allocator's lock.
class ExecArguments {
 public:
  ExecArguments(std::vector<std::string> argv, const Environment& environment)
      : argv_(std::move(argv)), environment_(environmentStrings(environment)) {
    for (auto& word : argv_) argvPointers_.push_back(word.data());
    argvPointers_.push_back(nullptr);
    for (auto& entry : environment_) environmentPointers_.push_back(entry.data());
    environmentPointers_.push_back(nullptr);
  }

  [[noreturn]] void execInChild() const {
    ::signal(SIGPIPE, SIG_DFL);
    ::execve(argvPointers_[0], argvPointers_.data(), environmentPointers_.data());
    ::_exit(127);
  }

 private:
  std::vector<std::string> argv_;
  std::vector<std::string> environment_;
  std::vector<char*> argvPointers_;
  std::vector<char*> environmentPointers_;
};

int decodeStatus(int raw) {
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

// Reads every open descriptor until all reach end of file, feeding `input` to
// `inputFd` as it becomes writable; kills the group at the deadline.
void pump(pid_t pid, int inputFd, std::string input,
          std::vector<std::pair<int, std::string*>> outputs, int timeoutSeconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  size_t written = 0;
  if (inputFd >= 0 && input.empty()) {
    ::close(inputFd);
    inputFd = -1;
  }
  while (!outputs.empty() || inputFd >= 0) {
    std::vector<pollfd> fds;
    for (const auto& [fd, sink] : outputs) fds.push_back({fd, POLLIN, 0});
    if (inputFd >= 0) fds.push_back({inputFd, POLLOUT, 0});
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      ::kill(-pid, SIGKILL);
      ::kill(pid, SIGKILL);
      break;
    }
    if (::poll(fds.data(), fds.size(), static_cast<int>(left.count())) < 0) continue;
    for (size_t i = 0; i < outputs.size();) {
      if (fds[i].revents == 0) {
        ++i;
        continue;
      }
      char buffer[65536];
      const ssize_t got = ::read(outputs[i].first, buffer, sizeof buffer);
      if (got > 0) {
        outputs[i].second->append(buffer, static_cast<size_t>(got));
        ++i;
      } else {
        // End of file, or EIO when the pty's last writer is gone.
        ::close(outputs[i].first);
        outputs.erase(outputs.begin() + static_cast<std::ptrdiff_t>(i));
        fds.erase(fds.begin() + static_cast<std::ptrdiff_t>(i));
      }
    }
    if (inputFd >= 0 && (fds.back().revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
      const ssize_t sent = ::write(inputFd, input.data() + written, input.size() - written);
      if (sent > 0) written += static_cast<size_t>(sent);
      if (sent < 0 || written == input.size()) {
        ::close(inputFd);
        inputFd = -1;
      }
    }
  }
}

}  // namespace

RunResult runProcess(const std::vector<std::string>& argv, const Environment& environment,
                     const RunOptions& options) {
  RunResult result;
  const ExecArguments exec(argv, environment);
  if (options.onTerminal) {
    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0) throw std::runtime_error("forkpty failed");
    if (pid == 0) exec.execInChild();
    const int inputFd = options.input.empty() ? -1 : ::dup(master);
    pump(pid, inputFd, options.input, {{master, &result.out}}, options.timeoutSeconds);
    int raw = 0;
    ::waitpid(pid, &raw, 0);
    result.status = decodeStatus(raw);
    return result;
  }
  int in[2], out[2], err[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    ::setpgid(0, 0);
    ::dup2(in[0], STDIN_FILENO);
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(err[1], STDERR_FILENO);
    exec.execInChild();
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  pump(pid, in[1], options.input, {{out[0], &result.out}, {err[0], &result.err}},
       options.timeoutSeconds);
  int raw = 0;
  ::waitpid(pid, &raw, 0);
  result.status = decodeStatus(raw);
  return result;
}

}  // namespace glimmet::testing
