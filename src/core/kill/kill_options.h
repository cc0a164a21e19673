// How a tree is stopped: the grace period between SIGTERM and SIGKILL, always
// within the limits a person would accept waiting for.
#pragma once

#include <algorithm>

namespace glimmet {

struct KillLimits {
  static constexpr double kMinimumGrace = 1;
  static constexpr double kMaximumGrace = 15;
  /// How long to wait for processes to disappear after SIGKILL.
  static constexpr double kWaitAfterSIGKILL = 2;
  /// How often the killer looks whether the signalled processes are gone.
  static constexpr double kPollInterval = 0.1;
};

/// Any number of seconds, clamped into 1...15 (not-a-number counts as the minimum).
inline double clampedGrace(double seconds) {
  if (!(seconds >= KillLimits::kMinimumGrace)) return KillLimits::kMinimumGrace;
  return std::min(seconds, KillLimits::kMaximumGrace);
}

struct KillOptions {
  double gracePeriod = 3;
  bool immediateSIGKILL = false;
  /// Set when a whole agent session is being quit. The checks stay the same for
  /// every member either way: quitting a session relaxes nothing.
  bool sessionQuit = false;

  static KillOptions make(double gracePeriod, bool immediateSIGKILL = false,
                          bool sessionQuit = false) {
    return {clampedGrace(gracePeriod), immediateSIGKILL, sessionQuit};
  }
};

}  // namespace glimmet
