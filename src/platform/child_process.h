// Starting a program as a child and watching it end: the calls behind the
// launcher that runs tools' clean commands and lookups. How long to wait and
// when to stop a child is the caller's policy; these only do what they say.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/environment.h"
#include "platform/unique_fd.h"

namespace glimmet::platform {

struct SpawnedProcess {
  pid_t pid = 0;
  UniqueFd outputFD;  ///< the read end of its output, non-blocking; none at a terminal
};

/// Starts the program at the path argv[0] directly (no shell, no search) in
/// `cwd`, with `environment` when given and this process's own otherwise, its
/// signal mask empty and SIGPIPE, SIGINT, SIGTERM, SIGHUP and SIGQUIT at their
/// defaults, and no descriptor of ours beyond the standard three.
///
/// Normally its standard input is /dev/null, its output and errors go to one
/// pipe (`outputFD`), and it leads a new process group, so that one signal
/// reaches everything it starts. `atTerminal` is for a command that asks the
/// user a question: it keeps this process's standard streams and process
/// group (the terminal's foreground group), and has no output descriptor.
/// Throws SystemError when it can't be started.
SpawnedProcess spawnProcess(const std::vector<std::string>& argv, const std::filesystem::path& cwd,
                            const Environment* environment, bool atTerminal);

/// How a child ended.
struct ChildEnd {
  bool signalled = false;
  int code = 0;  ///< the exit code, or the signal number
};

/// Reaps the child when it has ended, without waiting; nothing while it runs.
/// A child that is no longer ours to wait for counts as ended with exit 0.
std::optional<ChildEnd> reapIfEnded(pid_t child);
/// Whether the child has ended, leaving it unreaped: its pid, and the group it
/// leads, can't go to another process while the caller still signals them.
bool hasEnded(pid_t child);
/// Waits for the child to end and reaps it.
void reapWhenEnded(pid_t child);

/// The process group of `pid`; nothing when it is gone.
std::optional<pid_t> processGroupOf(pid_t pid);

enum class ChildSignal { terminate, kill };
/// Sends SIGTERM or SIGKILL to the child, or to the whole group it leads.
void signalChild(pid_t child, bool wholeGroup, ChildSignal signal);

/// Waits up to `timeout` for output on `fd`; true when some may be read.
bool awaitOutput(int fd, std::chrono::milliseconds timeout);
/// Hands what can be read from the non-blocking `fd` right now to `bytes`;
/// false at the end of the output or on an error.
bool readAvailable(int fd, const std::function<void(std::string_view)>& bytes);

}  // namespace glimmet::platform
