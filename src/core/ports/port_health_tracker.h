// Health of ports probed over time: a port that stops answering is only called
// hung after several failed probes in a row, so one slow reply is no alarm.
#pragma once

#include <cstdint>
#include <map>

#include "platform/port_probe.h"

namespace glimmet {

enum class PortHealth { spokeHTTP, responding, hung, unknown };

class PortHealthTracker {
 public:
  static constexpr int kStrikesToHung = 3;

  /// Records one probe of `port` and returns its health after it.
  PortHealth record(std::uint16_t port, platform::ProbeOutcome outcome);
  PortHealth health(std::uint16_t port) const;
  int strikes(std::uint16_t port) const;
  /// Forgets a port that is no longer listened on.
  void forget(std::uint16_t port) { ports_.erase(port); }

 private:
  struct State {
    int strikes = 0;
    PortHealth health = PortHealth::unknown;
  };
  std::map<std::uint16_t, State> ports_;
};

}  // namespace glimmet
