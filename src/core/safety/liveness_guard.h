// Whether something is using a disk item right now: a process working in its
// folder or holding a file open there, a program running from it, a tool the
// rule names, a build, or the application that owns it.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "core/disk/disk_item.h"
#include "core/disk/leftover_rules.h"

namespace glimmet {

class ProcessSnapshot;

struct LivenessInput {
  struct Process {
    std::string name;
    std::optional<std::string> path;  ///< the executable
    std::optional<std::string> cwd;
    std::string argv0;
    std::vector<std::string> openFiles;  ///< absolute paths of files it holds open
  };

  std::string home;
  std::vector<std::string> userPaths;
  std::vector<Process> processes;
  /// IDs or bundle paths of running applications; nothing when they can't be listed.
  std::optional<std::vector<std::string>> runningApps;

  /// The user's processes of `snapshot` except this one. With `openFilesUnder`,
  /// also the files each holds open below that folder (read now, from the system).
  static LivenessInput gather(const ProcessSnapshot& snapshot, uid_t uid, pid_t self,
                              std::string home,
                              const std::optional<std::string>& openFilesUnder = std::nullopt);
};

class LivenessGuard {
 public:
  /// The blocking reason for `item`, or nothing. Items without an absolute path
  /// (Docker figures) are never blocked here.
  static std::optional<std::string> check(const DiskItem& item, const LeftoverRule& rule,
                                          const LivenessInput& input, SystemTime now);

  /// "Claude Code" for claude and the like; other names as they are.
  static std::string displayName(const std::string& processName);
};

}  // namespace glimmet
