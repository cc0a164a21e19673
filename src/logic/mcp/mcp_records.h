// What the MCP server leaves in the shared folder: one call-log line per tool
// call, and quit requests in the inbox the application answers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "core/output/iso8601.h"

namespace glimmet {

struct MCPLogEntry {
  SystemTime time;
  std::string tool;
  std::string summary;
  std::string result;

  /// The compact line, without its line feed.
  std::string line() const;
};

struct MCPQuitRequest {
  std::string id;  ///< a random upper-case UUID
  SystemTime time;
  std::string kind;  ///< "session", "pid" or "port"
  std::optional<std::int32_t> pid;
  std::optional<std::int32_t> port;
  std::optional<std::int32_t> sessionPID;
  std::optional<std::string> note;  ///< redacted
  std::string status = "pending";

  nlohmann::json toJson() const;
};

/// Appends `entry` to mcp-log.jsonl under mcp-log.lock in `folder`, waiting
/// about 2 seconds for the lock. Throws platform::LockTimeout when it stayed
/// held and platform::SystemError otherwise; callers that must not fail ignore it.
void appendMCPLog(const std::filesystem::path& folder, const MCPLogEntry& entry);

/// Adds `request` to mcp-inbox.json under mcp-inbox.lock: read, append, replace
/// atomically, all under the lock (waited on for about 2 seconds). A missing or
/// undecodable inbox (nested too deeply included) counts as empty; one that
/// exists but can't be read (too large, a link, a FIFO) is left alone and this
/// throws platform::SystemError, so a request never costs the person earlier ones.
void addToMCPInbox(const std::filesystem::path& folder, const MCPQuitRequest& request);

}  // namespace glimmet
