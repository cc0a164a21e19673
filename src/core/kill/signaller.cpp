#include "core/kill/signaller.h"

#include <unistd.h>

namespace glimmet {
namespace {

SignalOutcome outcomeOf(platform::SignalDelivery delivery) {
  switch (delivery) {
    case platform::SignalDelivery::sent:
      return SignalOutcome::sent;
    case platform::SignalDelivery::noSuchProcess:
      return SignalOutcome::noSuchProcess;
    case platform::SignalDelivery::notPermitted:
      return SignalOutcome::notPermitted;
    case platform::SignalDelivery::failed:
      break;
  }
  return SignalOutcome::refused;
}

}  // namespace

SystemSignaller::SystemSignaller() : ownPID_(::getpid()), ownGroup_(::getpgrp()) {}

SignalOutcome SystemSignaller::signal(const ProcessIdentity& process, int number) {
  if (process.pid < kLowestSignallablePID || process.pid == ownPID_) return SignalOutcome::refused;
  const auto handle = table_.open(process.pid);
  if (!handle) return SignalOutcome::noSuchProcess;
  // The handle is bound to whatever holds the pid now; its start time says
  // whether that is still the process the caller checked.
  const auto reading = handle->read();
  if (!reading || reading->summary.startTime != process.startTime) {
    return SignalOutcome::noSuchProcess;
  }
  return outcomeOf(handle->signal(number));
}

SignalOutcome SystemSignaller::signalGroup(pid_t pgid, int number) {
  if (pgid < kLowestSignallablePID || pgid == ownGroup_) return SignalOutcome::refused;
  return outcomeOf(platform::signalProcessGroup(pgid, number));
}

}  // namespace glimmet
