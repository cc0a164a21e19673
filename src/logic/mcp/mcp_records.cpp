// The call log and the quit inbox.
#include "logic/mcp/mcp_records.h"

#include <cerrno>

#include "core/output/json_writer.h"
#include "core/settings/json_store.h"
#include "core/settings/locked_append.h"
#include "core/settings/shared_files.h"
#include "platform/files.h"
#include "platform/system_error.h"

namespace glimmet {
namespace {

// Far above any inbox the application lets grow; a larger file is not ours to
// rewrite blindly.
constexpr std::size_t kMaxInboxBytes = 32 * 1024 * 1024;

std::string compact(const nlohmann::json& value) {
  return writeCompactJson(value);
}

}  // namespace

std::string MCPLogEntry::line() const {
  return compact(
      {{"time", formatIso8601(time)}, {"tool", tool}, {"summary", summary}, {"result", result}});
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

void appendMCPLog(const std::filesystem::path& folder, const MCPLogEntry& entry) {
  appendUnderLock(folder, shared_files::mcpLog, shared_files::mcpLogLock, entry.line() + "\n",
                  shared_files::hookLockWait);
}

void addToMCPInbox(const std::filesystem::path& directory, const MCPQuitRequest& request) {
  const auto folder = platform::SharedFolder::create(directory);
  const auto lock = folder.lock(shared_files::mcpInboxLock, shared_files::hookLockWait);
  auto requests = nlohmann::json::array();
  if (const auto text = folder.read(shared_files::mcpInbox, kMaxInboxBytes)) {
    // Too deep to be ours counts as undecodable: the inbox starts over small.
    auto decoded = parseSharedJson(*text);
    if (decoded && decoded->is_array()) requests = std::move(*decoded);
  } else if (folder.contains(shared_files::mcpInbox)) {
    throw platform::SystemError("Couldn't read the quit inbox", EIO);
  }
  requests.push_back(request.toJson());
  folder.replace(shared_files::mcpInbox, writeJson(requests, {.escapeSlashes = true}) + "\n");
}

}  // namespace glimmet
