// Running a tool's own command: never through a shell, input from /dev/null,
// output and errors on one pipe, in a process group of its own so that a time
// limit or an interruption reaches everything it started, and nothing else.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/child_process.h"
#include "platform/environment.h"

namespace glimmet {

using platform::SpawnedProcess;

struct ProcessExit {
  enum class Kind { exited, signalled, timedOut, stopped };
  Kind kind = Kind::exited;
  int code = 0;  ///< the exit code or the signal number
};

class POSIXLauncher {
 public:
  using Clock = std::chrono::steady_clock;

  /// Starts argv[0] (an absolute path) in `cwd`, with `environment` when given
  /// and the tool's own environment otherwise. Throws platform::SystemError
  /// when the program can't be started.
  ///
  /// `atTerminal` is for a command that asks the user a question: it shares
  /// this process's standard streams (the user's terminal) and its process
  /// group, the terminal's foreground group, so that it may read the answer
  /// and Ctrl-C reaches it; its output isn't read here (no output descriptor).
  SpawnedProcess spawn(const std::vector<std::string>& argv, const std::filesystem::path& cwd,
                       const Environment* environment = nullptr, bool atTerminal = false) const;

  /// Waits for the child, passing each line of its output to `onLine`. At the
  /// deadline, or once `stop` is set, its process group gets SIGTERM and, 3
  /// seconds later, SIGKILL. Output is read for up to 2 seconds after the exit.
  ProcessExit wait(SpawnedProcess& process, Clock::time_point deadline,
                   const std::function<void(const std::string&)>& onLine,
                   const std::atomic<bool>* stop = nullptr) const;
};

}  // namespace glimmet
