// What the companion runs on, kept current: the settings, the protection rules
// and the signatures, read again whenever one of their files changes (its
// modification time, size or inode), so that an edit takes effect without a
// restart. The companion looks every second; the check costs a few stat calls.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <vector>

#include "app/command_inputs.h"
#include "app/file_stamp.h"
#include "logic/companion/failure_notes.h"
#include "platform/environment.h"

namespace glimmet {

class CompanionInputs {
 public:
  CompanionInputs(const Environment& environment, std::filesystem::path executable);

  const CommandInputs& current() const { return inputs_; }

  /// Reads everything again when a file changed since the last read; true
  /// when it did. Signatures that no longer load are not taken: the ones read
  /// before stay, and the failure is said on `log`, once.
  bool refresh(std::ostream& log, FailureNotes& notes);

  /// Says, once, why the signatures are missing when they are.
  void sayWhatIsMissing(std::ostream& log, FailureNotes& notes) const;

 private:
  std::vector<std::optional<FileStamp>> stamps() const;

  const Environment& environment_;
  std::filesystem::path executable_;
  CommandInputs inputs_;
  std::vector<std::optional<FileStamp>> stamps_;
};

}  // namespace glimmet
