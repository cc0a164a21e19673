// JSON-RPC dispatch and the five tools.
#include "logic/mcp/mcp_server.h"

#include <cmath>
#include <limits>

#include "core/output/json_writer.h"
#include "core/util/json_nesting.h"
#include "core/util/utf8.h"
#include "logic/mcp/mcp_text.h"

namespace glimmet {
namespace {

using nlohmann::json;

constexpr const char* kProtocolVersion = "2024-11-05";
constexpr const char* kInstructions =
    "Read only. Glimmet never stops a process from this server. request_quit asks the person "
    "through the companion or glimmet requests, and nothing stops until they confirm. System "
    "processes and other users' "
    "processes are left alone. This covers every AI agent, not one vendor.";
constexpr const char* kMissingTarget = "Say which pid, port or sessionPid.";

// Requests nested deeper than this are refused before they are parsed: no MCP
// message comes close, and a copied `id` must stay cheap to write back.
constexpr std::size_t kMaxNesting = 128;

std::string compact(const json& value) {
  return writeCompactJson(value);
}

bool nestedTooDeeply(std::string_view text) {
  return jsonNestedDeeperThan(text, kMaxNesting);
}

json textResult(std::string text, bool isError) {
  return {{"content", json::array({{{"type", "text"}, {"text", std::move(text)}}})},
          {"isError", isError}};
}

json errorObject(int code, const char* message) {
  return {{"code", code}, {"message", message}};
}

json property(const char* type) {
  return {{"type", type}};
}

json schema(json properties) {
  return {{"type", "object"}, {"properties", std::move(properties)}};
}

json tool(const char* name, const char* description, json properties) {
  return {{"name", name}, {"description", description}, {"inputSchema", schema(properties)}};
}

MCPTarget readTarget(const json& arguments) {
  return {.pid = mcpIntegerArgument(arguments, "pid"),
          .port = mcpIntegerArgument(arguments, "port"),
          .sessionPID = mcpIntegerArgument(arguments, "sessionPid")};
}

}  // namespace

json mcpToolCatalogue() {
  const json target = {{"pid", property("integer")},
                       {"port", property("integer")},
                       {"sessionPid", property("integer")}};
  json quit = target;
  quit["note"] = {{"type", "string"}, {"description", "Why you are asking. Secrets are redacted."}};
  return json::array({
      tool("status",
           "What Glimmet sees right now: ghosts, dev servers, live agent sessions, memory and "
           "ports.",
           json::object()),
      tool("ports", "Which processes are listening, and whether each one is yours.",
           json::object()),
      tool("agents",
           "Live agent sessions and the processes they started, plus crash orphans left behind.",
           json::object()),
      tool("safety",
           "Whether Glimmet would ask you before stopping a pid, a port, or a session. This never "
           "stops anything.",
           target),
      tool("request_quit",
           "Ask the person using Glimmet to confirm a stop. Nothing is signalled here. System "
           "processes and other users are refused.",
           quit),
  });
}

std::optional<std::int32_t> mcpIntegerArgument(const json& arguments, std::string_view key) {
  const auto found = arguments.find(key);
  if (found == arguments.end()) return std::nullopt;
  constexpr auto low = std::numeric_limits<std::int32_t>::min();
  constexpr auto high = std::numeric_limits<std::int32_t>::max();
  if (found->is_number_integer()) {
    if (found->is_number_unsigned()) {
      const auto value = found->get<std::uint64_t>();
      return value <= static_cast<std::uint64_t>(high) ? std::optional(static_cast<int32_t>(value))
                                                       : std::nullopt;
    }
    const auto value = found->get<std::int64_t>();
    if (value < low || value > high) return std::nullopt;
    return static_cast<std::int32_t>(value);
  }
  if (found->is_number_float()) {
    const double value = std::trunc(found->get<double>());
    if (!std::isfinite(value) || value < low || value > high) return std::nullopt;
    return static_cast<std::int32_t>(value);
  }
  return std::nullopt;
}

std::optional<std::string> MCPServer::handle(std::string_view message) const {
  if (!isWellFormedUtf8(message)) return std::nullopt;
  json request;
  if (!nestedTooDeeply(message)) request = json::parse(message, nullptr, false);
  if (!request.is_object())
    return compact({{"jsonrpc", "2.0"}, {"error", errorObject(-32700, "Parse error")}});

  const auto methodField = request.find("method");
  const std::string method = methodField != request.end() && methodField->is_string()
                                 ? methodField->get<std::string>()
                                 : std::string();
  const auto id = request.find("id");
  const bool hasID = id != request.end();
  if (!hasID && method.starts_with("notifications/")) return std::nullopt;

  json response = {{"jsonrpc", "2.0"}};
  if (hasID && !id->is_null()) response["id"] = *id;
  if (method == "initialize") {
    response["result"] = {{"protocolVersion", kProtocolVersion},
                          {"capabilities", {{"tools", json::object()}}},
                          {"serverInfo", {{"name", "glimmet"}, {"version", "1.3.0"}}},
                          {"instructions", kInstructions}};
  } else if (method == "ping") {
    response["result"] = json::object();
  } else if (method == "tools/list") {
    response["result"] = {{"tools", mcpToolCatalogue()}};
  } else if (method == "tools/call") {
    const auto params = request.find("params");
    response["result"] =
        callTool(params != request.end() && params->is_object() ? *params : json::object());
  } else {
    response["error"] = errorObject(-32601, "Method not found");
  }
  try {
    return compact(response);
  } catch (const json::exception&) {
    return std::nullopt;
  }
}

json MCPServer::callTool(const json& params) const {
  const auto nameField = params.find("name");
  const std::string name = nameField != params.end() && nameField->is_string()
                               ? nameField->get<std::string>()
                               : std::string();
  const auto argumentsField = params.find("arguments");
  const json arguments = argumentsField != params.end() && argumentsField->is_object()
                             ? *argumentsField
                             : json::object();
  const auto record = [&](std::string tool, std::string summary, std::string result) {
    try {
      log({now(), std::move(tool), std::move(summary), std::move(result)});
    } catch (...) {
      // The call log is for the person's curiosity; the agent's answer matters more.
    }
  };

  if (!enabled) {
    record(name.empty() ? "tools/call" : name, "off", "MCP is off");
    return textResult(std::string(offMessage), true);
  }

  const std::function<std::string()>* document = name == "status"   ? &status
                                                 : name == "ports"  ? &ports
                                                 : name == "agents" ? &agents
                                                                    : nullptr;
  if (document) {
    try {
      auto text = (*document)();
      record(name, name, "ok");
      return textResult(std::move(text), false);
    } catch (const std::exception& failure) {
      record(name, name, "error");
      return textResult(failure.what(), true);
    }
  }

  if (name == "safety" || name == "request_quit") {
    const auto target = readTarget(arguments);
    if (target.empty()) {
      record(name, "missing target", "error");
      return textResult(kMissingTarget, true);
    }
    MCPSafetyVerdict verdict;
    try {
      verdict = safety(target);
    } catch (const std::exception& failure) {
      record(name, target.text(), "error");
      return textResult(failure.what(), true);
    }
    if (name == "safety") {
      record(name, target.text(), verdict.verdict);
      return textResult(compact({{"name", verdict.name.value_or("")},
                                 {"reason", verdict.reason},
                                 {"verdict", verdict.verdict}}),
                        false);
    }
    if (verdict.verdict != "askFirst") {
      record(name, target.text(), "refused: " + verdict.reason);
      return textResult(
          compact({{"accepted", false}, {"verdict", verdict.verdict}, {"reason", verdict.reason}}),
          false);
    }
    MCPQuitRequest request{.id = newRequestID(),
                           .time = now(),
                           .kind = target.sessionPID ? "session"
                                   : target.pid      ? "pid"
                                                     : "port",
                           .pid = target.pid,
                           .port = target.port,
                           .sessionPID = target.sessionPID};
    if (const auto note = arguments.find("note"); note != arguments.end() && note->is_string())
      request.note = MCPText::redact(note->get<std::string>());
    try {
      requestQuit(request);
    } catch (const std::exception&) {
      record(name, target.text(), "error");
      return textResult("Couldn't file the request for Glimmet. Nothing was stopped.", true);
    }
    record(name, target.text(), "accepted");
    return textResult(
        compact(
            {{"accepted", true},
             {"requestId", request.id},
             {"verdict", "askFirst"},
             {"appRunning", appRunning},
             {"message", appRunning ? "The companion will ask you on your desktop, or answer with "
                                      "glimmet requests. Nothing stops until you confirm."
                                    : "The companion isn't running. The request waits until "
                                      "you answer it with glimmet requests or start the "
                                      "companion, and nothing stops until you confirm."}}),
        false);
  }

  record(name, "unknown tool", "error");
  return textResult("Unknown tool.", true);
}

}  // namespace glimmet
