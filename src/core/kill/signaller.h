// Sending signals, behind an interface so the tree killer's decisions can be
// tested without signalling anything. Every signal is gated by a check of the
// process as it is right then, read through the same handle the signal then
// goes through, so the check and the signal concern one incarnation.
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <vector>

#include "core/kill/kill_report.h"
#include "core/process/live_process.h"
#include "core/process/process_identity.h"
#include "platform/process_info.h"

namespace glimmet {

/// Below this pid lie the system's own processes: never signalled, whoever owns them.
inline constexpr pid_t kLowestSignallablePID = 100;

enum class SignalOutcome { sent, noSuchProcess, notPermitted, refused };

/// What a signal to one process came to. When the check said no, nothing was
/// sent, `outcome` is `refused` and `failedCheck` says why.
struct SignalResult {
  SignalOutcome outcome = SignalOutcome::refused;
  std::optional<SkipReason> failedCheck;
};

/// Whether the process, as it is now, may get the signal: nothing when it may.
using SignalCheck = std::function<std::optional<SkipReason>(const LiveProcess&)>;
/// Whether one signal may go to the whole group, given every process in it now.
using GroupCheck = std::function<bool(const std::vector<LiveProcess>&)>;

class Signaller {
 public:
  virtual ~Signaller() = default;
  /// Signals the process only while it is still `process` and `check` lets it:
  /// a pid now held by a process with another start time is `noSuchProcess`.
  virtual SignalResult signal(const ProcessIdentity& process, int number,
                              const SignalCheck& check) = 0;
  /// Signals the group `pgid` only when `check` accepts every process in it;
  /// `refused` otherwise, and the caller then signals the members one by one.
  virtual SignalOutcome signalGroup(pid_t pgid, int number, const GroupCheck& check) = 0;
};

/// The real one. PIDs below 100, this process and this process's own group are
/// refused without a system call, whatever the caller checked before.
class SystemSignaller final : public Signaller {
 public:
  /// Executables and arguments are read for `currentUID`'s processes only.
  explicit SystemSignaller(uid_t currentUID);
  SignalResult signal(const ProcessIdentity& process, int number,
                      const SignalCheck& check) override;
  SignalOutcome signalGroup(pid_t pgid, int number, const GroupCheck& check) override;

 private:
  uid_t currentUID_;
  pid_t ownPID_;
  pid_t ownGroup_;
  platform::ProcessTable table_;
};

}  // namespace glimmet
