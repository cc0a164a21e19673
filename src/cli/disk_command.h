// glimmet disk: scan and clean disk leftovers.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/command_spec.h"

namespace glimmet::cli {

struct DiskScan {
  bool json = false;
  std::optional<std::string> home;
  bool includeProtectedFolders = false;

  CommandSpec spec();
};

struct DiskClean {
  std::vector<std::string> items;
  bool dryRun = false;
  std::optional<std::string> archiveTo;

  CommandSpec spec();
};

struct Disk {
  DiskScan scan;
  DiskClean clean;

  CommandSpec spec();
};

}  // namespace glimmet::cli
