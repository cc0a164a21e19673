// What the interactive view carries out once the user has said yes: stopping a
// process tree as glimmet kill does, and scanning the disk in the background as
// glimmet disk scan does, so the view stays usable while it runs.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "app/command_inputs.h"
#include "logic/ui/ui_rows.h"
#include "platform/child_process.h"
#include "platform/environment.h"

namespace glimmet {

/// Stops the target's tree with the tree killer, from a snapshot taken now (its
/// children started since belong to it; a pid that went to another process is
/// refused as gone), logs it in the kill log, and returns kill's sentence.
std::string stopTree(const UiStopTarget& target, const CommandInputs& inputs);

/// `glimmet disk scan` run as a child, with its output read and dropped. It
/// writes the scan cache the view then reads.
class BackgroundDiskScan {
 public:
  /// Throws platform::SystemError when it can't be started.
  BackgroundDiskScan(const std::filesystem::path& executable, const std::filesystem::path& home,
                     const Environment& environment);
  ~BackgroundDiskScan();
  BackgroundDiskScan(const BackgroundDiskScan&) = delete;
  BackgroundDiskScan& operator=(const BackgroundDiskScan&) = delete;

  /// Reads what it said so far; once it has ended, how: "" when the scan was
  /// saved, else a sentence.
  std::optional<std::string> poll();

 private:
  platform::SpawnedProcess process_;
  bool ended_ = false;
};

}  // namespace glimmet
