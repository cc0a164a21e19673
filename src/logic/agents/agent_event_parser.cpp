// Claude Code and Codex payloads.
#include "logic/agents/agent_event_parser.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

#include "logic/agents/grapheme_clusters.h"
#include "logic/agents/payload_scanner.h"

namespace glimmet::AgentEventParser {
namespace {

// Byte length of the line break at `i`, or 0 when there is none.
size_t lineBreakAt(std::string_view text, size_t i) {
  switch (text[i]) {
    case '\n':
    case '\v':
    case '\f':
    case '\r':
      return 1;
    case '\xC2':  // U+0085
      return text.substr(i).starts_with("\xC2\x85") ? 2 : 0;
    case '\xE2':  // U+2028, U+2029
      return text.substr(i).starts_with("\xE2\x80\xA8") ||
                     text.substr(i).starts_with("\xE2\x80\xA9")
                 ? 3
                 : 0;
    default:
      return 0;
  }
}

std::string_view firstLine(std::string_view text) {
  size_t start = 0;
  for (size_t i = 0; i < text.size();) {
    const size_t breakLength = lineBreakAt(text, i);
    if (breakLength == 0) {
      ++i;
      continue;
    }
    if (i > start) return text.substr(start, i - start);
    i += breakLength;
    start = i;
  }
  return text.substr(start);
}

bool containsPermission(std::string_view message) {
  constexpr std::string_view word = "permission";
  // Lower-casing ASCII is enough: the word is ASCII and no other letter folds to it.
  const auto found =
      std::search(message.begin(), message.end(), word.begin(), word.end(),
                  [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
  return found != message.end();
}

std::optional<AgentEventKind> claudeKind(const std::string& hookName,
                                         const std::optional<std::string>& notificationType,
                                         const std::optional<std::string>& message) {
  if (hookName == "Stop") return AgentEventKind::finished;
  if (hookName != "Notification") return std::nullopt;
  if (notificationType) {
    if (*notificationType == "permission_prompt" || *notificationType == "elicitation_dialog")
      return AgentEventKind::needsApproval;
    if (*notificationType == "idle_prompt") return AgentEventKind::waiting;
    return std::nullopt;
  }
  return message && containsPermission(*message) ? AgentEventKind::needsApproval
                                                 : AgentEventKind::waiting;
}

}  // namespace

std::string cleanMessage(std::string_view text) {
  const std::string_view line = firstLine(text);
  if (!graphemePrefixLength(line, kLongestEventMessage)) return std::string(line);
  const size_t kept = graphemePrefixLength(line, kLongestEventMessage - 3).value_or(line.size());
  return std::string(line.substr(0, kept)) + "...";
}

std::optional<AgentEvent> parseClaudeCode(PayloadPieces& payload, int32_t pid, SystemTime now,
                                          std::string id) {
  static constexpr std::array<WantedString, 5> wanted = {{
      {"hook_event_name"},
      {"message", kLongestMessageRead},
      {"notification_type"},
      {"cwd"},
      {"session_id"},
  }};
  auto fields = readTopLevelStrings(payload, wanted);
  if (!fields) return std::nullopt;
  auto& hookName = (*fields)[0];
  auto& rawMessage = (*fields)[1];
  auto& notificationType = (*fields)[2];
  auto& cwd = (*fields)[3];
  auto& sessionID = (*fields)[4];
  if (!hookName) return std::nullopt;
  std::optional<std::string> message;
  if (rawMessage) message = cleanMessage(*rawMessage);
  const auto kind = claudeKind(*hookName, notificationType, message);
  if (!kind) return std::nullopt;
  return AgentEvent{.id = std::move(id),
                    .time = now,
                    .agent = std::string(kClaudeCodeDisplayName),
                    .kind = *kind,
                    .message = std::move(message),
                    .cwd = std::move(cwd),
                    .pid = pid,
                    .sessionID = std::move(sessionID)};
}

std::optional<AgentEvent> parseClaudeCode(std::string_view bytes, int32_t pid, SystemTime now,
                                          std::string id) {
  WholePayload whole(bytes);
  return parseClaudeCode(whole, pid, now, std::move(id));
}

std::optional<AgentEvent> parseCodex(std::string_view text, int32_t pid, SystemTime now,
                                     std::string id) {
  static constexpr std::array<WantedString, 4> wanted = {
      {{"type"}, {"thread-id"}, {"conversation-id"}, {"cwd"}}};
  auto fields = readTopLevelStrings(text, wanted);
  if (!fields) return std::nullopt;
  auto& type = (*fields)[0];
  std::optional<AgentEventKind> kind;
  if (type == "agent-turn-complete") kind = AgentEventKind::finished;
  if (type == "approval-requested") kind = AgentEventKind::needsApproval;
  if (!kind) return std::nullopt;
  auto sessionID = (*fields)[1] ? std::move((*fields)[1]) : std::move((*fields)[2]);
  return AgentEvent{.id = std::move(id),
                    .time = now,
                    .agent = std::string(kCodexDisplayName),
                    .kind = *kind,
                    .cwd = std::move((*fields)[3]),
                    .pid = pid,
                    .sessionID = std::move(sessionID)};
}

}  // namespace glimmet::AgentEventParser
