// The agents view: live sessions with what they started, and the ghosts that
// crashed or finished sessions left behind.
#pragma once

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/ghosts/ghost.h"
#include "core/output/document.h"
#include "logic/agents/agent_session.h"

namespace glimmet {

/// One ghost as the agents view lists it.
struct LeftBehind {
  pid_t pid = 0;
  std::string command;  ///< the arguments, secrets masked, or the name
  std::string origin;   ///< in words: "Claude Code", "likely Codex", "Unknown agent", ...
  std::uint64_t memoryBytes = 0;
  std::vector<std::uint16_t> ports;

  static LeftBehind of(const Ghost& ghost);
};

struct AgentsDocument {
  std::vector<AgentSession> sessions;
  std::vector<LeftBehind> leftBehind;
  std::chrono::system_clock::time_point now;

  static AgentsDocument from(std::vector<AgentSession> sessions, const std::vector<Ghost>& ghosts,
                             std::chrono::system_clock::time_point now);
  bool isEmpty() const { return sessions.empty() && leftBehind.empty(); }
  nlohmann::json toJson() const;
  /// The text view; a sentence when there is nothing at all.
  std::vector<std::string> lines() const;
  /// Nothing at all is status 1 in either form.
  ExitStatus status(OutputFormat) const {
    return isEmpty() ? ExitStatus::nothingFound : ExitStatus::ok;
  }
};

inline constexpr const char* kNoAgentSessionsOrLeftovers =
    "No agent sessions, and nothing left behind.";
inline constexpr const char* kNoLiveAgentSessions = "No live agent sessions.";

}  // namespace glimmet
