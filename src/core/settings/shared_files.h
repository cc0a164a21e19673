// Everything the tool and its companion application exchange, in one place. The
// two never call each other: they meet only in the shared folder and in the
// install layout. The application may be absent (always, on Linux so far): then
// every file it provides is missing and the tool runs on defaults.
#pragma once

#include <chrono>
#include <string_view>

namespace glimmet::shared_files {

// Provided by the application; the tool only reads them. Where there is no
// application (Linux), `glimmet settings` writes settings.json, replacing it
// atomically while it holds the lock file beside it.
inline constexpr std::string_view settings = "settings.json";  // defaults when missing
inline constexpr std::string_view settingsLock = "settings.json.lock";
inline constexpr std::string_view ancestry = "ancestry.json";           // empty when missing
inline constexpr std::string_view mcpHeartbeat = "mcp-heartbeat.json";  // app running while fresh

/// The application counts as running while its heartbeat stamp is younger than this.
inline constexpr std::chrono::seconds heartbeatFreshness{90};

// Written by `glimmet companion run`, which takes the application's part on
// Linux: it holds the lock while it runs (one companion per user) and keeps its
// state beside it for `glimmet companion status`.
inline constexpr std::string_view companionLock = "companion.lock";
inline constexpr std::string_view companionState = "companion.json";

// Written by the tool (protected.json atomically, the rest appended or replaced
// under the lock file beside them); the application reads, drains or answers them.
inline constexpr std::string_view protectedRules = "protected.json";
inline constexpr std::string_view protectedRulesLock = "protected.json.lock";
inline constexpr std::string_view killLog = "killlog.jsonl";
inline constexpr std::string_view killLogLock = "killlog.jsonl.lock";
inline constexpr std::string_view agentEvents = "agent-events.jsonl";
inline constexpr std::string_view agentEventsLock = "agent-events.lock";
inline constexpr std::string_view mcpLog = "mcp-log.jsonl";
inline constexpr std::string_view mcpLogLock = "mcp-log.lock";
inline constexpr std::string_view mcpInbox = "mcp-inbox.json";
inline constexpr std::string_view mcpInboxLock = "mcp-inbox.lock";
// Held by whoever carries out an answer to a quit request (glimmet requests,
// the companion), so that two answers never both act on one request.
inline constexpr std::string_view mcpInboxAnswerLock = "mcp-inbox.answer.lock";
inline constexpr std::string_view diskCache = "disk-cache.json";
inline constexpr std::string_view diskHistory = "disk-history.csv";
inline constexpr std::string_view diskHistoryLock = "disk-history.csv.lock";
inline constexpr std::string_view cleanupLog = "cleanup.jsonl";
inline constexpr std::string_view cleanupLogLock = "cleanup.jsonl.lock";

// How long a writer waits for a lock that another program holds before it skips
// its write. notify runs in an agent's hook and mcp answers an agent, so both
// wait least; a lock held longer than this is stuck, not busy.
inline constexpr std::chrono::milliseconds hookLockWait{2000};
inline constexpr std::chrono::milliseconds commandLockWait{10000};

// The data files shipped beside the tool, and the variables that override them.
inline constexpr std::string_view signatureFile = "signatures.json";
inline constexpr std::string_view signatureOverride = "GLIMMET_SIGNATURES";
inline constexpr std::string_view leftoverFile = "leftovers.json";
inline constexpr std::string_view leftoverOverride = "GLIMMET_LEFTOVERS";

}  // namespace glimmet::shared_files
