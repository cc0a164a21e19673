// Protection rules: what the tool never reports as a ghost and never signals.
// The first rule that applies gives the reason shown to the user.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/ghosts/signature_engine.h"
#include "core/process/process_record.h"
#include "core/process/system_process_table.h"

namespace glimmet {

/// What the signatures say of a process, for the "AI agents" default.
enum class AgentRecognition {
  notConsulted,  ///< no signatures at hand: the process name decides, as without a file
  agent,         ///< an agent root of kind agent (through its script, for an interpreter)
  notAgent,      ///< anything else, an agent's own helpers and daemons included
};

/// What is checked: a process record plus the facts the rules look at.
struct ProtectionSubject {
  pid_t pid = 0;
  uid_t uid = 0;
  std::string name;
  std::optional<std::string> path;
  std::string commandLine;  ///< arguments joined with spaces
  bool hasControllingTTY = false;
  std::vector<uint16_t> ports;
  std::optional<std::string> repoPath;
  AgentRecognition agent = AgentRecognition::notConsulted;
};

/// Facts about the running tool.
struct ProtectionContext {
  uid_t currentUID = 0;
  pid_t ownPID = 0;
  std::optional<std::string> ownBundlePath;  ///< the .app that holds the tool, if any
  std::optional<std::string>
      ownExecutablePath;  ///< this program: another copy of it is the tool too
  std::optional<pid_t> frontmostAppPID;
  std::set<std::string> ignoredDefaultIDs;
  bool shellsOnlyForTTY = false;

  /// The bundle that holds `executable` (three folders up, from glimmet through
  /// Helpers and Contents), when that folder is an .app.
  static std::optional<std::string> bundlePathOf(const std::string& executable);

  /// What every command checks against: this run's uid, pid and executable. Only
  /// shells count as the terminal's shell, so that a dev server started from a
  /// terminal (which shares its controlling terminal) can still be reported.
  static ProtectionContext forCommand(uid_t uid, pid_t pid, const std::string& executable);
};

/// The subject of a snapshot record, with the ports it holds and its repository.
ProtectionSubject protectionSubject(const ProcessRecord& record, std::vector<uint16_t> ports,
                                    std::optional<std::string> repoPath);
/// The same, with what the signatures call the process.
ProtectionSubject protectionSubject(const ProcessRecord& record, std::vector<uint16_t> ports,
                                    std::optional<std::string> repoPath,
                                    const std::optional<AgentRootMatch>& agentRoot);
/// An agent root of kind agent is an agent; anything else, a helper included, is not.
AgentRecognition recognitionOf(const std::optional<AgentRootMatch>& agentRoot);

/// The user's rules, stored in protected.json (the file's record is ProtectedRules).
struct ProtectedList {
  struct UserRule {
    enum class Kind { commandGlob, repoPath, port, executablePath };
    Kind kind = Kind::commandGlob;
    std::string pattern;
    bool operator==(const UserRule&) const = default;
  };

  std::vector<UserRule> userRules;
  std::set<std::string> disabledDefaults;

  static std::optional<ProtectedList> fromJson(const nlohmann::json& json);
  nlohmann::json toJson() const;
  bool operator==(const ProtectedList&) const = default;
};
using ProtectedRules = ProtectedList;

struct ProtectionReason {
  enum class Kind {
    builtInDefault,
    userRule,
    systemProcess,
    otherUser,
    glimmetItself,
    frontmostApp,
    loginShell,
    unseenHolder  ///< a socket of the user's whose process can't be read
  };
  Kind kind;
  std::string defaultLabel;      ///< for builtInDefault: "Local databases"
  ProtectedList::UserRule rule;  ///< for userRule

  /// "Protected by default: Local databases", "System process", ...
  std::string label() const;
};

/// The first protection that applies to `subject`, or nothing when it may be
/// reported and stopped. `system` is the platform's table of system processes.
std::optional<ProtectionReason> checkProtection(const ProtectionSubject& subject,
                                                const ProtectionContext& context,
                                                const ProtectedList& list,
                                                const SystemProcessTable& system);

}  // namespace glimmet
