// A process the test starts and owns: it runs in its own process group, reports
// one line on a pipe, and is killed with its whole group when the test ends.
// Tests signal only these, never a pid they did not start.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/unique_fd.h"

namespace glimmet::testing {

struct SpawnOptions {
  std::optional<std::filesystem::path> cwd;
  std::optional<uid_t> uid;  ///< drop to this uid (and gid) before exec; root only
  std::optional<std::vector<std::string>> environment;  ///< replaces the test's own when set
  std::optional<std::string> argv0;                     ///< what the program sees as its name
};

class ChildProcess {
 public:
  /// Starts `argv` (argv[0] is the program path). Throws std::runtime_error on failure.
  static ChildProcess spawn(const std::vector<std::string>& argv, const SpawnOptions& options = {});
  /// Starts the test helper in `mode` with `arguments` and waits for its report line.
  static ChildProcess helper(const std::vector<std::string>& modeAndArguments,
                             const SpawnOptions& options = {});

  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&&) = delete;
  ~ChildProcess();

  pid_t pid() const { return pid_; }
  /// The helper's report line, read at start.
  const std::string& report() const { return report_; }
  /// The report split at spaces, as numbers.
  std::vector<long> reportedNumbers() const;

  /// Writes one line to the child's standard input.
  void writeLine(const std::string& line);
  /// Reads the child's next report line (waits up to 10 s), and keeps it as report().
  const std::string& readReport();

  /// Kills the group (SIGKILL) and reaps the child; later calls do nothing.
  void kill();
  /// Closes the helper's input (it then keeps waiting for a signal) and waits up to
  /// `seconds` for the child to exit by itself; its exit status, or nothing.
  std::optional<int> waitForExit(int seconds);

 private:
  ChildProcess(pid_t pid, platform::UniqueFd pidfd, platform::UniqueFd input,
               platform::UniqueFd output);
  std::string readLine(int timeoutMilliseconds);

  pid_t pid_ = 0;
  bool reaped_ = false;
  platform::UniqueFd pidfd_;
  platform::UniqueFd input_;
  platform::UniqueFd output_;
  std::string report_;
};

/// The built test helper binary.
std::filesystem::path helperBinary();

}  // namespace glimmet::testing
