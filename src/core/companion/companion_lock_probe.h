// Whether a companion runs now: the one that runs holds an exclusive flock on
// companion.lock for its whole life, so the lock answers where a pid in a file
// could be stale or reused.
#pragma once

#include <filesystem>

namespace glimmet {

/// Whether another process holds companion.lock in the shared folder at
/// `folder` right now. Tries the lock without waiting and lets it go at once;
/// creates nothing, and a folder or lock file that can't be used counts as
/// nobody holding it.
bool companionLockIsHeld(const std::filesystem::path& folder);

}  // namespace glimmet
