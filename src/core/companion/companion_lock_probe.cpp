// The companion's lock, tried.
#include "core/companion/companion_lock_probe.h"

#include "core/settings/shared_files.h"
#include "platform/files.h"

namespace glimmet {

bool companionLockIsHeld(const std::filesystem::path& folder) {
  const auto shared = platform::SharedFolder::open(folder);
  if (!shared || !shared->contains(shared_files::companionLock)) return false;
  try {
    // Taken and, leaving this scope, released at once.
    const auto lock = shared->lock(shared_files::companionLock, std::chrono::milliseconds(0));
    return false;
  } catch (const platform::LockTimeout&) {
    return true;
  } catch (const platform::SystemError&) {
    return false;
  }
}

}  // namespace glimmet
