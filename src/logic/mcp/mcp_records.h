// What the MCP server leaves in the shared folder, in the form it is written
// there: one call-log line per tool call, and quit requests for the inbox the
// application answers.
#pragma once

#include <cstdint>
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
  /// "pending" when filed; then "done", "declined", "failed" or "expired".
  std::string status = "pending";
  /// The receipt once answered: what answering did, in words.
  std::optional<std::string> message;
  /// When it was answered, declined or expired.
  std::optional<SystemTime> answeredAt;

  nlohmann::json toJson() const;
  /// An inbox entry as a request: an object with a non-empty string id and
  /// status and a readable time. Targets that are not 32-bit integers and a
  /// note that is not a string count as absent. Nothing for anything else.
  static std::optional<MCPQuitRequest> fromJson(const nlohmann::json& entry);
};

}  // namespace glimmet
