// The screen lock through logind's D-Bus interface: the user's display
// session (org.freedesktop.login1.User.Display), then its LockedHint, which
// desktop environments set while their lock screen is up.
#include "platform/screen_lock.h"

#include "platform/linux/sd_bus_library.h"

namespace glimmet::platform {
namespace {

constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kDefaultSystemBus = "unix:path=/run/dbus/system_bus_socket";

}  // namespace

std::optional<bool> screenLocked(const Environment& environment,
                                 std::chrono::milliseconds timeout) {
  const auto* api = sdbus::library();
  if (api == nullptr) return std::nullopt;
  const auto address = environment.get("DBUS_SYSTEM_BUS_ADDRESS").value_or(kDefaultSystemBus);
  const auto opened = sdbus::open(*api, "system bus", address, timeout);
  if (!opened.bus) return std::nullopt;

  sdbus::Error displayError;
  sd_bus_message* raw = nullptr;
  if (api->getProperty(opened.bus.get(), kLogind, "/org/freedesktop/login1/user/self",
                       "org.freedesktop.login1.User", "Display", displayError.get(), &raw,
                       "(so)") < 0)
    return std::nullopt;
  const sdbus::MessagePointer display(raw);
  const char* sessionID = nullptr;
  const char* sessionPath = nullptr;
  // An empty id and the path "/" mean the user has no graphical session.
  if (api->read(raw, "(so)", &sessionID, &sessionPath) < 0 || sessionID == nullptr ||
      *sessionID == '\0' || sessionPath == nullptr)
    return std::nullopt;

  sdbus::Error lockError;
  sd_bus_message* lockRaw = nullptr;
  if (api->getProperty(opened.bus.get(), kLogind, sessionPath, "org.freedesktop.login1.Session",
                       "LockedHint", lockError.get(), &lockRaw, "b") < 0)
    return std::nullopt;
  const sdbus::MessagePointer lock(lockRaw);
  int locked = 0;
  if (api->read(lockRaw, "b", &locked) < 0) return std::nullopt;
  return locked != 0;
}

}  // namespace glimmet::platform
