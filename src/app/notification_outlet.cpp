// Desktop notifications with the log as their fallback.
#include "app/notification_outlet.h"

#include "core/output/text.h"

namespace glimmet {
namespace {

constexpr std::string_view kDesktop = "desktop notifications";

}  // namespace

NotificationOutlet::NotificationOutlet(Connect connect, std::ostream& log, FailureNotes& notes)
    : connect_(std::move(connect)), log_(log), notes_(notes) {}

NotificationOutlet::NotificationOutlet(const Environment& environment, std::ostream& log,
                                       FailureNotes& notes)
    : NotificationOutlet([&environment] { return platform::NotificationBus::connect(environment); },
                         log, notes) {}

void NotificationOutlet::failed(const std::string& why, Clock::time_point now) {
  retryAt_ = now + kRetryAfter;
  const std::string message = "Alerts are written here, not shown on the desktop: " + why + ".";
  if (notes_.failed(kDesktop, message)) log_ << message << '\n';
}

platform::NotificationBus* NotificationOutlet::bus(Clock::time_point now) {
  if (bus_ && !bus_->connected()) {
    bus_.reset();
    failed("the session bus went away", now);
  }
  if (retryAt_ && now < *retryAt_) return nullptr;
  if (!bus_) {
    auto attempt = connect_();
    if (!attempt) {
      failed(attempt.failure, now);
      return nullptr;
    }
    bus_ = std::move(attempt.value);
  }
  retryAt_.reset();
  return &*bus_;
}

std::optional<std::uint32_t> NotificationOutlet::show(const platform::Notification& notification,
                                                      Clock::time_point now) {
  const std::string text = printable(notification.summary) + ": " + printable(notification.body);
  if (auto* desktop = bus(now)) {
    const auto shown = desktop->show(notification);
    if (shown) {
      if (notes_.succeeded(kDesktop)) log_ << "Alerts are shown on the desktop again.\n";
      log_ << "Alert shown: " << text << '\n';
      return shown.value;
    }
    failed(shown.failure, now);
  }
  log_ << "Alert: " << text << '\n';
  return std::nullopt;
}

std::vector<platform::NotificationSignal> NotificationOutlet::signals() {
  if (!bus_) return {};
  return bus_->take();
}

int NotificationOutlet::descriptor() const {
  return bus_ ? bus_->descriptor() : -1;
}

}  // namespace glimmet
