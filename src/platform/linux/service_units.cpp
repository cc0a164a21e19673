// systemd's units, read from the cgroup each process lives in: no systemctl and
// no D-Bus, so this works over ssh and without a session bus.
#include "platform/service_units.h"

#include <string>

#include "platform/files.h"

namespace glimmet::platform {
namespace {

// A service that the manager starts and restarts. Desktop-launched apps run as
// transient "app-…" units, terminals and sessions as scopes: those are the user's.
bool isManaged(std::string_view unit) {
  return unit.ends_with(".service") && !unit.starts_with("app-");
}

}  // namespace

std::optional<ServiceUnit> serviceUnitFromCgroup(std::string_view text) {
  std::string_view unified, named;
  while (!text.empty()) {
    const auto end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.starts_with("0::")) {
      unified = line.substr(3);
    } else if (const auto marker = line.find(":name=systemd:"); marker != std::string_view::npos) {
      named = line.substr(marker + 14);
    }
  }
  // On hybrid hosts the unified line may be "/" while the named hierarchy has the unit.
  const std::string_view path = unified.empty() || unified == "/" ? named : unified;
  if (path.empty() || path == "/") return std::nullopt;
  // The unit is the cgroup path's last component; it is text, never a file here.
  const std::string_view unit = path.substr(path.rfind('/') + 1);
  return ServiceUnit{std::string(path), std::string(unit), isManaged(unit)};
}

std::optional<ServiceUnit> serviceUnit(pid_t pid, const ProcRoot& root) {
  const auto text = readFile(root.processFolder(pid) + "/cgroup", 64 * 1024);
  if (!text) return std::nullopt;
  return serviceUnitFromCgroup(*text);
}

}  // namespace glimmet::platform
