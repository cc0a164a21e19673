// The call-log line and the quit request's JSON.
#include "logic/mcp/mcp_records.h"

#include <cstdint>

#include "core/output/json_writer.h"

namespace glimmet {

std::string MCPLogEntry::line() const {
  return writeCompactJson(nlohmann::json{
      {"time", formatIso8601(time)}, {"tool", tool}, {"summary", summary}, {"result", result}});
}

nlohmann::json MCPQuitRequest::toJson() const {
  nlohmann::json json = {
      {"id", id}, {"time", formatIso8601(time)}, {"kind", kind}, {"status", status}};
  if (pid) json["pid"] = *pid;
  if (port) json["port"] = *port;
  if (sessionPID) json["sessionPID"] = *sessionPID;
  if (note) json["note"] = *note;
  if (message) json["message"] = *message;
  if (answeredAt) json["answeredAt"] = formatIso8601(*answeredAt);
  return json;
}

std::optional<MCPQuitRequest> MCPQuitRequest::fromJson(const nlohmann::json& entry) {
  if (!entry.is_object()) return std::nullopt;
  const auto text = [&](std::string_view key) -> std::optional<std::string> {
    const auto found = entry.find(key);
    if (found == entry.end() || !found->is_string()) return std::nullopt;
    return found->get<std::string>();
  };
  const auto integer = [&](std::string_view key) -> std::optional<std::int32_t> {
    const auto found = entry.find(key);
    if (found == entry.end() || !found->is_number_integer()) return std::nullopt;
    if (found->is_number_unsigned()) {
      const auto value = found->get<std::uint64_t>();
      if (value > static_cast<std::uint64_t>(INT32_MAX)) return std::nullopt;
      return static_cast<std::int32_t>(value);
    }
    const auto value = found->get<std::int64_t>();
    if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(value);
  };
  auto id = text("id");
  auto status = text("status");
  const auto time = text("time");
  const auto when = time ? parseIso8601(*time) : std::nullopt;
  if (!id || id->empty() || !status || !when) return std::nullopt;
  MCPQuitRequest request{.id = std::move(*id),
                         .time = *when,
                         .kind = text("kind").value_or(""),
                         .pid = integer("pid"),
                         .port = integer("port"),
                         .sessionPID = integer("sessionPID"),
                         .note = text("note"),
                         .status = std::move(*status),
                         .message = text("message")};
  if (const auto answered = text("answeredAt")) request.answeredAt = parseIso8601(*answered);
  return request;
}

}  // namespace glimmet
