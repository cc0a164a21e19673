// The call-log line and the quit request's JSON.
#include "logic/mcp/mcp_records.h"

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
  return json;
}

}  // namespace glimmet
