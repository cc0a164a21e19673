// Where the readers of the process table find procfs: the kernel's own /proc for
// every command, a folder of crafted files for tests that need processes no
// kernel would make (hostile names, vanished files, malformed tables).
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <utility>

namespace glimmet::platform {

class ProcRoot {
 public:
  /// The kernel's process file system.
  static ProcRoot system() { return ProcRoot("/proc"); }

  explicit ProcRoot(std::filesystem::path folder) : folder_(std::move(folder)) {}

  const std::filesystem::path& folder() const { return folder_; }
  /// A file or folder directly below the root: "stat", "net/tcp".
  std::filesystem::path operator/(const std::filesystem::path& name) const {
    return folder_ / name;
  }
  /// The folder of one process: <root>/<pid>.
  std::filesystem::path processFolder(pid_t pid) const { return folder_ / std::to_string(pid); }

 private:
  std::filesystem::path folder_;
};

}  // namespace glimmet::platform
