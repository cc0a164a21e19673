#include "core/kill/signaller.h"

#include "platform/own_process.h"

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

SystemSignaller::SystemSignaller(uid_t currentUID)
    : currentUID_(currentUID),
      ownPID_(platform::ownPID()),
      ownGroup_(platform::ownProcessGroup()) {}

SignalResult SystemSignaller::signal(const ProcessIdentity& process, int number,
                                     const SignalCheck& check) {
  if (process.pid < kLowestSignallablePID || process.pid == ownPID_) return {};
  const auto handle = table_.open(process.pid);
  if (!handle) return {SignalOutcome::noSuchProcess, std::nullopt};
  // The handle is bound to whatever holds the pid now; its start time says
  // whether that is still the process the caller checked.
  const auto live = readLiveProcess(*handle, currentUID_);
  if (!live) {
    // Still there but exec'ing again and again: what it is can't be told, so
    // it gets nothing.
    if (handle->read()) return {};
    return {SignalOutcome::noSuchProcess, std::nullopt};
  }
  if (live->identity != process) return {SignalOutcome::noSuchProcess, std::nullopt};
  if (auto reason = check(*live)) return {SignalOutcome::refused, std::move(reason)};
  return {outcomeOf(handle->signal(number)), std::nullopt};
}

SignalOutcome SystemSignaller::signalGroup(pid_t pgid, int number, const GroupCheck& check) {
  if (pgid < kLowestSignallablePID || pgid == ownGroup_) return SignalOutcome::refused;
  // Everything in the group now, each read through its own handle; the handles
  // stay open until the signal is sent, so none of their pids can be reused.
  std::vector<platform::ProcessHandle> handles;
  std::vector<LiveProcess> group;
  const platform::ProcessHandle* leader = nullptr;
  for (const pid_t pid : table_.allPIDs()) {
    auto handle = table_.open(pid);
    if (!handle) continue;
    const auto summary = handle->read();
    if (!summary || summary->summary.pgid != pgid) continue;
    auto live = readLiveProcess(*handle, currentUID_);
    if (!live) {
      if (handle->read()) return SignalOutcome::refused;  // mid-exec: can't be checked
      continue;                                           // exited meanwhile
    }
    if (live->pgid != pgid) continue;
    group.push_back(std::move(*live));
    handles.push_back(std::move(*handle));
  }
  for (const auto& handle : handles)
    if (handle.pid() == pgid) leader = &handle;
  if (leader == nullptr || !check(group)) return SignalOutcome::refused;
  return outcomeOf(leader->signalGroup(number));
}

}  // namespace glimmet
