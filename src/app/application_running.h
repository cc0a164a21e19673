// Whether the companion application is running now: its heartbeat stamp in the
// shared folder, read and judged at the moment the use case passes in.
#pragma once

#include "core/output/iso8601.h"
#include "core/settings/json_store.h"

namespace glimmet {

/// The stamp in `store`'s folder is fresh at `now`; a missing, unreadable or
/// undecodable one means the application is not running.
bool applicationIsRunning(const JSONStore& store, SystemTime now);

}  // namespace glimmet
