// Turns an agent's own hook payload into an AgentEvent, or nothing. Pure: the
// caller supplies the pid, the moment and the fresh event id.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "logic/agents/agent_event.h"
#include "logic/agents/payload_scanner.h"

namespace glimmet::AgentEventParser {

/// A message is read up to this many bytes of its text: far more than 160
/// characters of any script, and a bound on what a huge one costs. (A first
/// line that starts only after this much blank space is therefore not found.)
inline constexpr size_t kLongestMessageRead = 65'536;

/// A Claude Code hook payload (the JSON object its hooks pipe to standard input).
std::optional<AgentEvent> parseClaudeCode(std::string_view bytes, int32_t pid, SystemTime now,
                                          std::string id);
/// The same, read piece by piece as it arrives, so a large payload is never held whole.
std::optional<AgentEvent> parseClaudeCode(PayloadPieces& payload, int32_t pid, SystemTime now,
                                          std::string id);

/// A Codex notify payload (the JSON object it passes as the last argument).
std::optional<AgentEvent> parseCodex(std::string_view text, int32_t pid, SystemTime now,
                                     std::string id);

/// The first non-empty line of `text` (lines end at LF, VT, FF, CR, U+0085,
/// U+2028 or U+2029), cut to 157 user-perceived characters and "..." when it is
/// longer than 160.
std::string cleanMessage(std::string_view text);

}  // namespace glimmet::AgentEventParser
