// Desktop notifications through the notification service of the user's session
// bus (org.freedesktop.Notifications). Nothing here waits longer than its
// timeout, and nothing throws: no bus, no service, a service that hangs or a
// bus that goes away are values that say what happened, so that the caller can
// fall back to its log and try again later. The bus is reached through
// libsystemd's sd-bus, loaded on the first connection, so that commands that
// never notify don't pay for loading it.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/environment.h"

namespace glimmet::platform {

/// A value, or why there is none, in words for a log line.
template <typename T>
struct BusAttempt {
  std::optional<T> value;
  std::string failure;  ///< empty when there is a value

  explicit operator bool() const { return value.has_value(); }
  static BusAttempt failed(std::string why) { return {std::nullopt, std::move(why)}; }
};

/// One button of a notification: `key` comes back when it is chosen, `label`
/// is what the person reads.
struct NotificationAction {
  std::string key;
  std::string label;
};

struct Notification {
  std::string summary;
  std::string body;  ///< plain text; escaped for services that read markup
  std::vector<NotificationAction> actions;
  std::uint32_t replaces = 0;     ///< one of ours to replace in place; 0 for a new one
  std::int32_t expireAfter = -1;  ///< milliseconds; -1 the service's default, 0 never
};

/// What the service that showed one of our notifications said about it.
struct NotificationSignal {
  enum class Kind { actionInvoked, closed };
  Kind kind = Kind::closed;
  std::uint32_t id = 0;
  std::string actionKey;           ///< actionInvoked: the key of the action chosen
  std::uint32_t closedReason = 0;  ///< closed: 1 expired, 2 dismissed, 3 withdrawn, 4 other

  bool operator==(const NotificationSignal&) const = default;
};

/// One connection to the session bus, for notifications from "glimmet". Not
/// for sharing between threads. Signals are taken in only when `take` is
/// called, so the connection never runs code behind its owner's back.
class NotificationBus {
 public:
  /// How long a call, or the connection's start, may take.
  static constexpr std::chrono::milliseconds kCallTimeout{3000};

  /// Connects to the user's session bus: DBUS_SESSION_BUS_ADDRESS from
  /// `environment`, else $XDG_RUNTIME_DIR/bus when it is there. Says why not
  /// when there is no session bus (SSH, a container), libsystemd is missing,
  /// or the bus doesn't answer within `timeout`.
  static BusAttempt<NotificationBus> connect(const Environment& environment,
                                             std::chrono::milliseconds timeout = kCallTimeout);

  NotificationBus(NotificationBus&&) noexcept;
  NotificationBus& operator=(NotificationBus&&) noexcept;
  ~NotificationBus();

  /// Shows `notification` with the app name "glimmet": the id the service
  /// gave it. The service's unique bus name is recorded with the id: only its
  /// signals about that id are taken.
  BusAttempt<std::uint32_t> show(const Notification& notification);
  /// Takes one of ours off the screen, asking the service that showed it
  /// (which then says it closed); false, asking nobody, for an id not ours.
  BusAttempt<bool> withdraw(std::uint32_t id);
  /// The service's capabilities ("actions", "body-markup", ...), asked once
  /// per service.
  BusAttempt<std::vector<std::string>> capabilities();

  /// What the services said since the last call, without waiting: actions
  /// chosen and notifications closed, only for ids this connection was given
  /// and only from the service that gave each one. Signals from anyone else
  /// are dropped.
  std::vector<NotificationSignal> take();

  /// False once the bus went away: connect again (later).
  bool connected() const;
  /// Readable when signals wait to be taken, for a caller that folds it into
  /// its own poll; -1 once the connection is lost.
  int descriptor() const;
  /// Our own unique name on the bus, as a service sees us.
  std::string uniqueName() const;

 private:
  struct State;
  explicit NotificationBus(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace glimmet::platform
