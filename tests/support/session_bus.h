// A private D-Bus session bus for one test, so that no test ever reaches the
// user's own: dbus-daemon listening on a socket in the test's folder, and the
// stand-in notification service of the test helper on it.
#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "platform/environment.h"
#include "support/child_process.h"

namespace glimmet::testing {

class PrivateSessionBus {
 public:
  /// Whether dbus-daemon is installed; tests skip without it.
  static bool available();

  /// Starts dbus-daemon listening on `folder`/bus (the folder is made).
  /// Throws std::runtime_error when it doesn't start.
  explicit PrivateSessionBus(const std::filesystem::path& folder);

  /// "unix:path=FOLDER/bus,guid=..."
  const std::string& address() const { return address_; }
  /// The daemon's pid, for a test that stops or kills it.
  pid_t pid() const { return daemon_->pid(); }
  /// Ends the daemon now (it ends with the test otherwise).
  void kill() { daemon_->kill(); }

  /// `environment` with this bus as the session bus, as a child's environment.
  std::vector<std::string> environmentFor(const Environment& environment) const;

  /// Starts the stand-in notification service on this bus, recording its calls
  /// in `callsFile`; an impostor that owns no name when `impostor`.
  ChildProcess startNotificationService(const std::filesystem::path& callsFile,
                                        bool impostor = false) const;

 private:
  std::optional<ChildProcess> daemon_;
  std::string address_;
};

/// The Notify calls the stand-in service recorded in `callsFile`, in order;
/// a line still being written is not one yet.
std::vector<nlohmann::json> notifyCalls(const std::filesystem::path& callsFile);

/// Has the stand-in `emitter` emit `line` ("action ID KEY", "close ID REASON")
/// and waits until the bus has it.
void emit(ChildProcess& emitter, const std::string& line);

}  // namespace glimmet::testing
