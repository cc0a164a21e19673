// The call log and the quit inbox.
#include "logic/mcp/mcp_records.h"

#include <cerrno>
#include <system_error>

#include "core/output/json_writer.h"
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
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
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
  appendUnderLock(folder, shared_files::mcpLog, shared_files::mcpLogLock, entry.line() + "\n");
}

void addToMCPInbox(const std::filesystem::path& folder, const MCPQuitRequest& request) {
  platform::createDirectories(folder, 0700);
  const auto lock = platform::LockedFile::acquire(folder / shared_files::mcpInboxLock);
  const auto path = folder / shared_files::mcpInbox;
  auto requests = nlohmann::json::array();
  if (const auto text = platform::readFile(path, kMaxInboxBytes)) {
    auto decoded = nlohmann::json::parse(*text, nullptr, /*allow_exceptions=*/false);
    if (decoded.is_array()) requests = std::move(decoded);
  } else {
    std::error_code error;
    if (std::filesystem::exists(path, error) || error)
      throw platform::SystemError("Couldn't read the quit inbox", EIO);
  }
  requests.push_back(request.toJson());
  platform::writeFileAtomically(path, writeJson(requests, {.escapeSlashes = true}) + "\n", 0600);
}

}  // namespace glimmet
