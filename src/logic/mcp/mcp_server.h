// The MCP server's answer to one message: JSON-RPC 2.0, protocol 2024-11-05,
// five tools. It is built afresh for every message from that moment's
// settings and heartbeat, and reaches the system only through its operations,
// so the whole protocol runs over recorded data in tests.
#pragma once

#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "core/output/iso8601.h"
#include "logic/mcp/mcp_records.h"
#include "logic/mcp/safety_gate.h"

namespace glimmet {

/// A data tool that cannot answer; its message becomes an error result.
class MCPToolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct MCPServer {
  bool enabled = false;     ///< mcp.enabled, read for this message
  bool appRunning = false;  ///< the application's heartbeat is fresh
  /// Each returns its document's JSON text or throws MCPToolError.
  std::function<std::string()> status;
  std::function<std::string()> ports;
  std::function<std::string()> agents;
  std::function<MCPSafetyVerdict(const MCPTarget&)> safety;
  /// Files one quit request; throws when the inbox can't be written.
  std::function<void(const MCPQuitRequest&)> requestQuit;
  /// Appends to the call log; a failure is ignored.
  std::function<void(const MCPLogEntry&)> log;
  std::function<SystemTime()> now;
  std::function<std::string()> newRequestID;

  static constexpr std::string_view offMessage =
      "MCP is off in Glimmet. Turn it on with glimmet settings set mcp.enabled true, then try "
      "again.";

  /// The compact response to `message`, or nothing: notifications and messages
  /// that are not UTF-8 get no answer.
  std::optional<std::string> handle(std::string_view message) const;

  /// The tools/call result for `params`.
  nlohmann::json callTool(const nlohmann::json& params) const;
};

/// The five tool descriptions of tools/list, in order.
nlohmann::json mcpToolCatalogue();

/// An integer argument: a JSON number (not a boolean), truncated toward zero,
/// within 32 bits; anything else is absent.
std::optional<std::int32_t> mcpIntegerArgument(const nlohmann::json& arguments,
                                               std::string_view key);

}  // namespace glimmet
