// `glimmet companion run` started by a test in its private home: its standard
// output and error go to files the test reads, it is signalled only through
// the pidfd of the child the test forked, and killed if it outlives the test.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "platform/unique_fd.h"
#include "support/isolated_home.h"

namespace glimmet::testing {

class CompanionProcess {
 public:
  /// Starts the companion with `home`'s environment, as `uid` when given (root only).
  explicit CompanionProcess(IsolatedHome& home, std::optional<uid_t> uid = std::nullopt);
  ~CompanionProcess();
  CompanionProcess(const CompanionProcess&) = delete;
  CompanionProcess& operator=(const CompanionProcess&) = delete;

  pid_t pid() const { return pid_; }
  /// Sends `number` through the pidfd; false when it is gone.
  bool signal(int number) const;
  /// Its exit status (128 + signal when killed), once it has exited within `limit`.
  std::optional<int> waitForExit(std::chrono::milliseconds limit);
  std::string output() const;
  std::string errorOutput() const;

 private:
  std::filesystem::path outFile_;
  std::filesystem::path errFile_;
  pid_t pid_ = 0;
  platform::UniqueFd pidfd_;
  bool reaped_ = false;
};

/// Checks `condition` every 50 ms until it holds or `limit` has passed.
bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit);

/// The test helper under another name in `home`, as an installed program
/// would be: the kernel names the process after the link it was run by.
std::filesystem::path program(const IsolatedHome& home, const std::string& name);

/// Whether a companion's heartbeat stands in `home`'s shared folder.
bool heartbeatPresent(const IsolatedHome& home);

/// How often `part` stands in `text` (a log line said once, or at every look).
std::size_t occurrences(const std::string& text, const std::string& part);

}  // namespace glimmet::testing
