#include "logic/kill/kill_selection.h"

#include <algorithm>

#include "core/error.h"
#include "core/output/text.h"

namespace glimmet {
namespace {

// The first of the user's listeners, in the scanner's order, that holds `port`.
const ListeningProcess* listenerOn(const std::vector<ListeningProcess>& listening,
                                   std::uint16_t port) {
  for (const auto& listener : listening)
    if (std::ranges::find(listener.ports, port) != listener.ports.end()) return &listener;
  return nullptr;
}

std::vector<std::uint16_t> portsHeldBy(pid_t pid, const std::vector<ListeningProcess>& listening) {
  // The last listener of a pid wins, as in every ports-by-pid map of a run.
  std::vector<std::uint16_t> ports;
  for (const auto& listener : listening)
    if (listener.identity.pid == pid) ports = listener.ports;
  return ports;
}

}  // namespace

KillSelection selectKillTarget(const KillTarget& target, const ProcessSnapshot& snapshot,
                               const std::vector<ListeningProcess>& listening) {
  KillSelection selection;
  if (const auto* port = std::get_if<PortTarget>(&target)) {
    const auto* listener = listenerOn(listening, port->port);
    // The listeners come from this snapshot's records, so one found has its record.
    if (listener != nullptr) selection.root = snapshot.record(listener->identity.pid);
    if (selection.root == nullptr) {
      throw CommandFailure("Nothing of yours is listening on :" + std::to_string(port->port) + ".",
                           ExitStatus::nothingFound);
    }
    selection.target = portList(listener->ports);
  } else {
    const pid_t pid = std::get<PIDTarget>(target).pid;
    selection.root = snapshot.record(pid);
    if (selection.root == nullptr) {
      throw CommandFailure("No process with PID " + std::to_string(pid) + ".",
                           ExitStatus::nothingFound);
    }
    selection.target = "PID " + std::to_string(pid);
  }
  selection.ports = portsHeldBy(selection.root->pid(), listening);
  return selection;
}

}  // namespace glimmet
