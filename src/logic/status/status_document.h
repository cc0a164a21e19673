// How much is going on, in one document: ghosts, the user's dev servers, live
// agent sessions, and what stopping the ghosts and the user's unprotected dev
// servers would free. The MCP status tool returns the same document.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/output/document.h"
#include "logic/survey/survey.h"

namespace glimmet {

/// What stopping would free, from one survey.
struct Freeable {
  std::uint64_t bytes = 0;
  std::vector<std::uint16_t> ports;  ///< ghosts' first, then servers'; may repeat

  /// Every ghost, and the user's unprotected dev servers of known identity that
  /// aren't ghosts already (so nothing is counted twice).
  static Freeable of(const std::vector<Ghost>& ghosts, const std::vector<DevServer>& servers);
};

struct StatusDocument {
  std::uint64_t ghosts = 0;
  std::uint64_t devServers = 0;  ///< the user's own
  std::uint64_t agentSessions = 0;
  std::uint64_t memoryBytes = 0;
  std::vector<std::uint16_t> ports;  ///< ascending, each once
  std::string summary;

  static StatusDocument build(std::uint64_t ghostCount, std::uint64_t devServerCount,
                              std::uint64_t sessionCount, std::uint64_t freedBytes,
                              std::vector<std::uint16_t> freedPorts);
  static StatusDocument from(const Survey& survey);

  bool isEmpty() const { return ghosts == 0 && devServers == 0 && agentSessions == 0; }
  nlohmann::json toJson() const;
  /// "1 ghost, 0 dev servers, 0 agent sessions" and the summary.
  std::vector<std::string> lines() const;
  /// A script reads the counts from the document, whatever they are; a person
  /// told there is nothing at all gets status 1.
  ExitStatus status(OutputFormat format) const {
    return format == OutputFormat::text && isEmpty() ? ExitStatus::nothingFound : ExitStatus::ok;
  }
};

}  // namespace glimmet
