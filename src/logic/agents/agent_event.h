// One agent hook event, as `notify` records it and the application drains it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/output/iso8601.h"

namespace glimmet {

enum class AgentEventKind {
  finished,       ///< the agent finished its turn
  needsApproval,  ///< it waits for a permission decision or an answer to a dialog
  waiting,        ///< it sits idle at its prompt
};

std::string_view toString(AgentEventKind kind);
std::optional<AgentEventKind> agentEventKindFromString(std::string_view text);

inline constexpr std::string_view kClaudeCodeDisplayName = "Claude Code";
inline constexpr std::string_view kCodexDisplayName = "Codex";
/// Longest kept message, in user-perceived characters.
inline constexpr size_t kLongestEventMessage = 160;
/// A drain keeps only events younger than this.
inline constexpr std::chrono::seconds kLongestAgentEventAge{600};

struct AgentEvent {
  std::string id;  ///< a random UUID, upper case
  SystemTime time;
  std::string agent;  ///< display name: "Claude Code" or "Codex"
  AgentEventKind kind = AgentEventKind::finished;
  std::optional<std::string> message;  ///< Claude Code only: the first line, shortened
  std::optional<std::string> cwd;
  std::optional<int32_t> pid;
  std::optional<std::string> sessionID;

  bool operator==(const AgentEvent&) const = default;
};

/// The event as one compact JSON object in field order, slashes escaped as the
/// application's encoder does, ended by one line feed. Strings that are not valid
/// UTF-8 have their ill-formed bytes replaced by U+FFFD.
std::string encodeAgentEventLine(const AgentEvent& event);

/// Decodes one line: keys in any order; `id`, `time`, `agent` and `kind` required,
/// the rest optional. Nothing when the line is not such an object.
std::optional<AgentEvent> decodeAgentEvent(std::string_view line);

/// The events of a drained inbox log, oldest first: those younger than 600
/// seconds at `now`. Lines that don't decode are dropped.
std::vector<AgentEvent> decodeAgentEventLog(std::string_view log, SystemTime now);

}  // namespace glimmet
