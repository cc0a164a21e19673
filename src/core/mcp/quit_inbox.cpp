// Reading, changing and replacing the quit inbox under its lock.
#include "core/mcp/quit_inbox.h"

#include "core/error.h"
#include "core/output/json_writer.h"
#include "core/settings/json_store.h"
#include "core/settings/shared_files.h"

namespace glimmet {
namespace {

std::string leftAsItIs(const std::filesystem::path& inbox, std::string_view what) {
  return "The quit inbox " + inbox.string() + " " + std::string(what) +
         ", so glimmet leaves it as it is.";
}

}  // namespace

void QuitInbox::update(const std::function<bool(nlohmann::json& inbox)>& change) const {
  const auto folder = platform::SharedFolder::open(folder_);
  auto inbox = nlohmann::json::array();
  if (!folder) {
    change(inbox);
    return;
  }
  const auto path = folder_ / shared_files::mcpInbox;
  try {
    const auto lock = folder->lock(shared_files::mcpInboxLock, shared_files::commandLockWait);
    if (const auto text = folder->read(shared_files::mcpInbox, kMaxQuitInboxBytes)) {
      auto decoded = parseSharedJson(*text);
      if (!decoded)
        throw CommandFailure(leftAsItIs(path, "isn't valid JSON"), ExitStatus::cannotStart);
      if (!decoded->is_array())
        throw CommandFailure(leftAsItIs(path, "isn't a list of requests"), ExitStatus::cannotStart);
      inbox = std::move(*decoded);
    } else if (folder->contains(shared_files::mcpInbox)) {
      throw CommandFailure(leftAsItIs(path, "can't be read (too large, or not a plain file)"),
                           ExitStatus::cannotStart);
    }
    if (change(inbox))
      folder->replace(shared_files::mcpInbox, writeJson(inbox, {.escapeSlashes = true}) + "\n");
  } catch (const platform::LockTimeout&) {
    throw CommandFailure("Another program kept the quit inbox locked. Try again in a moment.",
                         ExitStatus::cannotStart);
  } catch (const platform::SystemError& failure) {
    throw CommandFailure(
        "Couldn't write the quit inbox " + path.string() + ": " + failure.what() + ".",
        ExitStatus::cannotStart);
  }
}

std::optional<platform::LockedFile> QuitInbox::holdForAnswer() const {
  const auto folder = platform::SharedFolder::open(folder_);
  if (!folder) return std::nullopt;
  try {
    return folder->lock(shared_files::mcpInboxAnswerLock, shared_files::commandLockWait);
  } catch (const platform::LockTimeout&) {
    throw CommandFailure(
        "Another answer to a quit request is being carried out. Try again in a moment.",
        ExitStatus::cannotStart);
  } catch (const platform::SystemError& failure) {
    throw CommandFailure(std::string("Couldn't lock the quit inbox: ") + failure.what() + ".",
                         ExitStatus::cannotStart);
  }
}

}  // namespace glimmet
