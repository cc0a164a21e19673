#include "support/companion_process.h"

#include "support/child_process.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace glimmet::testing {
namespace {

std::string contents(const std::filesystem::path& file) {
  std::ifstream stream(file, std::ios::binary);
  std::ostringstream text;
  text << stream.rdbuf();
  return text.str();
}

}  // namespace

CompanionProcess::CompanionProcess(IsolatedHome& home, std::optional<uid_t> uid) {
  static int started = 0;
  const std::string tag = std::to_string(::getpid()) + "-" + std::to_string(++started);
  outFile_ = home.root() / ("companion-" + tag + ".out");
  errFile_ = home.root() / ("companion-" + tag + ".err");
  std::vector<std::string> argv = {GLIMMET_BINARY, "companion", "run"};
  std::vector<std::string> environment;
  for (const auto& [name, value] : home.environment().variables())
    environment.push_back(name + "=" + value);
  std::vector<char*> argvPointers;
  for (auto& word : argv) argvPointers.push_back(word.data());
  argvPointers.push_back(nullptr);
  std::vector<char*> environmentPointers;
  for (auto& entry : environment) environmentPointers.push_back(entry.data());
  environmentPointers.push_back(nullptr);

  const int out = ::open(outFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const int err = ::open(errFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0 || err < 0) throw std::runtime_error("can't make the companion's output files");
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    ::setpgid(0, 0);
    const int input = ::open("/dev/null", O_RDONLY);
    ::dup2(input, STDIN_FILENO);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(err, STDERR_FILENO);
    if (uid && (::setgroups(0, nullptr) != 0 || ::setgid(*uid) != 0 || ::setuid(*uid) != 0))
      ::_exit(126);
    ::execve(argvPointers[0], argvPointers.data(), environmentPointers.data());
    ::_exit(127);
  }
  ::close(out);
  ::close(err);
  pidfd_.reset(static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0)));
}

CompanionProcess::~CompanionProcess() {
  if (reaped_) return;
  signal(SIGKILL);
  ::waitpid(pid_, nullptr, 0);
}

bool CompanionProcess::signal(int number) const {
  return !reaped_ && pidfd_ &&
         ::syscall(SYS_pidfd_send_signal, pidfd_.get(), number, nullptr, 0) == 0;
}

std::optional<int> CompanionProcess::waitForExit(std::chrono::milliseconds limit) {
  if (reaped_) return std::nullopt;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  do {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      reaped_ = true;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  } while (std::chrono::steady_clock::now() < deadline);
  return std::nullopt;
}

std::string CompanionProcess::output() const {
  return contents(outFile_);
}

std::string CompanionProcess::errorOutput() const {
  return contents(errFile_);
}

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

std::filesystem::path program(const IsolatedHome& home, const std::string& name) {
  const auto path = home.root() / "bin" / name;
  std::filesystem::create_directories(path.parent_path());
  if (!std::filesystem::exists(path)) std::filesystem::create_symlink(helperBinary(), path);
  return path;
}

bool heartbeatPresent(const IsolatedHome& home) {
  return std::filesystem::exists(home.sharedFolder() / "mcp-heartbeat.json");
}

std::size_t occurrences(const std::string& text, const std::string& part) {
  std::size_t found = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++found;
  return found;
}

}  // namespace glimmet::testing
