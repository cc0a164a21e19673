// Running Flatpak apps, from the instance folders Flatpak keeps in the user's
// runtime folder. The process table is always readable on Linux, so the list is
// never "unknown": an empty list means nothing sandboxed runs.
#include "platform/running_apps.h"

#include <filesystem>
#include <fstream>

namespace glimmet::platform {

std::optional<std::vector<std::string>> runningApplications(uid_t uid) {
  std::vector<std::string> apps;
  const std::filesystem::path runtime = "/run/user/" + std::to_string(uid) + "/.flatpak";
  std::error_code error;
  for (const auto& instance : std::filesystem::directory_iterator(runtime, error)) {
    std::ifstream info(instance.path() / "info");
    std::string line;
    bool inApplication = false;
    while (std::getline(info, line)) {
      if (line.starts_with('[')) inApplication = line == "[Application]";
      if (inApplication && line.starts_with("name=")) apps.push_back(line.substr(5));
    }
  }
  return apps;
}

}  // namespace glimmet::platform
