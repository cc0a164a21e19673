// Where the readers of the process table find procfs: the kernel's own /proc for
// every command, a folder of crafted files for tests that need processes no
// kernel would make (hostile names, vanished files, malformed tables).
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace glimmet::platform {

class ProcRoot {
 public:
  /// The kernel's process file system.
  static ProcRoot system() { return ProcRoot("/proc"); }

  explicit ProcRoot(const std::filesystem::path& folder) : folder_(folder.string()) {}

  const std::string& folder() const { return folder_; }
  // Paths are joined as text: a snapshot opens a folder per process, and
  // std::filesystem::path would take each one apart into components again.
  /// A file or folder directly below the root: "stat", "net/tcp".
  std::string operator/(std::string_view name) const {
    std::string path = folder_;
    path += '/';
    path += name;
    return path;
  }
  /// The folder of one process: <root>/<pid>.
  std::string processFolder(pid_t pid) const { return *this / std::to_string(pid); }

 private:
  std::string folder_;
};

}  // namespace glimmet::platform
