#include "support/child_process.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <utility>

extern char** environ;

namespace glimmet::testing {
namespace {

int openPidfd(pid_t pid) {
  return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
}

}  // namespace

std::filesystem::path helperBinary() {
  return GLIMMET_TEST_HELPER;
}

ChildProcess::ChildProcess(pid_t pid, platform::UniqueFd pidfd, platform::UniqueFd input,
                           platform::UniqueFd output)
    : pid_(pid), pidfd_(std::move(pidfd)), input_(std::move(input)), output_(std::move(output)) {}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, 0)),
      reaped_(std::exchange(other.reaped_, true)),
      pidfd_(std::move(other.pidfd_)),
      input_(std::move(other.input_)),
      output_(std::move(other.output_)),
      report_(std::move(other.report_)) {}

ChildProcess ChildProcess::spawn(const std::vector<std::string>& argv,
                                 const SpawnOptions& options) {
  int in[2];
  int out[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  std::vector<std::string> arguments = argv;
  if (options.argv0) arguments.front() = *options.argv0;
  std::vector<char*> argvPointers;
  for (auto& argument : arguments) argvPointers.push_back(argument.data());
  argvPointers.push_back(nullptr);
  std::vector<std::string> environment;
  std::vector<char*> environmentPointers;
  if (options.environment) {
    environment = *options.environment;
    for (auto& entry : environment) environmentPointers.push_back(entry.data());
    environmentPointers.push_back(nullptr);
  }
  const std::string program = argv.front();

  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    setpgid(0, 0);
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    if (options.cwd && chdir(options.cwd->c_str()) != 0) _exit(126);
    if (options.uid) {
      if (setgroups(0, nullptr) != 0 || setgid(*options.uid) != 0 || setuid(*options.uid) != 0) {
        _exit(126);
      }
    }
    execve(program.c_str(), argvPointers.data(),
           options.environment ? environmentPointers.data() : environ);
    _exit(127);
  }
  setpgid(pid, pid);  // both sides, so the group exists before either goes on
  close(in[0]);
  close(out[1]);
  return ChildProcess(pid, platform::UniqueFd(openPidfd(pid)), platform::UniqueFd(in[1]),
                      platform::UniqueFd(out[0]));
}

ChildProcess ChildProcess::helper(const std::vector<std::string>& modeAndArguments,
                                  const SpawnOptions& options) {
  std::vector<std::string> argv{helperBinary().string()};
  argv.insert(argv.end(), modeAndArguments.begin(), modeAndArguments.end());
  ChildProcess child = spawn(argv, options);
  if (child.readReport().empty()) throw std::runtime_error("the helper reported nothing");
  return child;
}

std::string ChildProcess::readLine(int timeoutMilliseconds) {
  std::string line;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd ready{.fd = output_.get(), .events = POLLIN, .revents = 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    char c = 0;
    if (read(output_.get(), &c, 1) != 1) break;
    if (c == '\n') break;
    line += c;
  }
  return line;
}

void ChildProcess::writeLine(const std::string& line) {
  const std::string text = line + "\n";
  if (write(input_.get(), text.data(), text.size()) < 0) throw std::runtime_error("write failed");
}

const std::string& ChildProcess::readReport() {
  report_ = readLine(10'000);
  return report_;
}

std::vector<long> ChildProcess::reportedNumbers() const {
  std::vector<long> numbers;
  std::istringstream words(report_);
  long number = 0;
  while (words >> number) numbers.push_back(number);
  return numbers;
}

void ChildProcess::kill() {
  if (reaped_ || pid_ <= 0) return;
  // The group is ours: it was created for this child, so every member was
  // started by this test. The pidfd makes sure the leader is still our child.
  ::kill(-pid_, SIGKILL);
  if (pidfd_) syscall(SYS_pidfd_send_signal, pidfd_.get(), SIGKILL, nullptr, 0);
  waitpid(pid_, nullptr, 0);
  reaped_ = true;
}

std::optional<int> ChildProcess::waitForExit(int seconds) {
  if (reaped_) return std::nullopt;
  input_.reset();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      reaped_ = true;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return std::nullopt;
}

ChildProcess::~ChildProcess() {
  kill();
}

}  // namespace glimmet::testing
