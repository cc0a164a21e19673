// Whether the companion application is running, from the heartbeat stamp it
// rewrites in the shared folder, and the stamp itself, which `glimmet companion
// run` writes where there is no application. Hook-side writers check it first:
// an event nobody will drain is not worth a line in the inbox.
#pragma once

#include <nlohmann/json.hpp>

#include "core/output/iso8601.h"

namespace glimmet {

/// True when `stamp` is an object whose "time" is an ISO 8601 date less than 90
/// seconds before `now`; a stamp from the future counts as fresh too.
bool heartbeatIsFresh(const nlohmann::json& stamp, SystemTime now);

/// The stamp that says the companion is there at `now`: {"time": ISO 8601}.
nlohmann::json heartbeatStamp(SystemTime now);

}  // namespace glimmet
