// Which of the user's dev servers stop --idle offers to stop: old enough,
// owned by the user, and not protected. Pure, over the survey's servers.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <istream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "core/ports/dev_server.h"

namespace glimmet {

struct IdleCandidate {
  pid_t pid = 0;
  std::vector<std::uint16_t> ports;
  std::string name;
  std::optional<std::string> project;
  double uptime = 0;  ///< seconds; 0 when the start date is unknown
  std::uint64_t footprint = 0;
  bool ownedByCurrentUser = false;
  std::optional<std::string> protectedReason;

  static IdleCandidate of(const DevServer& server, std::chrono::system_clock::time_point now);
};

struct IdlePlan {
  std::vector<IdleCandidate> stop;
  std::vector<IdleCandidate> skipped;

  /// 45 minutes unless `--older-than` minutes are given.
  static double minimumAge(std::optional<std::int64_t> olderThanMinutes);
  static IdlePlan make(std::vector<IdleCandidate> candidates, double minimumAgeSeconds);

  /// What stopping the `stop` list frees, or "Nothing idle to stop.".
  std::string summary() const;
  nlohmann::json document(double minimumAgeSeconds) const;
  /// The plan as it is shown before the question: header, rows, left-alone rows, summary.
  std::vector<std::string> lines(double minimumAgeSeconds) const;
};

enum class StopConfirm { proceed, declined, needsTTY };

/// "y" or "yes" in any case and surrounded by any space proceeds; anything else,
/// or the end of the input, declines.
StopConfirm confirmation(bool inputIsTerminal, std::istream& input);

}  // namespace glimmet
