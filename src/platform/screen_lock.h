// Whether the person is away from the machine, as far as Linux can tell: the
// screen of their graphical session is locked. Which window or terminal they
// look at is not knowable to a background service, so nothing else counts.
#pragma once

#include <chrono>
#include <optional>

#include "platform/environment.h"

namespace glimmet::platform {

/// The LockedHint of the user's graphical session, from logind on the system
/// bus (DBUS_SYSTEM_BUS_ADDRESS from `environment`, else the standard socket).
/// Nothing when that can't be told within `timeout`: no system bus or logind
/// (containers), or no graphical session (SSH, a headless machine).
std::optional<bool> screenLocked(const Environment& environment, std::chrono::milliseconds timeout);

}  // namespace glimmet::platform
