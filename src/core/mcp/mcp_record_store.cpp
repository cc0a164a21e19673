// The call log and the quit inbox, under their locks.
#include "core/mcp/mcp_record_store.h"

#include <cerrno>

#include "core/mcp/quit_inbox.h"
#include "core/output/json_writer.h"
#include "core/settings/json_store.h"
#include "core/settings/locked_append.h"
#include "core/settings/shared_files.h"
#include "platform/files.h"
#include "platform/system_error.h"

namespace glimmet {

void appendMCPLogLine(const std::filesystem::path& folder, std::string_view line) {
  appendUnderLock(folder, shared_files::mcpLog, shared_files::mcpLogLock, line,
                  shared_files::hookLockWait);
}

void addToMCPInbox(const std::filesystem::path& directory, const nlohmann::json& request) {
  const auto folder = platform::SharedFolder::create(directory);
  const auto lock = folder.lock(shared_files::mcpInboxLock, shared_files::hookLockWait);
  auto requests = nlohmann::json::array();
  if (const auto text = folder.read(shared_files::mcpInbox, kMaxQuitInboxBytes)) {
    // Too deep to be ours counts as undecodable: the inbox starts over small.
    auto decoded = parseSharedJson(*text);
    if (decoded && decoded->is_array()) requests = std::move(*decoded);
  } else if (folder.contains(shared_files::mcpInbox)) {
    throw platform::SystemError("Couldn't read the quit inbox", EIO);
  }
  requests.push_back(request);
  folder.replace(shared_files::mcpInbox, writeJson(requests, {.escapeSlashes = true}) + "\n");
}

}  // namespace glimmet
