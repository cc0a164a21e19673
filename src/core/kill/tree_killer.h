// Stopping one process together with its descendants, safely: every member is
// checked against the live system right before each signal it gets (SIGKILL
// included: a member may exec a setuid or protected program during the grace
// period), SIGTERM comes first, and SIGKILL only for what outlived the grace.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/ghosts/protection.h"
#include "core/kill/kill_clock.h"
#include "core/kill/kill_options.h"
#include "core/kill/kill_report.h"
#include "core/kill/signaller.h"
#include "core/process/process_snapshot.h"
#include "core/process/system_process_inspector.h"
#include "core/process/system_process_table.h"

namespace glimmet {

class TreeKiller {
 public:
  TreeKiller(Signaller& signaller, const ProcessInspector& inspector,
             const ProtectedList& protectedList, const ProtectionContext& context,
             const SystemProcessTable& systemProcesses, KillClock& clock,
             const SignatureEngine* signatures = nullptr)
      : signaller_(signaller),
        inspector_(inspector),
        protectedList_(protectedList),
        context_(context),
        systemProcesses_(systemProcesses),
        clock_(clock),
        signatures_(signatures) {}

  /// Stops `target` and its descendants in `snapshot`. `ports` and `repoPath`
  /// describe the target for the protection rules. Blocks for at most the grace
  /// period plus the wait after SIGKILL.
  KillReport kill(const ProcessIdentity& target, const ProcessSnapshot& snapshot,
                  const std::vector<std::uint16_t>& ports,
                  const std::optional<std::string>& repoPath, const KillOptions& options);

 private:
  struct Member {
    const ProcessRecord* record;
    pid_t livePGID = 0;
    /// What the protection rules know of it beyond the process: the root's ports.
    std::vector<std::uint16_t> ports;
  };

  /// Why `live` must not get a signal meant for `record`, or nothing. The
  /// same checks run before every signal: identity, owner (real, effective and
  /// saved uid), zombie, lowest pid, and protection on what it runs now.
  std::optional<SkipReason> checkLive(const LiveProcess& live, const ProcessRecord& record,
                                      const std::vector<std::uint16_t>& ports,
                                      const std::optional<std::string>& repoPath) const;
  /// The check before anything is sent: the live one, and protection as the
  /// snapshot saw the process too.
  std::optional<SkipReason> preflight(Member& member,
                                      const std::optional<std::string>& repoPath) const;
  bool groupSignalMayReach(const std::vector<Member>& members, pid_t pgid) const;
  /// Sends `number` to `members`; returns the result for each, in order.
  std::vector<SignalResult> deliver(const std::vector<Member>& members, int number,
                                    const std::optional<std::string>& repoPath);
  /// Waits up to `seconds` for them to exit; true for each one that did.
  std::vector<bool> awaitExit(const std::vector<Member>& members, double seconds);

  Signaller& signaller_;
  const ProcessInspector& inspector_;
  const ProtectedList& protectedList_;
  const ProtectionContext& context_;
  const SystemProcessTable& systemProcesses_;
  KillClock& clock_;
  /// When loaded, the "AI agents" default knows agents by their signatures.
  const SignatureEngine* signatures_;
};

}  // namespace glimmet
