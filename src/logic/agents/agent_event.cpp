// AgentEvent encoding and decoding.
#include "logic/agents/agent_event.h"

#include <limits>
#include <nlohmann/json.hpp>

#include "core/output/json_writer.h"
#include "core/settings/json_store.h"

namespace glimmet {
namespace {

void appendMember(std::string& out, std::string_view key, std::string_view value) {
  if (out.size() > 1) out.push_back(',');
  out.push_back('"');
  out.append(key);
  out.append("\":");
  out.append(writeJson(nlohmann::json(std::string(value)), {.escapeSlashes = true}));
}

// An optional member: absent and null are the same; any other type spoils the line.
template <typename T, typename Read>
bool readOptional(const nlohmann::json& object, std::string_view key, std::optional<T>& field,
                  Read read) {
  const auto found = object.find(key);
  if (found == object.end() || found->is_null()) return true;
  return read(*found, field);
}

bool readString(const nlohmann::json& value, std::optional<std::string>& field) {
  if (!value.is_string()) return false;
  field = value.get<std::string>();
  return true;
}

bool readPID(const nlohmann::json& value, std::optional<int32_t>& field) {
  if (!value.is_number_integer()) return false;
  if (value.is_number_unsigned()) {
    const auto number = value.get<uint64_t>();
    if (number > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) return false;
    field = static_cast<int32_t>(number);
    return true;
  }
  const auto number = value.get<int64_t>();
  if (number < std::numeric_limits<int32_t>::min() || number > std::numeric_limits<int32_t>::max())
    return false;
  field = static_cast<int32_t>(number);
  return true;
}

const std::string* requiredString(const nlohmann::json& object, std::string_view key) {
  const auto found = object.find(key);
  if (found == object.end() || !found->is_string()) return nullptr;
  return found->get_ptr<const std::string*>();
}

}  // namespace

std::string_view toString(AgentEventKind kind) {
  switch (kind) {
    case AgentEventKind::finished:
      return "finished";
    case AgentEventKind::needsApproval:
      return "needsApproval";
    case AgentEventKind::waiting:
      return "waiting";
  }
  return "finished";
}

std::optional<AgentEventKind> agentEventKindFromString(std::string_view text) {
  for (const auto kind :
       {AgentEventKind::finished, AgentEventKind::needsApproval, AgentEventKind::waiting})
    if (toString(kind) == text) return kind;
  return std::nullopt;
}

std::string encodeAgentEventLine(const AgentEvent& event) {
  std::string out = "{";
  appendMember(out, "id", event.id);
  appendMember(out, "time", formatIso8601(event.time));
  appendMember(out, "agent", event.agent);
  appendMember(out, "kind", toString(event.kind));
  if (event.message) appendMember(out, "message", *event.message);
  if (event.cwd) appendMember(out, "cwd", *event.cwd);
  if (event.pid) out.append(",\"pid\":").append(std::to_string(*event.pid));
  if (event.sessionID) appendMember(out, "sessionID", *event.sessionID);
  out.append("}\n");
  return out;
}

std::optional<AgentEvent> decodeAgentEvent(std::string_view line) {
  const auto parsed = parseSharedJson(line);
  if (!parsed || !parsed->is_object()) return std::nullopt;
  const auto& json = *parsed;
  const auto* id = requiredString(json, "id");
  const auto* time = requiredString(json, "time");
  const auto* agent = requiredString(json, "agent");
  const auto* kindText = requiredString(json, "kind");
  if (id == nullptr || time == nullptr || agent == nullptr || kindText == nullptr)
    return std::nullopt;
  const auto when = parseIso8601(*time);
  const auto kind = agentEventKindFromString(*kindText);
  if (!when || !kind) return std::nullopt;
  AgentEvent event{.id = *id, .time = *when, .agent = *agent, .kind = *kind};
  if (!readOptional(json, "message", event.message, readString) ||
      !readOptional(json, "cwd", event.cwd, readString) ||
      !readOptional(json, "pid", event.pid, readPID) ||
      !readOptional(json, "sessionID", event.sessionID, readString))
    return std::nullopt;
  return event;
}

std::vector<AgentEvent> decodeAgentEventLog(std::string_view log, SystemTime now) {
  std::vector<AgentEvent> events;
  while (!log.empty()) {
    const size_t end = log.find('\n');
    const std::string_view line = log.substr(0, end);
    log = end == std::string_view::npos ? std::string_view{} : log.substr(end + 1);
    if (line.empty()) continue;
    auto event = decodeAgentEvent(line);
    if (event && now - event->time < kLongestAgentEventAge) events.push_back(std::move(*event));
  }
  return events;
}

}  // namespace glimmet
