#include "logic/companion/companion_schedule.h"

#include <algorithm>

namespace glimmet {

CompanionSchedule::CompanionSchedule(Time start) : lastHeartbeat_(start), lastAncestry_(start) {}

CompanionSchedule::Time CompanionSchedule::nextLook(Time began, Time now) {
  return std::max(began + kLookPeriod, now);
}

bool CompanionSchedule::heartbeatDue(Time now) const {
  return !heartbeatWritten_ || now - lastHeartbeat_ >= kHeartbeatPeriod;
}

void CompanionSchedule::heartbeatWritten(Time now) {
  heartbeatWritten_ = true;
  lastHeartbeat_ = now;
}

bool CompanionSchedule::ancestryDue(Pending pending, Time now) const {
  switch (pending) {
    case Pending::nothing:
      return false;
    case Pending::dropped:
      return !ancestryWritten_ || now - lastAncestry_ >= kHeartbeatPeriod;
    case Pending::added:
      return !ancestryWritten_ || now - lastAncestry_ >= kAncestryPeriod;
  }
  return false;
}

void CompanionSchedule::ancestryWritten(Time now) {
  ancestryWritten_ = true;
  lastAncestry_ = now;
}

}  // namespace glimmet
