#include "core/ports/port_health_tracker.h"

namespace glimmet {

PortHealth PortHealthTracker::record(std::uint16_t port, platform::ProbeOutcome outcome) {
  State& state = ports_[port];
  switch (outcome) {
    case platform::ProbeOutcome::http:
      state = {0, PortHealth::spokeHTTP};
      break;
    case platform::ProbeOutcome::tcpOnly:
      state = {0, PortHealth::responding};
      break;
    case platform::ProbeOutcome::noReply:
    case platform::ProbeOutcome::unreachable:
      // Until the strikes add up, the port keeps the health it last showed.
      if (++state.strikes >= kStrikesToHung) state.health = PortHealth::hung;
      break;
  }
  return state.health;
}

PortHealth PortHealthTracker::health(std::uint16_t port) const {
  const auto found = ports_.find(port);
  return found == ports_.end() ? PortHealth::unknown : found->second.health;
}

int PortHealthTracker::strikes(std::uint16_t port) const {
  const auto found = ports_.find(port);
  return found == ports_.end() ? 0 : found->second.strikes;
}

}  // namespace glimmet
