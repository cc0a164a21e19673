// The heartbeat file read through the store, judged by the freshness rule.
#include "app/application_running.h"

#include "core/settings/shared_files.h"
#include "logic/agents/application_heartbeat.h"

namespace glimmet {

bool applicationIsRunning(const JSONStore& store, SystemTime now) {
  const auto stamp = store.loadJson(shared_files::mcpHeartbeat);
  return stamp && heartbeatIsFresh(*stamp, now);
}

}  // namespace glimmet
