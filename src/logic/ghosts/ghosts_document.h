// The ghosts view: one line per ghost with its pid, command and origin; the
// document adds ages, sizes, ports, members and where in a repository it ran.
#pragma once

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/ghosts/ghost.h"
#include "core/output/document.h"

namespace glimmet {

struct GhostsDocument {
  std::vector<Ghost> ghosts;
  std::chrono::system_clock::time_point now;  ///< ages are counted to it

  /// {"schema": 1, "ghosts": [...]}
  nlohmann::json toJson() const;
  /// One text line per ghost, in report order; a sentence when there is none.
  std::vector<std::string> lines() const;
  /// A script always gets the document; a person told there is none gets status 1.
  ExitStatus status(OutputFormat format) const {
    return format == OutputFormat::text && ghosts.empty() ? ExitStatus::nothingFound
                                                          : ExitStatus::ok;
  }
};

inline constexpr const char* kNoGhosts = "No ghosts. Nice and tidy.";

}  // namespace glimmet
