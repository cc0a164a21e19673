#include "core/cleanup/process_launcher.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <thread>

#include "platform/system_error.h"

namespace glimmet {
namespace {

using namespace std::chrono_literals;

constexpr auto kPollInterval = 50ms;
constexpr auto kTermGrace = 3s;
constexpr auto kOutputDrain = 2s;
constexpr pid_t kLowestSignalledPid = 100;

// Splits what the child writes into lines; a line left open at the end is
// passed on when the pipe closes.
class LineReader {
 public:
  explicit LineReader(const std::function<void(const std::string&)>& onLine) : onLine_(onLine) {}

  /// Reads what is there now; false at end of file or on an error.
  bool readAvailable(int fd) {
    char buffer[4096];
    for (;;) {
      const auto got = ::read(fd, buffer, sizeof buffer);
      if (got > 0) {
        feed(std::string_view(buffer, static_cast<std::size_t>(got)));
        continue;
      }
      if (got < 0 && errno == EINTR) continue;
      if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
      flush();
      return false;
    }
  }

  void flush() {
    if (!pending_.empty()) onLine_(std::exchange(pending_, {}));
  }

 private:
  void feed(std::string_view bytes) {
    for (const char c : bytes) {
      if (c == '\n') {
        onLine_(std::exchange(pending_, {}));
      } else if (pending_.size() < 64 * 1024) {
        pending_.push_back(c);
      }
    }
  }

  const std::function<void(const std::string&)>& onLine_;
  std::string pending_;
};

// Some other process group than ours, led by the child we started: the only
// group this may signal.
bool ownsItsGroup(pid_t pid) {
  return pid > kLowestSignalledPid && ::getpgid(pid) == pid && ::getpgid(pid) != ::getpgrp();
}

std::optional<ProcessExit> reap(pid_t pid) {
  int status = 0;
  const auto result = ::waitpid(pid, &status, WNOHANG);
  if (result == 0) return std::nullopt;
  if (result < 0) {
    if (errno == EINTR) return std::nullopt;
    return ProcessExit{};  // no such child: it is gone
  }
  if (WIFSIGNALED(status)) return ProcessExit{ProcessExit::Kind::signalled, WTERMSIG(status)};
  return ProcessExit{ProcessExit::Kind::exited, WEXITSTATUS(status)};
}

// Whether the child has ended, leaving it unreaped.
bool hasEnded(pid_t pid) {
  siginfo_t info{};
  if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
    return errno != EINTR;
  return info.si_pid == pid;
}

void pump(int fd, LineReader& reader, std::chrono::milliseconds timeout, bool& open) {
  if (!open) {
    std::this_thread::sleep_for(timeout);
    return;
  }
  pollfd entry{fd, POLLIN, 0};
  if (::poll(&entry, 1, static_cast<int>(timeout.count())) > 0) open = reader.readAvailable(fd);
}

}  // namespace

SpawnedProcess POSIXLauncher::spawn(const std::vector<std::string>& argv,
                                    const std::filesystem::path& cwd,
                                    const Environment* environment, bool atTerminal) const {
  if (argv.empty() || argv.front().empty() || argv.front().front() != '/')
    throw platform::SystemError("a clean command needs an absolute program", ENOENT);
  platform::UniqueFd readEnd;
  platform::UniqueFd writeEnd;
  if (!atTerminal) {
    int pipeFDs[2];
    if (::pipe2(pipeFDs, O_CLOEXEC) != 0) throw platform::SystemError("pipe", errno);
    readEnd = platform::UniqueFd(pipeFDs[0]);
    writeEnd = platform::UniqueFd(pipeFDs[1]);
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!atTerminal) {
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDERR_FILENO);
  }
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // A group of its own lets a time limit reach everything the command started;
  // a command at the terminal stays in the foreground group, since a
  // background group that reads the terminal is stopped.
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  if (!atTerminal) flags = static_cast<short>(flags | POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setflags(&attributes, flags);
  posix_spawnattr_setpgroup(&attributes, 0);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (const int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&defaults, signal);
  posix_spawnattr_setsigdefault(&attributes, &defaults);

  std::vector<char*> arguments;
  for (const auto& argument : argv) arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);
  // Without an environment given, the tool's own: clean commands find their
  // caches through it.
  std::vector<std::string> entries;
  std::vector<char*> variables;
  if (environment) {
    for (const auto& [name, value] : environment->variables())
      entries.push_back(name + "=" + value);
    for (auto& entry : entries) variables.push_back(entry.data());
    variables.push_back(nullptr);
  }
  pid_t pid = 0;
  const int error = ::posix_spawn(&pid, argv.front().c_str(), &actions, &attributes,
                                  arguments.data(), environment ? variables.data() : ::environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) throw platform::SystemError("couldn't start " + argv.front(), error);
  if (readEnd) ::fcntl(readEnd.get(), F_SETFL, O_NONBLOCK);
  return {pid, std::move(readEnd)};
}

ProcessExit POSIXLauncher::wait(SpawnedProcess& process, Clock::time_point deadline,
                                const std::function<void(const std::string&)>& onLine,
                                const std::atomic<bool>* stop) const {
  LineReader reader(onLine);
  bool open = process.outputFD.get() >= 0;
  const int fd = process.outputFD.get();
  const auto stopRequested = [&] { return stop && stop->load(); };

  std::optional<ProcessExit> exit;
  while (!(exit = reap(process.pid))) {
    if (Clock::now() >= deadline || stopRequested()) break;
    pump(fd, reader, kPollInterval, open);
  }
  if (!exit) {
    const auto kind = stopRequested() ? ProcessExit::Kind::stopped : ProcessExit::Kind::timedOut;
    // The child is not reaped until the end, so its pid, and the group it
    // leads, can't be handed to another process while this signals them.
    const bool group = ownsItsGroup(process.pid);
    const pid_t target = group ? -process.pid : process.pid;
    ::kill(target, SIGTERM);
    const auto killAt = Clock::now() + kTermGrace;
    while (!hasEnded(process.pid) && Clock::now() < killAt) pump(fd, reader, kPollInterval, open);
    ::kill(target, SIGKILL);  // the leader may be gone while the rest of its group lingers
    int status = 0;
    while (::waitpid(process.pid, &status, 0) < 0 && errno == EINTR) {
    }
    exit = ProcessExit{kind, 0};
  }
  const auto drainUntil = Clock::now() + kOutputDrain;
  while (open && Clock::now() < drainUntil) pump(fd, reader, kPollInterval, open);
  reader.flush();
  return *exit;
}

}  // namespace glimmet
