// Where the companion's notifications go: the desktop's notification service
// when the session bus has one, else a line on the companion's log (the
// journal under systemd), which is all an SSH or headless login has. Either
// way each notification is one line on the log. A desktop that can't be
// reached is said once and tried again a minute later, so a service that
// hangs costs one call's timeout a minute at most. The connection is kept
// while the bus stands, so that what the person does with notifications shown
// before still comes back.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <vector>

#include "logic/companion/failure_notes.h"
#include "platform/desktop_notifications.h"

namespace glimmet {

class NotificationOutlet {
 public:
  using Clock = std::chrono::steady_clock;
  using Connect = std::function<platform::BusAttempt<platform::NotificationBus>()>;
  static constexpr std::chrono::seconds kRetryAfter{60};

  /// Connects through `connect` when there is something to show, not before.
  NotificationOutlet(Connect connect, std::ostream& log, FailureNotes& notes);
  /// The user's session bus, as `environment` names it.
  NotificationOutlet(const Environment& environment, std::ostream& log, FailureNotes& notes);

  /// Shows `notification` on the desktop and logs it; without a desktop the
  /// line on the log stands in for it. The id the service gave, when shown.
  std::optional<std::uint32_t> show(const platform::Notification& notification,
                                    Clock::time_point now);
  /// What the person did with the notifications shown since the last call:
  /// actions chosen, notifications closed.
  std::vector<platform::NotificationSignal> signals();
  /// The bus connection's descriptor, for a wait that wants to wake on a
  /// signal; -1 without one.
  int descriptor() const;

 private:
  platform::NotificationBus* bus(Clock::time_point now);
  void failed(const std::string& why, Clock::time_point now);

  Connect connect_;
  std::ostream& log_;
  FailureNotes& notes_;
  std::optional<platform::NotificationBus> bus_;
  std::optional<Clock::time_point> retryAt_;
};

}  // namespace glimmet
