// What every process command loads before it looks at the system: the user's
// settings and protection rules, the facts about this run the rules need, and
// the signatures when they can be found.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <ostream>

#include "core/ghosts/protection.h"
#include "core/ghosts/signature_engine.h"
#include "core/settings/glimmet_settings.h"
#include "logic/survey/process_lists.h"
#include "platform/environment.h"

namespace glimmet {

struct CommandInputs {
  std::filesystem::path home;
  std::filesystem::path sharedFolder;
  GlimmetSettings settings;
  ProtectedList protectedList;
  ProtectionContext context;
  std::optional<SignatureEngine> signatures;  ///< absent when missing or invalid
  /// Where a shared-folder write skipped because its lock stayed held is said
  /// (standard error, so documents on standard output stay whole); none: silent.
  std::ostream* warnings = nullptr;

  uid_t uid() const { return context.currentUID; }
  /// The rules every list of this run applies; refers to these inputs.
  ListRules rules() const;

  /// Missing or unreadable settings and rules fall back to the defaults.
  static CommandInputs load(const Environment& environment,
                            const std::filesystem::path& executable);
};

}  // namespace glimmet
