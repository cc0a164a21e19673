// The heartbeat freshness rule.
#include "logic/agents/application_heartbeat.h"

#include "core/settings/shared_files.h"

namespace glimmet {

bool heartbeatIsFresh(const nlohmann::json& stamp, SystemTime now) {
  if (!stamp.is_object()) return false;
  const auto found = stamp.find("time");
  if (found == stamp.end() || !found->is_string()) return false;
  const auto time = parseIso8601(found->get_ref<const std::string&>());
  return time && now - *time < shared_files::heartbeatFreshness;
}

nlohmann::json heartbeatStamp(SystemTime now) {
  return {{"time", formatIso8601(now)}};
}

}  // namespace glimmet
