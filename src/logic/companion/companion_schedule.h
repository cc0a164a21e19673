// When the companion does what: a look at the process table every second, the
// heartbeat and its state every 30 seconds, ancestry.json at most once a
// second. Periods run on the steady clock, so a step of the wall clock moves
// the stamps the companion writes but never its rhythm.
#pragma once

#include <chrono>

namespace glimmet {

class CompanionSchedule {
 public:
  using Time = std::chrono::steady_clock::time_point;

  static constexpr std::chrono::seconds kLookPeriod{1};
  /// Well inside the 90 seconds for which readers count a stamp as fresh.
  static constexpr std::chrono::seconds kHeartbeatPeriod{30};
  static constexpr std::chrono::seconds kAncestryPeriod{1};

  /// What ancestry.json lacks compared with the records held.
  enum class Pending {
    nothing,
    dropped,  ///< only records of processes that are gone: waits for the heartbeat
    added,    ///< new records: written within the second
  };

  /// Everything is due at `start`.
  explicit CompanionSchedule(Time start);

  /// When the look after one that began at `began` is due. A look that
  /// overran its period is followed at once, without catching up the looks it
  /// missed.
  static Time nextLook(Time began, Time now);

  bool heartbeatDue(Time now) const;
  void heartbeatWritten(Time now);

  bool ancestryDue(Pending pending, Time now) const;
  void ancestryWritten(Time now);

 private:
  Time lastHeartbeat_;
  Time lastAncestry_;
  bool heartbeatWritten_ = false;
  bool ancestryWritten_ = false;
};

}  // namespace glimmet
