// Sending signals, behind an interface so the tree killer's decisions can be
// tested without signalling anything.
#pragma once

#include <sys/types.h>

#include "core/process/process_identity.h"
#include "platform/process_info.h"

namespace glimmet {

/// Below this pid lie the system's own processes: never signalled, whoever owns them.
inline constexpr pid_t kLowestSignallablePID = 100;

enum class SignalOutcome { sent, noSuchProcess, notPermitted, refused };

class Signaller {
 public:
  virtual ~Signaller() = default;
  /// Signals the process only while it is still `process`: a pid now held by a
  /// process with another start time is `noSuchProcess`.
  virtual SignalOutcome signal(const ProcessIdentity& process, int number) = 0;
  virtual SignalOutcome signalGroup(pid_t pgid, int number) = 0;
};

/// The real one. Pids below 100, this process and this process's own group are
/// refused without a system call, whatever the caller checked before.
class SystemSignaller final : public Signaller {
 public:
  SystemSignaller();
  SignalOutcome signal(const ProcessIdentity& process, int number) override;
  SignalOutcome signalGroup(pid_t pgid, int number) override;

 private:
  pid_t ownPID_;
  pid_t ownGroup_;
  platform::ProcessTable table_;
};

}  // namespace glimmet
