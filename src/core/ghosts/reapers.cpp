#include "core/ghosts/reapers.h"

#include <algorithm>

namespace glimmet {

std::set<pid_t> reaperPIDs(uid_t uid, const ProcessSnapshot& snapshot,
                           const std::function<std::optional<std::string>(pid_t)>& cgroupOf) {
  std::set<pid_t> reapers = {1};
  const std::string managerScope = "/user@" + std::to_string(uid) + ".service/init.scope";
  for (const auto& record : snapshot.records()) {
    if (record.uid != uid) continue;
    const bool namedManager =
        record.name == "systemd" &&
        std::find(record.argv.begin(), record.argv.end(), "--user") != record.argv.end();
    if (namedManager) {
      reapers.insert(record.pid());
      continue;
    }
    // Only processes that could be a manager are worth a cgroup read.
    if (record.name != "systemd") continue;
    if (const auto cgroup = cgroupOf(record.pid()); cgroup && cgroup->ends_with(managerScope))
      reapers.insert(record.pid());
  }
  return reapers;
}

}  // namespace glimmet
