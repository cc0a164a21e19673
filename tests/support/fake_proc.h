// A procfs folder built file by file, for the readers of the process table:
// processes are added as the kernel shows them, then each test breaks them in
// the way it needs (hostile names, missing files, planted links).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/proc_root.h"
#include "support/temp_dir.h"

namespace glimmet::testing {

class FakeProc {
 public:
  /// The boot time written to the root's stat file, in seconds since 1970.
  static constexpr std::uint64_t kBootSeconds = 1'700'000'000;

  FakeProc();

  platform::ProcRoot root() const { return platform::ProcRoot(dir_.path()); }
  std::filesystem::path path(const std::string& name) const { return dir_ / name; }

  void write(const std::string& name, const std::string& bytes) const;
  /// A symbolic link at `name` whose text is `target`, its folders created.
  void link(const std::string& name, const std::string& target) const;

  /// A stat line with the fields proc(5) numbers 1 to 24 and the rest the kernel prints.
  static std::string statLine(pid_t pid, const std::string& comm, std::uint64_t startTicks,
                              std::uint64_t flags = 4194560);
  /// <pid>/stat, status (uid 1000, 2 MiB resident), cmdline and environ.
  void addProcess(pid_t pid, const std::string& comm, std::uint64_t startTicks = 500) const;

 private:
  TempDir dir_;
};

}  // namespace glimmet::testing
