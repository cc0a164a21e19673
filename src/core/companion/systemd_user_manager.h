// Asking the user's systemd manager, through `systemctl --user`, to reload,
// enable, start, stop and disable the companion's unit. systemctl is found
// along PATH and run directly, never through a shell, within a time limit.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "core/companion/login_start.h"
#include "core/tools/process_launcher.h"
#include "platform/environment.h"

namespace glimmet {

class SystemdUserManager {
 public:
  /// Long enough for a reload or a start on a busy machine; a systemctl that
  /// takes longer waits on a manager that won't answer.
  static constexpr std::chrono::seconds kTimeLimit{30};
  /// A running manager answers a question at once; one that doesn't within
  /// this is as good as none.
  static constexpr std::chrono::seconds kProbeTimeLimit{10};

  /// `environment` is the tool's: systemctl reaches the manager through its
  /// XDG_RUNTIME_DIR (or DBUS_SESSION_BUS_ADDRESS), and is found along its PATH.
  explicit SystemdUserManager(const Environment& environment);

  /// Whether there is a systemctl, and a user manager that answers it.
  UserManagerReach reach() const;

  struct Outcome {
    bool succeeded = false;
    std::string lastLine;  ///< the last thing systemctl said, for the user
  };
  /// `systemctl --user ARGUMENTS...`.
  Outcome run(const std::vector<std::string>& arguments,
              std::chrono::seconds timeLimit = kTimeLimit) const;

 private:
  const Environment& environment_;
  std::optional<std::string> systemctl_;
  POSIXLauncher launcher_;
};

}  // namespace glimmet
