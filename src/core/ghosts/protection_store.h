// Editing the user's command-line glob rules in protected.json. Each edit reads,
// changes and atomically replaces the file while holding protected.json.lock, so
// two `protect` runs at once both keep their rule.
#pragma once

#include <string>

#include "core/ghosts/protection.h"
#include "core/settings/json_store.h"

namespace glimmet {

/// The rules in `store`, or the empty set when the file is missing or unreadable.
ProtectedList loadProtectedList(const JSONStore& store);

/// The longest glob `protect` accepts: far above any command line worth matching,
/// small enough that a pasted file is refused rather than stored.
inline constexpr std::size_t kMaxProtectedGlobBytes = 4096;

/// Throws UsageError when `pattern` can't be a useful rule: empty, only white
/// space, longer than kMaxProtectedGlobBytes, or not UTF-8.
void validateProtectedGlob(const std::string& pattern);

/// Adds a commandGlob rule; false when one with exactly this pattern exists
/// (nothing is written then). Throws platform::SystemError when saving fails.
bool addProtectedGlob(const JSONStore& store, const std::string& pattern);

/// Removes every commandGlob rule whose pattern is exactly `pattern`; false when
/// there was none (nothing is written then). Throws platform::SystemError.
bool removeProtectedGlob(const JSONStore& store, const std::string& pattern);

}  // namespace glimmet
