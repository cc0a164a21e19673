// Where the MCP server's records go in the shared folder: the call log, one
// line per tool call, and the quit inbox the application answers.
#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string_view>

namespace glimmet {

/// Appends `line` (ended by its line feed) to mcp-log.jsonl under mcp-log.lock in
/// `folder`, waiting about 2 seconds for the lock. Throws platform::LockTimeout
/// when it stayed held and platform::SystemError otherwise; callers that must
/// not fail ignore it.
void appendMCPLogLine(const std::filesystem::path& folder, std::string_view line);

/// Adds `request` to the array in mcp-inbox.json under mcp-inbox.lock: read,
/// append, replace atomically, all under the lock (waited on for about 2
/// seconds). A missing or undecodable inbox (nested too deeply included) counts
/// as empty; one that exists but can't be read (too large, a link, a FIFO) is
/// left alone and this throws platform::SystemError, so a request never costs
/// the person earlier ones.
void addToMCPInbox(const std::filesystem::path& folder, const nlohmann::json& request);

}  // namespace glimmet
