// Whether the person would be asked before a stop: the facts about one target,
// and the verdict with the words an agent reads. Nothing here signals anything.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/ghosts/protection.h"
#include "core/ports/dev_server.h"
#include "core/process/process_snapshot.h"
#include "core/process/system_process_table.h"

namespace glimmet {

/// What an MCP client names: a pid, a port, a session, or several at once.
struct MCPTarget {
  std::optional<std::int32_t> pid;
  std::optional<std::int32_t> port;
  std::optional<std::int32_t> sessionPID;

  bool empty() const { return !pid && !port && !sessionPID; }
  /// "session 42", "pid 7 port 3000", "port 3000", "pid 7" or "unknown".
  std::string text() const;
};

struct MCPSafetyVerdict {
  std::string verdict;  ///< "askFirst" or "leaveAlone"
  std::string reason;
  std::optional<std::string> name;
};

/// One live agent session as the safety rules see it: its root pid and agent name.
struct SessionRoot {
  pid_t pid = 0;
  std::string agent;
};

struct SafetyGate {
  struct Input {
    bool found = false;
    std::optional<std::string> name;
    bool system = false;
    bool otherUser = false;
    bool glimmet = false;
    std::optional<std::string> protectedReason;
    bool isSession = false;
  };

  /// The first rule that applies decides; the name goes along whenever found.
  static MCPSafetyVerdict verdict(const Input& input);
};

/// Everything the facts are read from: one survey and the run's protection rules.
struct SafetyView {
  const ProcessSnapshot& snapshot;
  const std::vector<DevServer>& servers;
  const std::vector<SessionRoot>& sessions;
  const ProtectionContext& context;
  const ProtectedList& protectedList;
  const SystemProcessTable& system;
  /// When loaded, the "AI agents" default knows agents by their signatures.
  const SignatureEngine* signatures = nullptr;
};

/// The facts for `target` (not empty): a session pid first, then a pid (which may
/// itself be a session's), then a port.
SafetyGate::Input safetyFacts(const MCPTarget& target, const SafetyView& view);

/// The process `target` names in the view's snapshot, by the same order as the
/// facts; nullptr when it names nothing there.
const ProcessRecord* targetRecord(const MCPTarget& target, const SafetyView& view);

/// The user's own dev server of `pid` in the view, or nullptr.
const DevServer* ownServerOf(pid_t pid, const SafetyView& view);

/// Why `record` is protected, or nothing: a dev server's protection as the
/// survey judged it (it knows its ports and repository), else the rules over
/// the record and `ports`.
std::optional<ProtectionReason> protectionOf(const ProcessRecord& record,
                                             const std::vector<std::uint16_t>& ports,
                                             const SafetyView& view);

}  // namespace glimmet
