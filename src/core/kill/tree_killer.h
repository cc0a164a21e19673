// Stopping one process together with its descendants, safely: every member is
// checked against the live system right before it is signalled, SIGTERM comes
// first, and SIGKILL only for what outlived the grace period.
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
#include "platform/system_processes.h"

namespace glimmet {

class TreeKiller {
 public:
  TreeKiller(Signaller& signaller, const ProcessInspector& inspector,
             const ProtectedList& protectedList, const ProtectionContext& context,
             const platform::SystemProcessTable& systemProcesses, KillClock& clock,
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
  };

  std::optional<SkipReason> check(const ProcessRecord& record,
                                  const std::vector<std::uint16_t>& ports,
                                  const std::optional<std::string>& repoPath,
                                  pid_t& livePGID) const;
  bool oneGroupSignalReaches(const std::vector<Member>& members, pid_t pgid) const;
  /// Sends `number` to `members`; returns the outcome for each, in order.
  std::vector<SignalOutcome> deliver(const std::vector<Member>& members, int number);
  /// Waits up to `seconds` for them to exit; true for each one that did.
  std::vector<bool> awaitExit(const std::vector<Member>& members, double seconds);

  Signaller& signaller_;
  const ProcessInspector& inspector_;
  const ProtectedList& protectedList_;
  const ProtectionContext& context_;
  const platform::SystemProcessTable& systemProcesses_;
  KillClock& clock_;
  /// When loaded, the "AI agents" default knows agents by their signatures.
  const SignatureEngine* signatures_;
};

}  // namespace glimmet
