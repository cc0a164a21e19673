#include "core/kill/kill_clock.h"

#include <chrono>
#include <thread>

namespace glimmet {

double SystemKillClock::now() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void SystemKillClock::sleep(double seconds) {
  if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

}  // namespace glimmet
