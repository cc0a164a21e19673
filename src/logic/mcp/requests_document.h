// glimmet requests: the quit requests that wait for an answer, each with its
// age, what it names, the agent's note and the verdict taken again now.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/output/document.h"
#include "logic/mcp/quit_request_review.h"

namespace glimmet {

struct RequestsDocument {
  std::vector<QuitRequestReview> requests;  ///< pending, in inbox order

  nlohmann::json toJson() const;
  std::vector<std::string> lines() const;
  /// Status 1 when nothing waits, in either form, as the other listings.
  ExitStatus status(OutputFormat) const {
    return requests.empty() ? ExitStatus::nothingFound : ExitStatus::ok;
  }
};

}  // namespace glimmet
