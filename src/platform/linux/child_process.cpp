// posix_spawn with the file actions and attributes a clean command needs, and
// waitpid, waitid, getpgid, kill and poll around it.
#include "platform/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/system_error.h"

namespace glimmet::platform {

SpawnedProcess spawnProcess(const std::vector<std::string>& argv, const std::filesystem::path& cwd,
                            const Environment* environment, bool atTerminal) {
  if (argv.empty()) throw SystemError("nothing to start", ENOENT);
  UniqueFd readEnd;
  UniqueFd writeEnd;
  if (!atTerminal) {
    int pipeFDs[2];
    if (::pipe2(pipeFDs, O_CLOEXEC) != 0) throw SystemError("pipe", errno);
    readEnd = UniqueFd(pipeFDs[0]);
    writeEnd = UniqueFd(pipeFDs[1]);
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
  // A group of its own lets one signal reach everything the command started;
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
  if (error != 0) throw SystemError("couldn't start " + argv.front(), error);
  if (readEnd) ::fcntl(readEnd.get(), F_SETFL, O_NONBLOCK);
  return {pid, std::move(readEnd)};
}

std::optional<ChildEnd> reapIfEnded(pid_t child) {
  int status = 0;
  const auto result = ::waitpid(child, &status, WNOHANG);
  if (result == 0) return std::nullopt;
  if (result < 0) {
    if (errno == EINTR) return std::nullopt;
    return ChildEnd{};  // no such child: it is gone
  }
  if (WIFSIGNALED(status)) return ChildEnd{true, WTERMSIG(status)};
  return ChildEnd{false, WEXITSTATUS(status)};
}

bool hasEnded(pid_t child) {
  siginfo_t info{};
  if (::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
    return errno != EINTR;
  return info.si_pid == child;
}

void reapWhenEnded(pid_t child) {
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
}

std::optional<pid_t> processGroupOf(pid_t pid) {
  const pid_t group = ::getpgid(pid);
  if (group < 0) return std::nullopt;
  return group;
}

void signalChild(pid_t child, bool wholeGroup, ChildSignal signal) {
  ::kill(wholeGroup ? -child : child, signal == ChildSignal::kill ? SIGKILL : SIGTERM);
}

bool awaitOutput(int fd, std::chrono::milliseconds timeout) {
  pollfd entry{fd, POLLIN, 0};
  return ::poll(&entry, 1, static_cast<int>(timeout.count())) > 0;
}

bool readAvailable(int fd, const std::function<void(std::string_view)>& bytes) {
  char buffer[4096];
  for (;;) {
    const auto got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) {
      bytes(std::string_view(buffer, static_cast<std::size_t>(got)));
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
  }
}

}  // namespace glimmet::platform
